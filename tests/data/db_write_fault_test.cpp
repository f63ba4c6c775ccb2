// Writes that fail part-way are reported naming the file, leave it as it was,
// and succeed once the cause is gone. A trigger fails a statement, a reader
// holds back a commit, a file size limit fills the disk, SQLite's unlink refuses.

#include "db_fixture.h"

#include <sqlite3.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <csignal>
#include <functional>

#include "data/db_experiment_store.h"

namespace kestu::testing {
namespace {

// Whether SQLite finds the file sound, and every row of every table.
std::string Dump(const std::string& path)
{
    std::string out = testsupport::RawSqlValue(path, "PRAGMA integrity_check").toString().toStdString();
    for (const char* table : {"UserData", "Experiments", "exogenous", "deadline", "sorttable"})
        out += testsupport::RawDump(path, table);
    return out;
}

// A write through the data layer or the trial store: its error, "" when it succeeded.
using Write = std::function<std::string(ExperimentDb&)>;

std::string ChangeScenario(ExperimentDb& db)
{
    ScenarioTables tables = db.ReadScenario().value();
    tables.deadline[0].ExpectAmt += 1;
    tables.exogenous.pop_back();
    return db.ReplaceScenario(tables).error();
}

class WriteFaultTest : public DbTest {
protected:
    // The standard scenario, a participant and two trial rows, the second not yet completed.
    void SetUp() override
    {
        DbTest::SetUp();
        CreateDb(NewDbContent::StandardScenario);
        auto db = OpenDb();
        ASSERT_TRUE(db->AddParticipant({"ann", "Ann", "Lee", "Senior", "Physics", "22", "Female", ""}).ok());
        ASSERT_TRUE(db->SaveTrialNum("ann", 2).ok());
        ASSERT_TRUE(db->CompleteExperiment(db->AddExperiment(Start("ann", 1)).value(), End()).ok());
        ASSERT_EQ(db->AddExperiment(Start("ann", 2)).value(), 2);
        ASSERT_TRUE(QFile::copy(QString::fromStdString(path_), QString::fromStdString(Path("SEED.MDB"))));
    }

