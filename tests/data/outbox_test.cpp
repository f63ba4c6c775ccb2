// The seat's outbox: what it keeps is never lost, whatever the file, the
// disk, the database or other copies of the program do meanwhile.
#include <QDir>
#include <QFile>

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include "data/outbox.h"
#include "db_fixture.h"
#include "support/test_server.h"
#include "trials/file_sink.h"

namespace kestu::testing {
namespace {

TrialLogCopy Log(const std::string& user, long long trial, const std::string& bytes = "CLOCK 00:00\nSTOP\n")
{
    return {user, trial, "seat 7", bytes, "2026-12-07 03:15:00"};
}
OutboxEntry LogEntry(const std::string& user, long long trial, const std::string& study = "")
{
    return {study, Log(user, trial)};
}
OutboxEntry Completion(const std::string& user, long long trial, double missed = 4, const std::string& study = "")
{
    return {study, OutboxCompletion{{user, trial}, 0, {"14:22:10", missed, 0.25, std::nullopt, 0.75}}};
}

std::string Text(const std::string& path) { return ReadWholeFile(path).value(); }
void Write(const std::string& path, const std::string& text) { ASSERT_TRUE(ReplaceFile(path, text).ok()); }

// The files of a folder whose names start with `prefix`.
QStringList FilesStarting(const std::string& folder, const QString& prefix)
{
    return QDir(QString::fromStdString(folder)).entryList({prefix + "*"}, QDir::Files, QDir::Name);
}

// A sink that fails its writes or its syncs, like a full or failing disk.
class FailingSink : public FileSink {
public:
    FailingSink(std::unique_ptr<FileSink> inner, bool failWrite) : inner_(std::move(inner)), failWrite_(failWrite) {}
    bool Write(std::string_view bytes) override
    {
        if (!failWrite_) return inner_->Write(bytes);
        inner_->Write(bytes.substr(0, bytes.size() / 2));  // a part reaches the file
        return false;
    }
    bool Sync() override { return !failWrite_ ? false : inner_->Sync(); }
    bool Truncate(long long size) override { return inner_->Truncate(size); }
    bool Close() override { return inner_->Close(); }
    std::string Error() const override { return "Input/output error"; }

private:
    std::unique_ptr<FileSink> inner_;
    bool failWrite_;
};
SinkWrapper Failing(bool failWrite)
{
    return [failWrite](std::unique_ptr<FileSink> inner) {
        return std::unique_ptr<FileSink>(new FailingSink(std::move(inner), failWrite));
    };
}

// A study file with participants ann and bob, trial 1 of each claimed.
class OutboxTest : public OpenDbTest {
protected:
    void SetUp() override
    {
        OpenDbTest::SetUp();
        folder_ = dir_.path().toStdString();
        outbox_ = OutboxPath(folder_);
        for (const char* user : {"ann", "bob"}) {
            ASSERT_TRUE(db_->AddParticipant({user}).ok());
            ASSERT_TRUE(db_->ClaimTrial(Start(user, 1)).ok());
        }
    }
    void Keep(const std::vector<OutboxEntry>& entries)
    {
        for (const OutboxEntry& e : entries) ASSERT_TRUE(AppendToOutbox(outbox_, e).ok());
    }
    std::vector<OutboxEntry> Kept()
    {
        auto read = ReadOutbox(outbox_);
        EXPECT_TRUE(read.ok()) << read.error();
        EXPECT_EQ(read.value().unreadable, "");
        return read.ok() ? read.value().entries : std::vector<OutboxEntry>{};
    }
    Delivery Deliver()
    {
        auto delivered = DeliverOutbox(outbox_, path_);
        EXPECT_TRUE(delivered.ok()) << delivered.error();
        return delivered.ok() ? delivered.value() : Delivery{};
    }
    std::optional<double> Missed(const std::string& user)
    {
        const auto rows = db_->ReadExperimentRows(user).value();
        return rows.empty() ? std::nullopt : rows[0].MissedBuckets;
    }
    std::string folder_, outbox_;
};

TEST_F(OutboxTest, AnAppendAddsInPlaceAndAFailedWriteOrSyncIsAFailureThatLeavesTheFileAsItWas)
{
    Keep({LogEntry("ann", 1, "study-a"), Completion("ann", 1, 4, "study-a")});
    const std::string before = Text(outbox_);
    EXPECT_EQ(before.rfind("KESTU OUTBOX 2\n", 0), 0u);
    EXPECT_EQ(Kept(), (std::vector<OutboxEntry>{LogEntry("ann", 1, "study-a"), Completion("ann", 1, 4, "study-a")}));

    for (const bool failWrite : {true, false}) {
        const Status kept = AppendToOutbox(outbox_, LogEntry("bob", 1), Failing(failWrite));
        EXPECT_FALSE(kept.ok()) << (failWrite ? "a failed write" : "a failed sync") << " passed for kept";
        EXPECT_NE(kept.error().find("Input/output error"), std::string::npos) << kept.error();
        EXPECT_EQ(Text(outbox_), before) << "a part of the entry stayed behind";
    }
    // A new outbox whose first write fails is not left behind, empty or torn.
    const std::string other = dir_.filePath("other").toStdString();
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(other)));
    EXPECT_FALSE(AppendToOutbox(OutboxPath(other), LogEntry("bob", 1), Failing(true)).ok());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(OutboxPath(other))));
    // A folder that cannot take the file.
    const Status nowhere = AppendToOutbox(OutboxPath(folder_ + "/no such folder"), LogEntry("bob", 1));
    EXPECT_FALSE(nowhere.ok());
    EXPECT_NE(nowhere.error().find("No such file or directory"), std::string::npos) << nowhere.error();
    EXPECT_EQ(Kept().size(), 2u);
}

