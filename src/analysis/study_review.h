#pragma once

// A study read whole: each participant's rows of "Experiments" paired with
// their trial logs, each log replayed and checked against its row, and what
// does not pair up. `kestuctl rescore` and `kestuctl report` both work from
// these facts, so they can never tell a trial's story two ways.

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analysis/rescore_check.h"
#include "data/db_values.h"
#include "engine/result.h"
#include "scenario/scenario_tables.h"
#include "trials/headless_trial.h"
#include "trials/log_reader.h"

namespace kestu {
class ExperimentDb;
}

namespace kestu::analysis {

// Where a trial's log was read from: its file, or the copy the database keeps
// in table "TrialLogs".
enum class LogSource { File, Database };
const char* LogSourceWord(LogSource source);  // "file", "database"

// A participant's logs as table "TrialLogs" keeps them, read once and looked
// up by trial number; nothing is written out to be replayed.
class StoredLogs {
public:
    StoredLogs(ExperimentDb& db, std::string userId);
    // Trial `trial`'s stored copy, named "USERID.N (the copy in table
    // "TrialLogs")" for messages: nothing when the table has none, a fault
    // when the table cannot be read.
    Result<std::optional<TrialLogText>> Fetch(long long trial);
    // The trial numbers of every stored copy, in stored order.
    Result<std::vector<long long>> Trials();

private:
    Status Read();

    ExperimentDb& db_;
    std::string userId_;
    std::optional<std::vector<TrialLogCopy>> logs_;
};

// The study's folder: where an SQLite file's logs lie beside it; empty for a
// study on a server, which keeps its logs only in table "TrialLogs".
Result<std::filesystem::path> LogFolderOf(const std::string& location);

struct FoundLog {
    TrialLogText log;
    LogSource source = LogSource::File;
};

// Where each trial's log is read, once: the file USERID.N beside an SQLite
// database when it is there, otherwise the copy in table "TrialLogs".
class TrialLogFinder {
public:
    TrialLogFinder(std::filesystem::path folder, StoredLogs& stored) : folder_(std::move(folder)), stored_(stored) {}

    // The log to replay and where it came from. Nothing when neither a file
    // nor a stored copy exists; a fault when one is there but cannot be read.
    Result<std::optional<FoundLog>> Find(const std::string& userId, long long trial) const;
    // What to say when Find found nothing.
    std::string Missing(const std::string& userId, long long trial) const;
    // The logs "USERID.N" no row names: files beside an SQLite database, or
    // the stored copies of a study on a server.
    Result<std::vector<std::string>> WithoutRow(const std::string& userId, const std::vector<ExperimentRow>& rows) const;

    const std::filesystem::path& folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    StoredLogs& stored_;
};

// What rescoring says of a row.
enum class Verdict { Agrees, Incomplete, Disagrees };
const char* VerdictWord(Verdict verdict);  // "agrees", "incomplete", "disagrees"

// Why a row's log could not be checked against it.
enum class LogTrouble {
    None,           // the log was replayed
    NoTrialNumber,  // the row names no trial, so no log
    NoLog,          // neither the file nor a stored copy exists
    Unreadable,     // a log is there but cannot be read
    NotReplayed,    // the log was read but cannot be replayed
};

// One row of "Experiments" beside the replay of its log.
struct RowReview {
    ExperimentRow row;
    Verdict verdict = Verdict::Disagrees;
    LogTrouble trouble = LogTrouble::None;
    std::string why;                 // the finder's or the replay's message, when in trouble
    std::optional<LogSource> source;  // where the log was read, when it was
    std::string logName;             // the log's name as read
    std::optional<ReplayOutcome> replay;
    std::vector<FieldCheck> checks;  // when replayed
};

// Finds, replays and checks one row.
RowReview ReviewRow(const ExperimentRow& row, const ScenarioTables& tables, const TrialLogFinder& logs,
                    const std::string& userId);

// One participant: every row in stored order, trial numbers that several
// rows hold (with their rowids) and logs that no row names.
struct ParticipantReview {
    std::string userId;
    std::vector<RowReview> rows;
    std::map<long long, std::vector<long long>> sharedTrialNumbers;
    std::vector<std::string> logsWithoutRow;

    // Rows by trial number (rows without one last), each row's stored order kept among equals.
    std::vector<const RowReview*> ByTrial() const;
};

// What the report lists under a participant: everything rescore calls a
// mismatch or incomplete, and rows that hold no result.
enum class FlagKind {
    NoResult,       // the row holds no result (the trial was stopped, cut off, or its results never stored)
    NoLog,          // the row's trial number has no log, neither a file nor a stored copy
    Disagrees,      // the log disagrees with its row, or cannot be read or replayed
    NoTrialNumber,  // the row names no trial
    SharedNumber,   // several rows hold the trial number
    LogWithoutRow,  // a log whose trial number no row holds
};
const char* FlagWord(FlagKind kind);  // "no result", "no log", ...

struct StudyFlag {
    FlagKind kind = FlagKind::NoResult;
    std::optional<long long> trial;
    std::vector<long long> rowids;
    std::string detail;  // one plain sentence
};

// The participant's flags: rows in trial order, then shared numbers, then logs without a row.
std::vector<StudyFlag> FlagsOf(const ParticipantReview& person);

struct StudyReview {
    std::vector<ParticipantReview> participants;  // "UserData" order, then User IDs found only in "Experiments"
    std::size_t trials = 0;      // rows of "Experiments"
    std::size_t complete = 0;    // rows that hold a result
    std::size_t incomplete = 0;  // rows that hold none
};

// Reads every participant of the study at `location` (already open as `db`)
// with their rows and logs, and replays every log. `progress`, when given,
// is called with the rows done and the rows in all.
Result<StudyReview> ReviewStudy(ExperimentDb& db, const std::string& location, const ScenarioTables& tables,
                                const std::function<void(std::size_t, std::size_t)>& progress = {});

}  // namespace kestu::analysis
