// The participant's lock file beside an SQLite study: whatever a copy that
// died left behind never locks the participant out, and a live holder does.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sys/stat.h>

#include "data/participant_lock.h"
#include "support/child_process.h"
#include "trials/session_state.h"

namespace kestu::testing {
namespace {

using testsupport::ChildProcess;

// Run by the tests as a process of its own: holds the participant named in
// KESTU_HOLD_USER of the study KESTU_HOLD_LOCATION, says "held" (or
// "refused: <message>"), and waits until it is killed or its input closes.
// With KESTU_HOLD_HOSTNAME (run under "unshare -u") its computer has that
// name first, whatever bytes it holds.
TEST(LockHolder, DISABLED_HoldsTheParticipantGiven)
{
    const char* location = std::getenv("KESTU_HOLD_LOCATION");
    const char* user = std::getenv("KESTU_HOLD_USER");
    if (!location || !user) GTEST_SKIP() << "run by the lock tests only";
    if (const char* name = std::getenv("KESTU_HOLD_HOSTNAME"); name && ::sethostname(name, std::strlen(name)) != 0) {
        std::cout << "refused: the host name cannot be set" << std::endl;
        return;
    }
    auto lock = ParticipantLock::Take(location, user);
    std::cout << (lock ? std::string("held") : "refused: " + lock.error()) << std::endl;
    char c;
    while (::read(STDIN_FILENO, &c, 1) > 0) {
    }
}

class LockFile : public ::testing::Test {
protected:
    std::string Db() const { return dir_.filePath(QStringLiteral("KESTU.MDB")).toStdString(); }
    std::string LockPath() const { return ParticipantLock::LockPath(Db(), "kim"); }
    void Write(const std::string& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    QTemporaryDir dir_;
};

TEST_F(LockFile, WhatADeadCopyLeftNeverLocksTheParticipantOut)
{
    const std::pair<std::string, std::string> leftovers[] = {
        {"an empty file (killed between creating and writing it)", ""},
        {"garbage", std::string("\x01\xff\0junk\n\n\n", 10)},
        {"a process that is gone, on this computer", "999999999\nkestu\n" + ThisComputer() + "\n"},
        {"this very process, on another computer", std::to_string(::getpid()) + "\nkestu\nelsewhere\n"},
    };
    for (const auto& [what, bytes] : leftovers) {
        Write(LockPath(), bytes);
        auto lock = ParticipantLock::Take(Db(), "kim");
        ASSERT_TRUE(lock.ok()) << what << ": " << lock.error();
        auto second = ParticipantLock::Take(Db(), "kim");
        EXPECT_FALSE(second.ok()) << what << ": the lock taken over is held";
    }

    // A removal that was cut short leaves ".rmlock" beside the lock.
    Write(LockPath() + ".rmlock", "");
    Write(LockPath(), "");
    EXPECT_TRUE(ParticipantLock::Take(Db(), "kim").ok());
}

TEST_F(LockFile, ALiveHolderIsRefusedUntilItIsGoneAndTheLockSaysWhoHoldsIt)
{
    {
        auto first = ParticipantLock::Take(Db(), "kim");
        ASSERT_TRUE(first.ok()) << first.error();
        std::string text;
        std::getline(std::ifstream(LockPath()), text, '\0');
        EXPECT_EQ(text, std::to_string(::getpid()) + "\nkestu\n" + ThisComputer() + "\n");
        auto second = ParticipantLock::Take(Db(), "kim");
        ASSERT_FALSE(second.ok());
        EXPECT_EQ(second.error(), "User ID kim is in use by another Kestu window on this computer.");
        EXPECT_TRUE(ParticipantLock::Take(Db(), "ann").ok()) << "another participant is free";
    }
    struct stat gone {};
    EXPECT_NE(::stat(LockPath().c_str(), &gone), 0) << "the lock file is removed when given back";

    // Another process holds the participant, and is killed: the kernel lets go at once.
    ChildProcess holder({testsupport::ThisProgram(), "--gtest_filter=LockHolder.*", "--gtest_also_run_disabled_tests"},
                        {"KESTU_HOLD_LOCATION=" + Db(), "KESTU_HOLD_USER=kim"});
    std::optional<std::string> line;
    while ((line = holder.ReadLine()) && line->rfind("held", 0) != 0 && line->rfind("refused", 0) != 0) {
    }
    ASSERT_EQ(line.value_or("nothing"), "held");
    const auto refused = ParticipantLock::Take(Db(), "kim");
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), "User ID kim is in use by another Kestu window on this computer.");
    holder.Kill();
    const auto after = ParticipantLock::Take(Db(), "kim");
    EXPECT_TRUE(after.ok()) << after.error();
}

TEST_F(LockFile, ALockFileRemovedUnderTheHolderIsTakenAgainBeforeTheNextTrial)
{
    auto lock = ParticipantLock::Take(Db(), "kim");
    ASSERT_TRUE(lock.ok()) << lock.error();
    ASSERT_EQ(std::remove(LockPath().c_str()), 0);
    auto intruder = ParticipantLock::Take(Db(), "kim");
    ASSERT_TRUE(intruder.ok()) << "a removed lock file holds no one";
    const Status held = lock.value()->Reassert();
    ASSERT_FALSE(held.ok()) << "the intruder holds the participant now";
    EXPECT_EQ(held.error(), "User ID kim is in use by another Kestu window on this computer.");
    intruder.value().reset();
    EXPECT_TRUE(lock.value()->Reassert().ok());
    EXPECT_FALSE(ParticipantLock::Take(Db(), "kim").ok());
}

}  // namespace
}  // namespace kestu::testing