TEST_F(OutboxTest, ResultsThatAreNoNumberAreRefusedWhenKeptAndWhenRead)
{
    for (const double bad : {std::nan(""), std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity()}) {
        EXPECT_FALSE(AppendToOutbox(outbox_, Completion("ann", 1, bad)).ok());
        OutboxEntry share = Completion("ann", 1);
        std::get<OutboxCompletion>(share.item).result.SweepTime = bad;
        EXPECT_FALSE(AppendToOutbox(outbox_, share).ok());
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(outbox_)));

    for (const char* bad : {"nan", "inf", "-inf", "infinity", "1e999"}) {
        const std::string text = "KESTU OUTBOX 2\n" + OutboxEntryText(Completion("ann", 1)) +
                                 "completion ~ ann 1 0 14:22:10 " + bad + " - - -\n";
        const OutboxText read = ParseOutbox(text);
        EXPECT_EQ(read.entries.size(), 1u) << bad;
        EXPECT_NE(read.problem, "") << bad;
    }
}

TEST_F(OutboxTest, ACutOffLastEntryIsKeptAsideAndTheWholeEntriesBeforeItAreDelivered)
{
    Keep({LogEntry("ann", 1), Completion("ann", 1), LogEntry("bob", 1)});
    const std::string whole = Text(outbox_);
    const std::string cut = whole.substr(0, whole.size() - 5);  // the last log without its end
    Write(outbox_, cut);

    const Delivery d = Deliver();
    EXPECT_EQ(d.delivered, 2u);
    EXPECT_FALSE(d.Complete()) << "a cut-off entry passed for delivered";
    ASSERT_NE(d.unreadIn, "");
    EXPECT_NE(d.unreadIn.find("KESTU.OUTBOX.unread-20"), std::string::npos) << d.unreadIn;
    EXPECT_EQ(d.waiting, std::vector<std::string>{d.unreadIn});
    const std::string firstTwo = "KESTU OUTBOX 2\n" + OutboxEntryText(LogEntry("ann", 1)) +
                                 OutboxEntryText(Completion("ann", 1));
    EXPECT_EQ(Text(d.unreadIn), "KESTU OUTBOX 2\n" + cut.substr(firstTwo.size())) << "the unread bytes, as they were";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(outbox_))) << "nothing readable is left in it";
    EXPECT_EQ(Missed("ann"), 4.0);
    EXPECT_EQ(db_->ReadTrialLogs("bob").value().size(), 0u);

    // Garbage that is no outbox at all is moved aside whole, and an append starts a new outbox.
    Write(outbox_, "\x01\x02 this is not an outbox\n");
    Keep({LogEntry("bob", 1)});
    EXPECT_EQ(Kept(), std::vector<OutboxEntry>{LogEntry("bob", 1)});
    const QStringList unread = FilesStarting(folder_, "KESTU.OUTBOX.unread-");
    ASSERT_EQ(unread.size(), 2);
    EXPECT_EQ(Text(folder_ + "/" + unread[1].toStdString()), "\x01\x02 this is not an outbox\n");
    // An append after a torn entry keeps the torn part aside, not glued to the new entry.
    Write(outbox_, Text(outbox_) + "completion ~ bob 1 0 14:");
    Keep({Completion("bob", 1)});
    EXPECT_EQ(Kept(), (std::vector<OutboxEntry>{LogEntry("bob", 1), Completion("bob", 1)}));
    EXPECT_EQ(FilesStarting(folder_, "KESTU.OUTBOX.unread-").size(), 3);
}

