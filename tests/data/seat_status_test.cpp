// The seats' rows of "SeatStatus": a seat's report reads back as written and
// is written over by its next one; an SQLite study made before the table
// existed gets it; on a server a seat writes only its own row and only
// through the owner's function, and the lab page's login reads every row
// and may change nothing.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <set>

#include "data/database_location.h"

#include "data/seat_status.h"
#include "db_fixture.h"
#include "support/test_server.h"

namespace kestu::testing {
namespace {

SeatReport Report(const std::string& seat, const std::string& user, int trial, TrialPhase phase, long long clock)
{
    SeatReport r;
    r.Seat = seat;
    r.Version = "1.2.3";
    r.UserID = user;
    r.TrialNum = trial;
    r.Mode = SimulatorMode::Experiment;
    r.Phase = phase;
    r.ClockSeconds = clock;
    r.EndSeconds = 480;
    r.MissedBuckets = 17;
    r.OutboxWaiting = 2;
    return r;
}

// The row of `seat` on the board, or a failure.
const SeatRow* RowOf(const SeatBoard& board, const std::string& seat)
{
    for (const SeatRow& row : board.Seats)
        if (row.Seat == seat) return &row;
    ADD_FAILURE() << "no row for seat " << seat;
    return nullptr;
}

void ExpectRowIs(const SeatRow& row, const SeatReport& r)
{
    EXPECT_EQ(row.Seat, r.Seat);
    EXPECT_EQ(row.Version, r.Version);
    EXPECT_EQ(row.UserID, r.UserID);
    EXPECT_EQ(row.TrialNum, r.TrialNum);
    EXPECT_EQ(row.Mode, ModeWord(r.Mode));
    EXPECT_EQ(row.Phase, PhaseWord(r.Phase));
    EXPECT_EQ(row.ClockSeconds, r.ClockSeconds);
    EXPECT_EQ(row.EndSeconds, r.EndSeconds);
    EXPECT_EQ(row.MissedBuckets, r.MissedBuckets);
    EXPECT_EQ(row.OutboxWaiting, r.OutboxWaiting);
}

TEST(SeatWords, EveryPhaseHasAWordOfItsOwnThatReadsBack)
{
    std::set<std::string> words;
    for (TrialPhase phase : {TrialPhase::Idle, TrialPhase::SetUp, TrialPhase::Running, TrialPhase::Ended,
                             TrialPhase::CutShort, TrialPhase::ReplayLoaded, TrialPhase::ReplayPlaying,
                             TrialPhase::ReplayPaused, TrialPhase::ReplayEnded}) {
        words.insert(PhaseWord(phase));
        EXPECT_EQ(PhaseOfWord(PhaseWord(phase)), phase) << PhaseWord(phase);
    }
    EXPECT_EQ(words.size(), 9u);
    EXPECT_EQ(PhaseOfWord("Sleeping"), std::nullopt);
    EXPECT_EQ(PhaseOfWord("running"), std::nullopt);
    EXPECT_STREQ(ModeWord(SimulatorMode::Training), "Training");
    EXPECT_STREQ(ModeWord(SimulatorMode::Replay), "Replay");
    EXPECT_STREQ(ModeWord(SimulatorMode::Experiment), "Experiment");
}

using SeatStatusFile = OpenDbTest;

TEST_F(SeatStatusFile, AReportReadsBackAndTheSeatsNextReportWritesOverIt)
{
    const SeatReport first = Report("seat-b", "ann", 3, TrialPhase::Running, 65);
    ASSERT_TRUE(db_->ReportSeat(first).ok());
    auto board = db_->ReadSeatBoard();
    ASSERT_TRUE(board.ok()) << board.error();
    ASSERT_EQ(board.value().Seats.size(), 1u);
    ExpectRowIs(board.value().Seats[0], first);
    // The report's time is the database's clock, as is the board's.
    EXPECT_GT(board.value().Now, 1.7e9);
    EXPECT_LE(board.value().Seats[0].ReportedAt, board.value().Now + 0.01);
    EXPECT_GT(board.value().Seats[0].ReportedAt, board.value().Now - 5);

    SeatReport later = Report("seat-b", "bob", 4, TrialPhase::Ended, 480);
    later.Mode = SimulatorMode::Training;
    later.MissedBuckets = 40;
    later.OutboxWaiting = 0;
    later.Version = "1.2.4";
    ASSERT_TRUE(db_->ReportSeat(later).ok());
    ASSERT_TRUE(db_->ReportSeat(Report("seat-a", "", 0, TrialPhase::Idle, 0)).ok());
    board = db_->ReadSeatBoard();
    ASSERT_TRUE(board.ok()) << board.error();
    ASSERT_EQ(board.value().Seats.size(), 2u);
    EXPECT_EQ(board.value().Seats[0].Seat, "seat-a");  // in order of their names
    ExpectRowIs(board.value().Seats[1], later);
    EXPECT_EQ(board.value().Seats[0].UserID, "");
    EXPECT_EQ(Count("SeatStatus"), 2);
}

TEST_F(SeatStatusFile, AStudyMadeBeforeSeatsReportedGetsTheTableAtTheFirstReport)
{
    db_.reset();
    Sql("DROP TABLE \"SeatStatus\"");
    ASSERT_EQ(Sql("SELECT count(*) FROM sqlite_master WHERE name = 'SeatStatus'").toInt(), 0);
    db_ = OpenDb();
    auto empty = db_->ReadSeatBoard();
    ASSERT_TRUE(empty.ok()) << empty.error();
    EXPECT_TRUE(empty.value().Seats.empty());

    ASSERT_TRUE(db_->ReportSeat(Report("seat-a", "ann", 1, TrialPhase::SetUp, 0)).ok());
    ASSERT_TRUE(db_->ReportSeat(Report("seat-a", "ann", 1, TrialPhase::Running, 12)).ok());
    auto board = db_->ReadSeatBoard();
    ASSERT_TRUE(board.ok()) << board.error();
    ASSERT_EQ(board.value().Seats.size(), 1u) << "the seat's name is the table's key";
    EXPECT_EQ(board.value().Seats[0].Phase, "Running");

    // A second program on the same file, which saw no table when it opened.
    auto other = OpenDb();
    ASSERT_TRUE(other->ReportSeat(Report("seat-b", "bob", 1, TrialPhase::Idle, 0)).ok());
    EXPECT_EQ(Count("SeatStatus"), 2);
}

TEST_F(SeatStatusFile, OnlyAFileOpenedForWritingMayChangeTheStudy)
{
    auto may = db_->MayChangeStudy();
    ASSERT_TRUE(may.ok()) << may.error();
    EXPECT_TRUE(may.value());
    auto reader = OpenDb(OpenMode::ReadOnly);
    auto mayNot = reader->MayChangeStudy();
    ASSERT_TRUE(mayNot.ok()) << mayNot.error();
    EXPECT_FALSE(mayNot.value());
    EXPECT_FALSE(reader->ReportSeat(Report("seat-a", "ann", 1, TrialPhase::Idle, 0)).ok());
}

// A role made on the test cluster once (roles belong to the whole cluster).
void MakeRole(const std::string& name, const std::string& options)
{
    testsupport::ServerSql(testsupport::TestServerUrl(),
                           "DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = '" + name +
                               "') THEN CREATE ROLE " + name + " " + options + "; END IF; END $$");
}

std::string As(const std::string& role, const std::string& url) { return "postgresql://" + role + url.substr(url.find('@')); }

class SeatStatusServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        MakeRole("kestu_test_owner", "LOGIN CREATEROLE");
        const std::string admin = testsupport::NewServerDatabase();
        testsupport::ServerSql(testsupport::TestServerUrl(),
                               "ALTER DATABASE " + admin.substr(admin.rfind('/') + 1) + " OWNER TO kestu_test_owner");
        owner_ = As("kestu_test_owner", admin);
        const Status created = ExperimentDb::Create(owner_, NewDbContent::StandardScenario);
        ASSERT_TRUE(created.ok()) << created.error();
        MakeRole("kestu_test_seat01", "LOGIN IN ROLE kestu_seat");
        MakeRole("kestu_test_seat02", "LOGIN IN ROLE kestu_seat");
        MakeRole("kestu_test_watcher", "LOGIN IN ROLE kestu_monitor");
        seat1_ = As("kestu_test_seat01", admin);
        seat2_ = As("kestu_test_seat02", admin);
        watcher_ = As("kestu_test_watcher", admin);
    }
    void TearDown() override { testsupport::DropServerDatabase(owner_); }

