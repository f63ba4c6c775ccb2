#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/result.h"
#include "data/db_values.h"
#include "scenario/scenario_tables.h"
#include "trials/experiment_store.h"  // ExperimentStart, ExperimentResult

class QSqlQuery;
class QString;
class QVariant;

namespace kestu {

struct DatabaseLocation;
struct SeatReport;
struct SeatBoard;
namespace dbdetail {
struct Dialect;
struct StatementCache;
}

// One row of "UserData". Every field is text as the participant typed it;
// an empty cell reads back as "".
struct Participant {
    std::string UserID = {};
    std::string FirstName = {};
    std::string LastName = {};
    std::string SchoolYear = {};
    std::string Major = {};
    std::string Age = {};
    std::string Sex = {};
    std::string TrialNum = {};  // trials done, decimal text; "0" for a new participant
};

enum class OpenMode { ReadOnly, ReadWrite };

// What a new database file holds besides the empty participant and result tables.
enum class NewDbContent { SchemaOnly, StandardScenario };

// The experiment database: the participants, the trial results, the trial
// logs and the three scenario tables, in one SQLite file or one database on
// a PostgreSQL server (named by a postgresql:// URL wherever a file may be).
// Each instance holds its own connection, closed when it is destroyed.
class ExperimentDb {
public:
    ~ExperimentDb();
    ExperimentDb(const ExperimentDb&) = delete;
    ExperimentDb& operator=(const ExperimentDb&) = delete;

    // programDir + "/KESTU.MDB".
    static std::string DefaultPath(const std::string& programDir);

    // Opens an existing study; a missing file is an error, never created here.
    static Result<std::unique_ptr<ExperimentDb>> Open(const std::string& location, OpenMode mode);

    // Creates a new study with every table: a new file (refused when the file
    // exists), or the tables and the seats' role "kestu_seat" in an existing
    // server database (refused when it already holds a study).
    static Status Create(const std::string& location, NewDbContent content);

    const std::string& path() const { return path_; }

    // The study's identity, a random text given when the study was created;
    // empty for a study made before studies had one.
    Result<std::string> StudyId();

    // Participants. Lookup finds the first row, in stored order, whose UserID
    // equals the given one exactly; no such row is not an error. On a server
    // only UserID and TrialNum are read (a seat may read nothing else of the
    // table); the questionnaire's fields then come back empty.
    Result<std::optional<Participant>> FindParticipant(const std::string& userId);
    // Stores UserID, LastName, FirstName, SchoolYear, Major, Age and Sex as
    // given; TrialNum gets the table's default "0" (the field is ignored).
    Status AddParticipant(const Participant& participant);
    // Raises the trial count of the participant's first row to trialNum,
    // written as decimal text; a count already that high or higher is left
    // as it is, so a count never goes back. Refused when the stored count is
    // not a number.
    Status SaveTrialNum(const std::string& userId, int trialNum);

    // Trial results. AddExperiment returns the new row's rowid, which
    // CompleteExperiment takes to fill in the end of the trial, refused
    // unless the row's results are still empty; shares that are absent are
    // stored as NULL.
    Result<long long> AddExperiment(const ExperimentStart& start);
    Status CompleteExperiment(long long rowid, const ExperimentResult& end);
    // Fills in the results of the participant's row of that trial, refused
    // unless exactly such a row exists and its results are still empty: a
    // finished row, or another participant's, is never written over.
    Status CompleteTrial(const TrialId& trial, const ExperimentResult& end);
    // Whether the participant has a row of that trial.
    Result<bool> TrialClaimed(const TrialId& trial);
    // Starts trial start.Experiment in one transaction: the participant's
    // trial count becomes that number and the trial's row is added. Refused
    // when the count or the participant's largest recorded trial has already
    // reached it (another copy of the program took the number). Returns the
    // new row's rowid.
    Result<long long> ClaimTrial(const ExperimentStart& start);

    // Trial logs. StoreTrialLog adds the copy unless the trial's log is
    // already there (a delivery tried twice stores it once, also when two
    // deliver at once); an SQLite file made before the table or its unique
    // key existed gets them first (the key only where no log is there twice).
    // On a server only the log of a claimed trial is taken.
    Status StoreTrialLog(const TrialLogCopy& log);
    // The logs of one participant, or of all (empty userId), in stored order.
    Result<std::vector<TrialLogCopy>> ReadTrialLogs(const std::string& userId);

    // The scenario tables, rows in stored order, checked cell by cell.
    Result<ScenarioTables> ReadScenario();
    // One scenario table's columns as stored, unchecked, so that even a table
    // ReadScenario refuses can be exported, mended and imported again.
    Result<CellTable> ReadScenarioCells(ScenarioTable table);
    // Empties the three scenario tables and fills them with `tables`, all in
    // one transaction: on any failure the database keeps its old scenario.
    Status ReplaceScenario(const ScenarioTables& tables);

    // Every column (but a server's "rowid") and row of any table, in stored order.
    Result<CellTable> ReadWholeTable(const std::string& table);
    // Replaces the rows of the named tables with the given ones, all in one
    // transaction; on any failure the database is left as it was.
    Status ReplaceTables(const std::vector<std::pair<std::string, CellTable>>& tables);

    // Every column and row of "UserData" or "Experiments", in stored order.
    Result<CellTable> ReadResultCells(ResultTable table);
    // The participant's rows of "Experiments", in stored order.
    Result<std::vector<ExperimentRow>> ReadExperimentRows(const std::string& userId);

    // The seats' rows of "SeatStatus". ReportSeat writes this seat's row,
    // added or written over; on a server only the login that added a row
    // may write it again, and an SQLite study made before the table existed
    // gets it first. ReadSeatBoard reads every row with the database's clock.
    Status ReportSeat(const SeatReport& report);
    Result<SeatBoard> ReadSeatBoard();
    // Whether this connection could change the study: an SQLite file opened
    // for writing, or a server login with any right to write a study table
    // or to run the functions through which seats write.
    Result<bool> MayChangeStudy();

private:
    ExperimentDb(std::string path, std::string connection, bool onServer);
    static Status CreateOnServer(const DatabaseLocation& where, NewDbContent content);
    const dbdetail::Dialect& dialect() const;
    // A prepared statement for this connection; see StatementCache.
    Result<QSqlQuery*> Statement(const QString& sql, const QString& doing);
    // Whether the writes go through the study owner's functions: on a server
    // whose study has them (one made before they existed is written as ever).
    Result<bool> ThroughFunctions();
    Result<long long> ClaimOnServer(const ExperimentStart& start);
    Result<long long> ClaimInTransaction(const ExperimentStart& start, const QString& doing);
    Result<long long> LargestTrial(const std::string& userId, const QString& doing);
    Status CompleteOnServer(const TrialId& trial, const ExperimentResult& end, const QString& doing);
    Status RaiseTrialNum(const std::string& userId, int trialNum, const QString& doing);
    Result<TrialId> TrialOfRow(long long rowid, const QString& doing);
    Result<bool> CompleteTrialRow(const TrialId& trial, const ExperimentResult& end, const QString& doing);
    bool AlreadyCompleted(const QString& where, const std::vector<QVariant>& keys, const ExperimentResult& end);

    std::string path_;
    std::string connection_;  // name of this instance's connection
    bool onServer_ = false;
    std::unique_ptr<dbdetail::StatementCache> statements_;
};

}  // namespace kestu