TEST_F(OutboxTest, ASizeBeyondTheFileIsReadAsUnreadableNeverWrapped)
{
    const std::string head = "KESTU OUTBOX 2\n" + OutboxEntryText(Completion("ann", 1));
    for (const char* size : {"18446744073709551615", "18446744073709551614", "18446744073709551600",
                             "18446744073709551616", "9", "10", "-1"}) {
        const std::string text = head + "log ~ bob 1 seat ~ " + size + "\nCLOCK\n";
        const OutboxText read = ParseOutbox(text);
        ASSERT_EQ(read.entries.size(), 1u) << size;
        EXPECT_EQ(read.readTo, head.size()) << size;
        EXPECT_NE(read.problem, "") << size;
    }
    // The largest size that fits is read.
    const OutboxText fits = ParseOutbox(head + "log ~ bob 1 seat ~ 6\nCLOCK\n\n");
    EXPECT_EQ(fits.problem, "");
    ASSERT_EQ(fits.entries.size(), 2u);
    EXPECT_EQ(fits.entries[1].log()->Bytes, "CLOCK\n");

    Write(outbox_, head + "log ~ bob 1 seat ~ 18446744073709551615\nCLOCK\n");
    const Delivery d = Deliver();
    EXPECT_EQ(d.delivered, 1u);
    EXPECT_NE(d.unreadIn, "");
    EXPECT_FALSE(d.Complete());
}

TEST_F(OutboxTest, AnEntryTheDatabaseRefusesIsSetAsideWithItsTrialAndTheOthersGoOn)
{
    ASSERT_TRUE(db_->AddParticipant({"eve"}).ok());
    ASSERT_TRUE(db_->ClaimTrial(Start("eve", 1)).ok());
    ASSERT_TRUE(db_->StoreTrialLog(Log("zed", 9)).ok());  // the table exists
    Sql("CREATE TRIGGER poison BEFORE INSERT ON TrialLogs WHEN NEW.UserID = 'eve' "
        "BEGIN SELECT RAISE(ABORT, 'no log of eve'); END");
    ASSERT_TRUE(db_->CompleteTrial({"bob", 1}, End()).ok());  // bob's row already holds other results

    Keep({LogEntry("eve", 1), LogEntry("ann", 1), Completion("eve", 1), Completion("bob", 1, 9),
          Completion("ann", 1)});
    const Delivery d = Deliver();
    EXPECT_EQ(d.delivered, 2u) << "ann's log and results";
    EXPECT_EQ(d.setAside, 3u);
    EXPECT_EQ(d.left, 0u);
    EXPECT_FALSE(d.Complete());
    EXPECT_EQ(Missed("ann"), 4.0) << "the entries behind the refused one are delivered";
    EXPECT_EQ(Missed("eve"), std::nullopt) << "a trial's results reached the database without its log";
    EXPECT_EQ(Missed("bob"), End().MissedBuckets) << "a completion wrote over a finished row";
    EXPECT_FALSE(QFile::exists(QString::fromStdString(outbox_)));

    ASSERT_NE(d.setAsideIn, "");
    EXPECT_NE(d.setAsideIn.find("KESTU.OUTBOX.undelivered-20"), std::string::npos);
    const std::string aside = Text(d.setAsideIn);
    EXPECT_NE(aside.find("no log of eve"), std::string::npos) << aside;
    EXPECT_NE(aside.find("already holds other results"), std::string::npos) << aside;
    // The file set aside is an outbox again: mended, it can be delivered.
    const OutboxText again = ParseOutbox(aside);
    EXPECT_EQ(again.problem, "");
    EXPECT_EQ(again.entries, (std::vector<OutboxEntry>{LogEntry("eve", 1), Completion("eve", 1),
                                                       Completion("bob", 1, 9)}));
    std::string reasons;
    for (const std::string& p : d.problems) reasons += p + "\n";
    EXPECT_NE(reasons.find("log of trial 1 of User ID eve"), std::string::npos) << reasons;
    EXPECT_NE(reasons.find("results of trial 1 of User ID eve"), std::string::npos) << reasons;

    // Delivering the same results again counts as delivered: nothing is set aside.
    Keep({Completion("ann", 1)});
    const Delivery repeated = Deliver();
    EXPECT_EQ(repeated.delivered, 1u);
    EXPECT_EQ(repeated.setAside, 0u);
}