    std::unique_ptr<ExperimentDb> Open(const std::string& url, OpenMode mode = OpenMode::ReadWrite)
    {
        auto opened = ExperimentDb::Open(url, mode);
        EXPECT_TRUE(opened.ok()) << opened.error();
        return opened.ok() ? std::move(opened).value() : nullptr;
    }

    SeatBoard Board()
    {
        auto db = Open(owner_, OpenMode::ReadOnly);
        auto board = db->ReadSeatBoard();
        EXPECT_TRUE(board.ok()) << board.error();
        return board.ok() ? board.value() : SeatBoard{};
    }

    std::string owner_, seat1_, seat2_, watcher_;
};

TEST_F(SeatStatusServer, ASeatWritesItsOwnRowThroughTheFunctionAndNoOtherLoginsRow)
{
    auto seat1 = Open(seat1_);
    auto seat2 = Open(seat2_);
    ASSERT_TRUE(seat1 && seat2);
    const SeatReport first = Report("lab-01", "ann", 2, TrialPhase::Running, 30);
    const Status reported = seat1->ReportSeat(first);
    ASSERT_TRUE(reported.ok()) << reported.error();
    SeatReport again = Report("lab-01", "ann", 2, TrialPhase::Ended, 480);
    ASSERT_TRUE(seat1->ReportSeat(again).ok());

    // Another login may not take over the row of lab-01, and the row stays as it was.
    const Status taken = seat2->ReportSeat(Report("lab-01", "eve", 9, TrialPhase::Idle, 0));
    ASSERT_FALSE(taken.ok());
    EXPECT_NE(taken.error().find("another login"), std::string::npos) << taken.error();
    ASSERT_TRUE(seat2->ReportSeat(Report("lab-02", "bob", 1, TrialPhase::SetUp, 0)).ok());

    const SeatBoard board = Board();
    ASSERT_EQ(board.Seats.size(), 2u);
    if (const SeatRow* row = RowOf(board, "lab-01")) ExpectRowIs(*row, again);
    if (const SeatRow* row = RowOf(board, "lab-02")) EXPECT_EQ(row->UserID, "bob");
    // Stamped by the server's clock.
    EXPECT_LE(board.Seats[0].ReportedAt, board.Now + 0.01);
    EXPECT_GT(board.Seats[0].ReportedAt, board.Now - 30);
}

