#pragma once

// What a seat says when its server goes away: the participant reads one
// plain sentence, and the server's or libpq's own words go to standard error
// once, with the time, for whoever looks after the lab. Not part of the
// database layer's interface.

#include <QSqlError>

#include <string>
#include <thread>

namespace kestu::dbdetail {

// The sentence a message carries in place of the driver's words when the
// connection to the server is lost.
inline constexpr const char* ServerUnreachable = "the study's server cannot be reached";

// Whether a failure means the connection itself is gone (a server stopped or
// restarted, a cut connection, a watchdog's cut) rather than a refused statement.
bool IsConnectionLost(const QSqlError& error);

// Writes "<date> <time> kestu: <detail>" to standard error on one line; the
// same detail again within a few seconds is not repeated. `about` is the
// thread whose call failed; nothing is written while it is quiet.
void ReportServerFault(const std::string& detail, std::thread::id about = std::this_thread::get_id());

// While one lives, the server faults of this thread's calls (its own, and
// the watchdog's cut of them) are not written: for a caller that tries again
// quietly and says once itself what failed, as a seat's status reports do.
class QuietServerFaults {
public:
    QuietServerFaults();
    ~QuietServerFaults();
    QuietServerFaults(const QuietServerFaults&) = delete;
    QuietServerFaults& operator=(const QuietServerFaults&) = delete;
};

// Keeps Qt's PostgreSQL driver from printing a warning for every statement
// it cannot free on a lost connection; other messages pass as before.
void QuietLostStatements();

}  // namespace kestu::dbdetail
