// Every write of the database against a disk that fails part-way: whichever
// file system call fails, the caller hears about it, the file is left as it
// was, and the same call succeeds once the disk works again.

#include "db_fixture.h"
#include "faulty_vfs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "data/db_experiment_store.h"

namespace kestu::testing {
namespace {

using testsupport::FaultyVfs;
using testsupport::IoCounts;
using testsupport::IoFailure;
using testsupport::IoFault;
using testsupport::IoOp;

// Everything a reader of the file sees: whether SQLite finds it sound, the
// schema, and every row of every table with its rowid and each cell's type.
std::string Dump(const std::string& path)
{
    static int counter = 0;
    const QString name = QStringLiteral("fault-dump-%1").arg(++counter);
    std::string out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(QString::fromStdString(path));
        if (!db.open()) return "cannot open: " + db.lastError().text().toStdString();
        auto rows = [&](const QString& statement) {
            QSqlQuery query(db);
            if (!query.exec(statement)) {
                out += "failed: " + statement.toStdString() + ": " + query.lastError().text().toStdString() + "\n";
            }
            std::vector<std::vector<QVariant>> result;
            while (query.next()) {
                std::vector<QVariant> row;
                for (int c = 0; c < query.record().count(); ++c) row.push_back(query.value(c));
                result.push_back(std::move(row));
            }
            return result;
        };
        for (const auto& row : rows(QStringLiteral("PRAGMA integrity_check"))) out += row[0].toString().toStdString() + "\n";
        std::vector<QString> tables;
        for (const auto& row : rows(QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY name"))) {
            out += row[0].toString().toStdString() + " " + row[1].toString().toStdString() + ": " +
                   row[2].toString().toStdString() + "\n";
            if (row[0].toString() == QStringLiteral("table")) tables.push_back(row[1].toString());
        }
        for (const QString& table : tables) {
            out += "-- " + table.toStdString() + "\n";
            for (const auto& row : rows("SELECT rowid, * FROM \"" + table + "\" ORDER BY rowid")) {
                for (const QVariant& cell : row) {
                    out += cell.isNull() ? std::string("NULL")
                                         : std::string(cell.typeName()) + ":" + cell.toString().toStdString();
                    out += "|";
                }
                out += "\n";
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

// The lines of `actual` missing from `expected` and the other way round, so
// that a failure shows what changed rather than two whole files.
std::string Changes(const std::string& expected, const std::string& actual)
{
    auto lines = [](const std::string& text) {
        std::multiset<std::string> set;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);) set.insert(line);
        return set;
    };
    const auto before = lines(expected), after = lines(actual);
    std::string out;
    for (const std::string& line : before) {
        if (before.count(line) > after.count(line)) out += "- " + line + "\n";
    }
    for (const std::string& line : after) {
        if (after.count(line) > before.count(line)) out += "+ " + line + "\n";
    }
    return out;
}

std::string Describe(const IoFault& fault)
{
    const char* ops[] = {"write", "sync", "truncate", "journal removal"};
    return std::string(fault.sticky ? "every " : "only ") + ops[static_cast<int>(fault.op)] + " from #" +
           std::to_string(fault.nth) + " failing with " +
           (fault.failure == IoFailure::DiskFull ? "a full disk" : "a device error");
}

// Each call point of `counts` made to fail in turn: once, as a passing glitch
// SQLite can undo on the spot, and for good, so that the undoing is left to
// the next reader. A full disk is tried where it happens, on writes.
std::vector<IoFault> FaultsAt(const IoCounts& counts)
{
    std::vector<IoFault> faults;
    for (IoOp op : {IoOp::Write, IoOp::Sync, IoOp::Truncate, IoOp::Delete}) {
        for (int n = 1; n <= counts.of(op); ++n) {
            faults.push_back({op, n, IoFailure::DeviceError, false});
            faults.push_back({op, n, IoFailure::DeviceError, true});
            if (op == IoOp::Write) faults.push_back({op, n, IoFailure::DiskFull, false});
        }
    }
    return faults;
}

struct Outcome {
    bool ok;
    std::string error;
};

template <typename T>
Outcome Of(const Result<T>& result)
{
    return {result.ok(), result.error()};
}

ExperimentStart Start(const std::string& user, int trial) { return {user, trial, "2024-03-05", "14:07:09", "Standard", 15}; }

ExperimentResult End()
{
    return {.EndTime = "14:22:10", .MissedBuckets = 2.5, .BusyTime = 0.25, .SweepTime = std::nullopt, .IdleTime = 0.5};
}

// A scenario larger than the standard one, so that replacing it grows the file.
ScenarioTables Larger(const ScenarioTables& standard)
{
    ScenarioTables tables = standard;
    for (int copy = 1; copy <= 3; ++copy) {
        for (ArrivalRow row : standard.exogenous) {
            row.At.Minutes += 10 * copy;
            for (double& water : row.Water) water += 0.125 * copy;
            tables.exogenous.push_back(row);
        }
        for (DeadlineRow row : standard.deadline) {
            row.At.Minutes += 10 * copy;
            tables.deadline.push_back(row);
        }
    }
    return tables;
}

class WriteFaultTest : public DbTest {
protected:
    void SetUp() override
    {
        DbTest::SetUp();
        seedPath_ = path_ + ".seed";
    }

    // A database with the standard scenario, two participants and two trial
    // rows, the second not yet completed: the state every write starts from.
    void MakeSeed()
    {
        ASSERT_TRUE(ExperimentDb::Create(seedPath_, NewDbContent::StandardScenario).ok());
        auto opened = ExperimentDb::Open(seedPath_, OpenMode::ReadWrite);
        ASSERT_TRUE(opened.ok()) << opened.error();
        ExperimentDb& db = *opened.value();
        ASSERT_TRUE(db.AddParticipant({"ann", "Ann", "Lee", "Senior", "Physics", "22", "Female", ""}).ok());
        ASSERT_TRUE(db.AddParticipant({"o'brien", "", "O'Brien", "", "", "", "", ""}).ok());
        ASSERT_TRUE(db.SaveTrialNum("ann", 2).ok());
        ASSERT_EQ(db.AddExperiment(Start("ann", 1)).value(), 1);
        ASSERT_TRUE(db.CompleteExperiment(1, End()).ok());
        ASSERT_EQ(db.AddExperiment(Start("ann", 2)).value(), 2);
        auto scenario = db.ReadScenario();
        ASSERT_TRUE(scenario.ok()) << scenario.error();
        standard_ = scenario.value();
    }

    // The file at path_ as the seed left it, with no journal beside it.
    void FreshCopy()
    {
        const QString path = QString::fromStdString(path_);
        QFile::remove(path);
        QFile::remove(path + QStringLiteral("-journal"));
        ASSERT_TRUE(QFile::copy(QString::fromStdString(seedPath_), path));
    }

    // How many calls a clean run made, in the test's XML report.
    static void Record(const IoCounts& counts, const std::string& prefix = "")
    {
        RecordProperty(prefix + "writes", counts.writes);
        RecordProperty(prefix + "syncs", counts.syncs);
        RecordProperty(prefix + "truncates", counts.truncates);
        RecordProperty(prefix + "journal_removals", counts.deletes);
    }

    QStringList FilesInFolder() const
    {
        return QFileInfo(QString::fromStdString(path_)).dir().entryList(QDir::Files | QDir::Hidden | QDir::System);
    }

    // Made before any connection is opened, so that every one goes through it.
    FaultyVfs vfs_{testsupport::Flushing::Skipped};
    std::string seedPath_;
    ScenarioTables standard_;
};

struct WriteCase {
    const char* name;
    std::function<Outcome(ExperimentDb&, const ScenarioTables& standard)> write;
};

const WriteCase WriteCases[] = {
    {"AddParticipant",
     [](ExperimentDb& db, const ScenarioTables&) { return Of(db.AddParticipant({"bob", "Bob", "", "", "", "", "", ""})); }},
    {"SaveTrialNum", [](ExperimentDb& db, const ScenarioTables&) { return Of(db.SaveTrialNum("ann", 3)); }},
    {"AddExperiment", [](ExperimentDb& db, const ScenarioTables&) { return Of(db.AddExperiment(Start("ann", 3))); }},
    {"CompleteExperiment", [](ExperimentDb& db, const ScenarioTables&) { return Of(db.CompleteExperiment(2, End())); }},
    {"ClaimTrial", [](ExperimentDb& db, const ScenarioTables&) { return Of(db.ClaimTrial(Start("ann", 3))); }},
    {"ReplaceScenarioWithALargerOne",
     [](ExperimentDb& db, const ScenarioTables& standard) { return Of(db.ReplaceScenario(Larger(standard))); }},
    {"ReplaceScenarioWithNothing", [](ExperimentDb& db, const ScenarioTables&) { return Of(db.ReplaceScenario({})); }},
};

void PrintTo(const WriteCase& write, std::ostream* out) { *out << write.name; }

class EveryWriteTest : public WriteFaultTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(EveryWriteTest, FailsAtEachWritePointNamingTheFileLeavesItAsItWasAndSucceedsOnceTheDiskWorks)
{
    const WriteCase& write = GetParam();
    MakeSeed();
    if (HasFatalFailure()) return;
    const std::string before = Dump(seedPath_);
    ASSERT_NE(before.find("-- UserData"), std::string::npos) << before;

    // A clean run tells how many calls the write makes and what it leaves.
    FreshCopy();
    IoCounts counts;
    {
        auto db = OpenDb();
        ASSERT_NE(db, nullptr);
        vfs_.StartCounting();
        const Outcome clean = write.write(*db, standard_);
        counts = vfs_.counts();
        ASSERT_TRUE(clean.ok) << clean.error;
    }
    const std::string after = Dump(path_);
    ASSERT_NE(after, before);
    // Zero would mean Qt's driver does not go through the VFS registered here.
    ASSERT_GT(counts.writes, 0);
    Record(counts);

    for (const IoFault& fault : FaultsAt(counts)) {
        SCOPED_TRACE(Describe(fault));
        FreshCopy();
        auto db = OpenDb();
        ASSERT_NE(db, nullptr);
        vfs_.Arm(fault);
        const Outcome failed = write.write(*db, standard_);
        const bool fired = vfs_.fired();
        vfs_.Disarm();
        ASSERT_TRUE(fired);
        EXPECT_FALSE(failed.ok);
        EXPECT_NE(failed.error.find(path_), std::string::npos) << failed.error;
        EXPECT_EQ(Changes(before, Dump(path_)), "");

        const Outcome retried = write.write(*db, standard_);
        EXPECT_TRUE(retried.ok) << retried.error;
        db.reset();
        EXPECT_EQ(Changes(after, Dump(path_)), "");
    }
}

INSTANTIATE_TEST_SUITE_P(DbWrites, EveryWriteTest, ::testing::ValuesIn(WriteCases),
                         [](const ::testing::TestParamInfo<WriteCase>& info) { return info.param.name; });

TEST_F(WriteFaultTest, CreateThatFailsAtAnyPointLeavesNoFileBehindAndCanBeRepeated)
{
    for (NewDbContent content : {NewDbContent::SchemaOnly, NewDbContent::StandardScenario}) {
        SCOPED_TRACE(content == NewDbContent::SchemaOnly ? "schema only" : "standard scenario");
        vfs_.StartCounting();
        ASSERT_TRUE(ExperimentDb::Create(path_, content).ok());
        const IoCounts counts = vfs_.counts();
        ASSERT_GT(counts.writes, 0);
        Record(counts, content == NewDbContent::SchemaOnly ? "schema_only_" : "standard_scenario_");
        const std::string made = Dump(path_);
        ASSERT_TRUE(QFile::remove(QString::fromStdString(path_)));
        ASSERT_TRUE(FilesInFolder().isEmpty()) << FilesInFolder().join(' ').toStdString();

        for (const IoFault& fault : FaultsAt(counts)) {
            SCOPED_TRACE(Describe(fault));
            vfs_.Arm(fault);
            const auto failed = ExperimentDb::Create(path_, content);
            const bool fired = vfs_.fired();
            vfs_.Disarm();
            ASSERT_TRUE(fired);
            EXPECT_FALSE(failed.ok());
            EXPECT_NE(failed.error().find(path_), std::string::npos) << failed.error();
            EXPECT_TRUE(FilesInFolder().isEmpty()) << FilesInFolder().join(' ').toStdString();

            const auto again = ExperimentDb::Create(path_, content);
            ASSERT_TRUE(again.ok()) << again.error();
            EXPECT_EQ(Changes(made, Dump(path_)), "");
            // Whatever the failure left, a fresh start for the next fault.
            for (const QString& file : FilesInFolder()) QFileInfo(QString::fromStdString(path_)).dir().remove(file);
        }
    }
}

// The trial operations see only the store's strings, so an empty one would
// pass a lost write off as a saved one.
TEST_F(WriteFaultTest, TheTrialStoreReportsAFailedWriteInItsText)
{
    MakeSeed();
    if (HasFatalFailure()) return;
    const std::string before = Dump(seedPath_);
    const std::vector<std::pair<const char*, std::function<std::string(DbExperimentStore&)>>> calls = {
        {"ClaimTrial",
         [](DbExperimentStore& store) { return store.ClaimTrial(Start("ann", 3)).error(); }},
        {"CompleteExperiment", [](DbExperimentStore& store) { return store.CompleteExperiment(2, End()).error(); }},
        {"SaveTrialNum", [](DbExperimentStore& store) { return store.SaveTrialNum("ann", 3).error(); }},
    };
    for (const auto& [name, call] : calls) {
        for (IoFailure failure : {IoFailure::DeviceError, IoFailure::DiskFull}) {
            SCOPED_TRACE(std::string(name) + (failure == IoFailure::DiskFull ? " on a full disk" : " on a failing device"));
            FreshCopy();
            DbExperimentStore store(path_);
            vfs_.Arm({IoOp::Write, 1, failure, false});
            const std::string error = call(store);
            const bool fired = vfs_.fired();
            vfs_.Disarm();
            ASSERT_TRUE(fired);
            EXPECT_NE(error.find(path_), std::string::npos) << "store returned \"" << error << "\"";
            EXPECT_EQ(Changes(before, Dump(path_)), "");
            EXPECT_EQ(call(store), "");
        }
    }
}

// The next trial starts by reading the scenario through a read-only
// connection. Whatever a failed write left on the disk must not stop it.
TEST_F(WriteFaultTest, AfterAFailedWriteTheNextTrialStillReadsTheScenario)
{
    MakeSeed();
    if (HasFatalFailure()) return;
    FreshCopy();
    DbExperimentStore store(path_);
    vfs_.StartCounting();
    ASSERT_TRUE(store.CompleteExperiment(2, End()).ok());
    const IoCounts counts = vfs_.counts();

    for (const IoFault& fault : FaultsAt(counts)) {
        SCOPED_TRACE(Describe(fault));
        FreshCopy();
        vfs_.Arm(fault);
        const Status completed = store.CompleteExperiment(2, End());
        vfs_.Disarm();
        ASSERT_FALSE(completed.ok());
        const auto tables = store.ReadScenario();
        ASSERT_TRUE(tables.ok()) << tables.error();
        EXPECT_EQ(tables.value().exogenous.size(), standard_.exogenous.size());
    }
}

}  // namespace
}  // namespace kestu::testing