TEST_F(SeatStatusServer, ASeatCannotWriteTheTableDirectly)
{
    ASSERT_TRUE(Open(seat1_)->ReportSeat(Report("lab-01", "ann", 2, TrialPhase::Running, 30)).ok());
    const std::vector<std::string> refused = {
        "INSERT INTO \"SeatStatus\" (\"Seat\", \"Login\") VALUES ('forged', 'kestu_test_seat01')",
        "UPDATE \"SeatStatus\" SET \"Phase\" = 'Ended'",
        "DELETE FROM \"SeatStatus\"",
        "UPDATE \"SeatStatus\" SET \"Login\" = 'kestu_test_seat02'",
    };
    for (const std::string& statement : refused) {
        for (const std::string& who : {seat1_, seat2_, watcher_}) {
            const auto where = ParseDatabaseLocation(who);
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("raw-seat-status"));
            const ServerAddress& s = *where.value().server;
            db.setHostName(QString::fromStdString(s.host));
            db.setPort(s.port);
            db.setUserName(QString::fromStdString(s.user));
            db.setDatabaseName(QString::fromStdString(s.database));
            ASSERT_TRUE(db.open()) << db.lastError().text().toStdString();
            {
                QSqlQuery query(db);
                EXPECT_FALSE(query.exec(QString::fromStdString(statement))) << s.user << " ran: " << statement;
            }
            db.close();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(QStringLiteral("raw-seat-status"));
        }
    }
    const SeatBoard board = Board();
    ASSERT_EQ(board.Seats.size(), 1u);
    EXPECT_EQ(board.Seats[0].Phase, "Running");
}

TEST_F(SeatStatusServer, TheLabPagesLoginReadsTheBoardAndMayChangeNothing)
{
    ASSERT_TRUE(Open(seat1_)->ReportSeat(Report("lab-01", "ann", 2, TrialPhase::Running, 30)).ok());
    auto watcher = Open(watcher_, OpenMode::ReadOnly);
    ASSERT_NE(watcher, nullptr);
    auto board = watcher->ReadSeatBoard();
    ASSERT_TRUE(board.ok()) << board.error();
    ASSERT_EQ(board.value().Seats.size(), 1u);
    EXPECT_EQ(board.value().Seats[0].UserID, "ann");
    EXPECT_GT(board.value().Now, 1.7e9);

    auto may = watcher->MayChangeStudy();
    ASSERT_TRUE(may.ok()) << may.error();
    EXPECT_FALSE(may.value());
    EXPECT_FALSE(watcher->ReportSeat(Report("lab-09", "eve", 1, TrialPhase::Idle, 0)).ok());
    EXPECT_TRUE(Open(owner_)->MayChangeStudy().value());
    EXPECT_TRUE(Open(seat1_)->MayChangeStudy().value());
    EXPECT_EQ(Board().Seats.size(), 1u);
}

}  // namespace
}  // namespace kestu::testing