    // `write` fails while `fault` holds, and succeeds on the same connection after `mend`.
    void ExpectFailsCleanly(const Write& write, const std::function<void()>& fault, const std::function<void()>& mend)
    {
        QFile::remove(QString::fromStdString(path_));
        ASSERT_TRUE(QFile::copy(QString::fromStdString(Path("SEED.MDB")), QString::fromStdString(path_)));
        const std::string before = Dump(path_);
        auto db = OpenDb();
        ASSERT_NE(db, nullptr);
        fault();
        const std::string error = write(*db);
        mend();
        EXPECT_NE(error.find(path_), std::string::npos) << "error: \"" << error << "\"";
        EXPECT_EQ(Dump(path_), before);
        EXPECT_EQ(write(*db), "");
        EXPECT_NE(Dump(path_), before);
    }
};

TEST_F(WriteFaultTest, AFailingStatementOrCommitIsReportedAndUndoesItsWholeWrite)
{
    const struct {
        const char* trigger;  // the statement that fails
        Write write;
    } cases[] = {
        {"BEFORE INSERT ON UserData",
         [](ExperimentDb& db) { return db.AddParticipant({"bob", "Bob", "", "", "", "", "", ""}).error(); }},
        {"BEFORE UPDATE ON UserData", [](ExperimentDb& db) { return db.SaveTrialNum("ann", 3).error(); }},
        {"BEFORE INSERT ON Experiments", [](ExperimentDb& db) { return db.AddExperiment(Start("ann", 3)).error(); }},
        {"BEFORE UPDATE ON Experiments", [](ExperimentDb& db) { return db.CompleteExperiment(2, End()).error(); }},
        // The counter is written before the row, and must go back with it.
        {"BEFORE INSERT ON Experiments", [](ExperimentDb& db) { return db.ClaimTrial(Start("ann", 3)).error(); }},
        // The last table failing must leave the first two as they were, emptied or rewritten.
        {"BEFORE INSERT ON sorttable", ChangeScenario},
        {"BEFORE DELETE ON sorttable", [](ExperimentDb& db) { return db.ReplaceScenario({}).error(); }},
        // The trial operations see only the store's text: an empty one would pass a lost write off as saved.
        {"BEFORE INSERT ON Experiments",
         [](ExperimentDb& db) { return DbExperimentStore(db.path()).ClaimTrial(Start("ann", 3)).error(); }},
        {"BEFORE UPDATE ON Experiments",
         [](ExperimentDb& db) { return DbExperimentStore(db.path()).CompleteExperiment({"ann", 2}, End()).error(); }},
        {"BEFORE UPDATE ON UserData",
         [](ExperimentDb& db) { return DbExperimentStore(db.path()).SaveTrialNum("ann", 3).error(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const std::string trigger = std::string("CREATE TRIGGER fault ") + c.trigger;
        ExpectFailsCleanly(
            c.write, [&] { Sql(trigger + " BEGIN SELECT RAISE(ABORT, 'disk full'); END"); },
            [&] { Sql("DROP TRIGGER fault"); });
    }

    // A reader keeps a commit from finishing; the transaction must then be undone whole.
    sqlite3* reader = nullptr;
    const auto startReading = [&] {
        ASSERT_EQ(sqlite3_open(path_.c_str(), &reader), SQLITE_OK);
        ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT count(*) FROM UserData", nullptr, nullptr, nullptr), SQLITE_OK);
    };
    const auto stopReading = [&] { sqlite3_close(reader); };
    ExpectFailsCleanly([](ExperimentDb& db) { return db.ClaimTrial(Start("ann", 3)).error(); }, startReading, stopReading);
    ExpectFailsCleanly(ChangeScenario, startReading, stopReading);
}

// A full disk fails the first statement; a failing unlink leaves the journal at
// the commit, which SQLite would play into any file later made in its place.
TEST_F(DbTest, CreateThatFailsLeavesNoFileBehindAndCanBeRepeated)
{
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead of ending the process
    rlimit unlimited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    const rlimit full{0, unlimited.rlim_max};
    sqlite3_vfs* vfs = sqlite3_vfs_find(nullptr);
    const auto refuse = reinterpret_cast<sqlite3_syscall_ptr>(+[](const char*) -> int { errno = EIO; return -1; });
    for (NewDbContent content : {NewDbContent::SchemaOnly, NewDbContent::StandardScenario}) {
        for (bool diskFull : {true, false}) {
            ASSERT_EQ(diskFull ? setrlimit(RLIMIT_FSIZE, &full) : vfs->xSetSystemCall(vfs, "unlink", refuse), 0);
            const auto made = ExperimentDb::Create(path_, content);
            ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &unlimited) + vfs->xSetSystemCall(vfs, "unlink", nullptr), 0);
            EXPECT_EQ(made.error().rfind(path_ + ": cannot write the new database", 0), 0u) << made.error();
            EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString(), "");
        }
        CreateDb(content);
        EXPECT_EQ(Count("exogenous"), content == NewDbContent::SchemaOnly ? 0 : 17);
        QFile::remove(QString::fromStdString(path_));
    }
}

// A write cut off mid-way leaves a journal a read-only connection may not play
// back; the next trial reads its scenario through one, and must still get it.
TEST_F(WriteFaultTest, TheNextTrialReadsTheScenarioPastAJournalLeftByACutOffWrite)
{
    const std::string cut = Path("CUT.MDB");
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &writer), SQLITE_OK);
    // A small cache makes SQLite write changed pages into the file before the commit.
    ASSERT_EQ(sqlite3_exec(writer,
                           "PRAGMA cache_size = 10; BEGIN; WITH n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                           "WHERE i < 20000) INSERT INTO deadline SELECT 7, 1, 0, i FROM n",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    for (const char* suffix : {"", "-journal"}) {
        ASSERT_TRUE(QFile::copy(QString::fromStdString(path_ + suffix), QString::fromStdString(cut + suffix)));
    }
    sqlite3_close(writer);
    ASSERT_NE(QFileInfo(QString::fromStdString(cut)).size(), QFileInfo(QString::fromStdString(path_)).size());
    ASSERT_FALSE(ExperimentDb::Open(cut, OpenMode::ReadOnly).ok()) << "the journal is not one SQLite must play back";

    const auto tables = DbExperimentStore(cut).ReadScenario();
    ASSERT_TRUE(tables.ok()) << tables.error();
    EXPECT_EQ(tables.value().deadline.size(), 12u);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(cut + "-journal")));
}

}  // namespace
}  // namespace kestu::testing
