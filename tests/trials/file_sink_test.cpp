// Files written whole: the mode they get, and that nothing is renamed into
// place unless its bytes reached the disk.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "failing_sink.h"
#include "trials/file_sink.h"

namespace kestu {
namespace {

std::string Octal(unsigned mode)
{
    char text[16];
    std::snprintf(text, sizeof text, "0%03o", mode);
    return text;
}

class FileSinkTest : public ::testing::Test {
protected:
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("kestu-sink-" + std::to_string(::getpid()) + "-" +
                                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string path = (dir / "out.csv").string();
    mode_t savedMask = 0;

    void SetUp() override
    {
        std::filesystem::create_directories(dir);
        savedMask = ::umask(022);
        ::umask(savedMask);
    }
    void TearDown() override
    {
        ::umask(savedMask);
        std::filesystem::remove_all(dir);
    }
    static unsigned Mode(const std::string& file)
    {
        struct stat info {};
        EXPECT_EQ(::stat(file.c_str(), &info), 0) << file;
        return info.st_mode & 07777;
    }
    static std::string Bytes(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::size_t FilesInFolder() const { return std::distance(std::filesystem::directory_iterator(dir), {}); }
};

TEST_F(FileSinkTest, ANewFileGetsWhatTheUmaskLeavesAndCreatedAndReplacedFilesAgree)
{
    for (const mode_t mask : {077, 022, 027, 002}) {
        SCOPED_TRACE("umask " + Octal(mask));
        ::umask(mask);
        EXPECT_EQ(ProcessUmask(), mask) << "the mask is read as set";
        EXPECT_EQ(ProcessUmask(), mask) << "and reading it leaves it so";

        const std::string replaced = (dir / ("replaced-" + std::to_string(mask))).string();
        ASSERT_TRUE(ReplaceFile(replaced, "a,b\r\n"));
        EXPECT_EQ(Mode(replaced), 0666u & ~mask);
        EXPECT_EQ(Bytes(replaced), "a,b\r\n");

        const std::string created = (dir / ("created-" + std::to_string(mask))).string();
        auto sink = CreateNewFile(created);
        ASSERT_TRUE(sink) << sink.error();
        EXPECT_TRUE(sink.value()->Write("x") && sink.value()->Close());
        EXPECT_EQ(Mode(created), 0666u & ~mask);
    }
}

TEST_F(FileSinkTest, AReplacedFileKeepsItsModeWhateverTheUmask)
{
    for (const auto& [mode, mask] : {std::pair<mode_t, mode_t>{0600, 022}, {0640, 077}, {0664, 077}, {0600, 000}}) {
        SCOPED_TRACE("mode " + Octal(mode) + " under umask " + Octal(mask));
        ASSERT_TRUE(ReplaceFile(path, "old"));
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        ::umask(mask);
        ASSERT_TRUE(ReplaceFile(path, "new"));
        EXPECT_EQ(Bytes(path), "new");
        EXPECT_EQ(Mode(path), mode);
        ASSERT_TRUE(ReplaceFile(path, "again"));
        EXPECT_EQ(Mode(path), mode) << "and the next time too";
        ASSERT_TRUE(RemoveRegularFile(path));
    }
}

// A sink that fails to sync or write must never let the rename happen: after
// a power cut the renamed file could be empty. The old bytes stay, no
// temporary file is left, and the reason is given.
TEST_F(FileSinkTest, NothingIsRenamedIntoPlaceUnlessTheWriteAndTheSyncSucceeded)
{
    ASSERT_TRUE(ReplaceFile(path, "the old bytes\n"));
    struct Case {
        const char* what;
        SinkWrapper wrap;
    };
    const Case cases[] = {
        {"the sync fails", testing::FailOnWrite(0, true)},
        {"the write fails", testing::FailOnWrite(1)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Status replaced = ReplaceFile(path, "the new bytes, never synced\n", c.wrap);
        ASSERT_FALSE(replaced);
        EXPECT_EQ(replaced.fault().file, path);
        EXPECT_EQ(replaced.error(), "No space left on device");
        EXPECT_EQ(Bytes(path), "the old bytes\n");
        EXPECT_EQ(FilesInFolder(), 1u) << "the temporary file is removed";
    }
    const std::string fresh = (dir / "new.csv").string();
    EXPECT_FALSE(ReplaceFile(fresh, "bytes", testing::FailOnWrite(0, true)));
    EXPECT_FALSE(std::filesystem::exists(fresh)) << "no file appears whose bytes were not synced";
}

}  // namespace
}  // namespace kestu