TEST_F(OutboxTest, ADatabaseThatCannotBeReachedOrIsAnotherStudyKeepsEverything)
{
    Keep({LogEntry("ann", 1), Completion("ann", 1)});
    const std::string before = Text(outbox_);
    const auto away = DeliverOutbox(outbox_, folder_ + "/gone/KESTU.MDB");
    ASSERT_TRUE(away.ok()) << away.error();
    EXPECT_EQ(away.value().delivered, 0u);
    EXPECT_EQ(away.value().left, 2u);
    EXPECT_EQ(away.value().setAside, 0u);
    EXPECT_FALSE(away.value().Complete());
    EXPECT_EQ(Text(outbox_), before);
    EXPECT_TRUE(FilesStarting(folder_, "KESTU.OUTBOX.undelivered").isEmpty());

    const std::string ours = db_->StudyId().value();
    ASSERT_TRUE(RemoveRegularFile(outbox_));
    Keep({LogEntry("ann", 1, "elsewhere-7f3a"), Completion("ann", 1, 4, "elsewhere-7f3a"), LogEntry("bob", 1, ours)});
    const Delivery d = Deliver();
    EXPECT_EQ(d.delivered, 1u);
    EXPECT_EQ(d.left, 2u);
    EXPECT_EQ(d.setAside, 0u);
    EXPECT_FALSE(d.Complete());
    ASSERT_EQ(d.problems.size(), 1u);
    EXPECT_NE(d.problems[0].find("elsewhere-7f3a"), std::string::npos) << d.problems[0];
    if (!ours.empty()) {
        EXPECT_NE(d.problems[0].find(ours), std::string::npos) << d.problems[0];
    }
    EXPECT_EQ(Missed("ann"), std::nullopt);
    EXPECT_EQ(Kept(), (std::vector<OutboxEntry>{LogEntry("ann", 1, "elsewhere-7f3a"),
                                                Completion("ann", 1, 4, "elsewhere-7f3a")}));
}

TEST_F(OutboxTest, AnOlderOutboxIsReadDeliveredByTrialAndConvertedByAnAppend)
{
    const long long annRow = db_->ReadExperimentRows("ann").value().at(0).rowid;
    const std::string older = "KESTU OUTBOX 1\n"
                              "log ann 1 seat7 2026-12-07 03:15:00 6\nCLOCK\n\n"
                              "completion " + std::to_string(annRow) + " 14:22:10 4 0.25 - 0.75\n";
    Write(outbox_, older);
    const std::vector<OutboxEntry> read = Kept();
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].log()->WrittenAt, "2026-12-07 03:15:00");
    EXPECT_EQ(read[1].completion()->rowId, annRow);

    Keep({Completion("bob", 1)});
    EXPECT_EQ(Text(outbox_).rfind("KESTU OUTBOX 2\n", 0), 0u);
    EXPECT_EQ(Kept(), (std::vector<OutboxEntry>{read[0], read[1], Completion("bob", 1)}));

    // The older completion names only a row: it reaches the row of its log's trial, no other.
    const Delivery d = Deliver();
    EXPECT_EQ(d.delivered, 3u);
    EXPECT_TRUE(d.Complete());
    EXPECT_EQ(Missed("ann"), 4.0);
    EXPECT_EQ(Missed("bob"), 4.0);

    const long long bobRow = db_->ReadExperimentRows("bob").value().at(0).rowid;
    Write(outbox_, "KESTU OUTBOX 1\ncompletion " + std::to_string(bobRow) + " 14:22:10 9 - - -\n");
    const Delivery unknown = Deliver();
    EXPECT_EQ(unknown.setAside, 1u) << "a row told only by its number was written into";
    EXPECT_EQ(Missed("bob"), 4.0);
}

TEST_F(OutboxTest, CopiesAppendingAtOnceLoseNoEntry)
{
    constexpr int Writers = 8, Each = 25;
    std::vector<std::thread> writers;
    std::atomic<int> failed{0};
    for (int w = 0; w < Writers; ++w) {
        writers.emplace_back([&, w] {
            for (int i = 1; i <= Each; ++i) {
                if (!AppendToOutbox(outbox_, i % 2 ? LogEntry("w" + std::to_string(w), i) :
                                                     Completion("w" + std::to_string(w), i - 1)).ok())
                    ++failed;
            }
        });
    }
    for (std::thread& t : writers) t.join();
    EXPECT_EQ(failed, 0);
    const std::vector<OutboxEntry> kept = Kept();
    ASSERT_EQ(kept.size(), static_cast<std::size_t>(Writers * Each));
    for (int w = 0; w < Writers; ++w) {  // each writer's entries in its order
        long long next = 1;
        for (const OutboxEntry& e : kept) {
            if (e.trial().UserID != "w" + std::to_string(w)) continue;
            EXPECT_EQ(e.trial().Experiment, (next + 1) / 2 * 2 - 1) << "writer " << w;
            ++next;
        }
        EXPECT_EQ(next, Each + 1);
    }
}

