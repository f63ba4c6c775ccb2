#pragma once

// What differs between the two databases a study may live in, in one place:
// an SQLite file on one computer, a PostgreSQL server for a lab. Every other
// statement is written once, in SQL both understand: tables and columns are
// quoted by the names the experimenters know, rows are ordered and found by
// "rowid" (SQLite's own; on the server a column of that name).

#include <QString>

#include <vector>

namespace kestu::dbdetail {

enum class Backend { Sqlite, Postgres };

struct Dialect {
    Backend backend;
    QString driver;            // Qt's driver for it
    QString realType;          // a double in a table
    QString blobType;          // bytes in a table
    QString rowIdColumn;       // declared first in every table; empty where the database has its own
    // Ends an INSERT whose new "rowid" the query then returns as a row. SQLite
    // commits such a statement only after its row has been read, so a failed
    // commit would go unseen: there the id is the driver's last insert id.
    QString returningRowId;
    QString beginClaim;        // opens the transaction in which a trial number is claimed
    QString lockForUpdate;     // ends a SELECT whose rows the claim will change
    QString columnsOfTable;    // the column names of table ? in their order (a statement)
    // SQLite reads a double-quoted name that is no column as a text literal,
    // so a missing column must be found before a read; the server refuses
    // such a read by itself, so its catalog is asked only after a failure.
    bool checkColumnsFirst;
};

const Dialect& DialectOf(Backend backend);

// What a seat may do on a server. Seats log in with roles of their own that
// are members of "kestu_seat" (created here when missing). That role writes
// nothing directly: it may only call the study owner's functions, which add
// a participant, claim a trial, complete a trial whose results are empty,
// store a claimed trial's log once, raise a trial count and report its own
// seat's row of "SeatStatus"; and it reads
// only the scenario, the study's identity, the User ID and trial count of
// "UserData" (never the questionnaire's answers), what a replay reads of
// "Experiments" and the trial logs. The study's tables must exist.
std::vector<QString> SeatRoleStatements();

// The experimenter's watching role "kestu_monitor" (created when missing):
// it reads every table of the study and writes nothing. The lab page's
// login is a member of it.
std::vector<QString> MonitorRoleStatements();

// The refusals of those functions carry this SQLSTATE, so that their own
// sentence, not the driver's wrapping, reaches the message.
inline constexpr const char* FunctionRefusalCode = "KS001";

// The schema script rewritten for the dialect: the types, and the server's
// "rowid" column in every table.
QString SchemaFor(const Dialect& dialect, const QString& script);

}  // namespace kestu::dbdetail