// Seats keep trials while another program delivers the outbox again and
// again: every entry reaches the database, none is lost between a
// delivery's reading the file and its rewriting it.
TEST_F(OutboxTest, EntriesAppendedWhileAnotherCopyDeliversAreNeverLost)
{
    constexpr int Writers = 4, Each = 15;
    for (int w = 0; w < Writers; ++w) {
        const std::string user = "w" + std::to_string(w);
        ASSERT_TRUE(db_->AddParticipant({user}).ok());
        for (int i = 1; i <= Each; ++i) ASSERT_TRUE(db_->ClaimTrial(Start(user, i)).ok());
    }
    std::atomic<bool> writing{true};
    std::atomic<int> failed{0}, deliveries{0};
    std::thread deliverer([&] {
        while (writing) {
            const auto d = DeliverOutbox(outbox_, path_);
            if (!d || d.value().setAside > 0 || !d.value().unreadIn.empty()) ++failed;
            ++deliveries;
        }
    });
    std::vector<std::thread> writers;
    for (int w = 0; w < Writers; ++w) {
        writers.emplace_back([&, w] {
            const std::string user = "w" + std::to_string(w);
            for (int i = 1; i <= Each; ++i) {
                // The last trial waits for deliveries to have run meanwhile,
                // so a loaded machine cannot let the writers finish first.
                for (int waited = 0; i == Each && deliveries < 2 && waited < 10000; ++waited)
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                if (!AppendToOutbox(outbox_, LogEntry(user, i)).ok()) ++failed;
                if (!AppendToOutbox(outbox_, Completion(user, i, i)).ok()) ++failed;
            }
        });
    }
    for (std::thread& t : writers) t.join();
    writing = false;
    deliverer.join();
    EXPECT_EQ(failed, 0);
    EXPECT_GT(deliveries, 1);
    EXPECT_TRUE(Deliver().Complete());
    EXPECT_EQ(db_->ReadTrialLogs("").value().size(), static_cast<std::size_t>(Writers * Each));
    for (int w = 0; w < Writers; ++w) {
        const auto rows = db_->ReadExperimentRows("w" + std::to_string(w)).value();
        ASSERT_EQ(rows.size(), static_cast<std::size_t>(Each));
        for (const ExperimentRow& row : rows) EXPECT_EQ(row.MissedBuckets, static_cast<double>(*row.Experiment));
    }
}

// Four deliveries of one outbox at once, each with its own server connection:
// every log stored once.
TEST(OutboxOnServer, DeliveriesAtOnceStoreEachLogOnce)
{
    const std::string url = testsupport::NewServerDatabase();
    ASSERT_TRUE(ExperimentDb::Create(url, NewDbContent::SchemaOnly).ok());
    {
        // A server keeps only the logs of trials claimed.
        auto owner = ExperimentDb::Open(url, OpenMode::ReadWrite);
        ASSERT_TRUE(owner.ok()) << owner.error();
        for (int p = 0; p < 6; ++p) ASSERT_TRUE(owner.value()->AddParticipant({"p" + std::to_string(p)}).ok());
        for (int i = 1; i <= 60; ++i) {
            const auto claimed = owner.value()->ClaimTrial(Start("p" + std::to_string(i % 6), i));
            ASSERT_TRUE(claimed.ok()) << claimed.error();
        }
    }
    QTemporaryDir dir;
    const std::string outbox = OutboxPath(dir.path().toStdString());
    for (int i = 1; i <= 60; ++i)
        ASSERT_TRUE(AppendToOutbox(outbox, LogEntry("p" + std::to_string(i % 6), i)).ok());

    std::vector<std::thread> syncs;
    std::atomic<std::size_t> delivered{0};
    std::atomic<int> failed{0};
    for (int s = 0; s < 4; ++s) {
        syncs.emplace_back([&] {
            const auto d = DeliverOutbox(outbox, url);
            if (!d || !d.value().Complete()) ++failed;
            if (d) delivered += d.value().delivered;
        });
    }
    for (std::thread& t : syncs) t.join();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(delivered, 60u);
    auto db = ExperimentDb::Open(url, OpenMode::ReadOnly);
    ASSERT_TRUE(db.ok()) << db.error();
    EXPECT_EQ(db.value()->ReadTrialLogs("").value().size(), 60u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(outbox)));
    db.value().reset();
    testsupport::DropServerDatabase(url);
}

}  // namespace
}  // namespace kestu::testing
