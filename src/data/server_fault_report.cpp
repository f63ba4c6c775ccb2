#include "data/server_fault_report.h"

#include <QtGlobal>

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <set>
#include <string_view>

namespace kestu::dbdetail {

namespace {

// Connection exceptions (08...) and an operator's or a crash's ending of the
// session (57P01 admin shutdown, 57P02 crash shutdown, 57P03 cannot connect now).
bool IsLostState(const QString& state)
{
    return state.startsWith(QStringLiteral("08")) || state == QStringLiteral("57P01") ||
           state == QStringLiteral("57P02") || state == QStringLiteral("57P03");
}

// libpq's own words when the socket fails; it gives no SQLSTATE for them.
constexpr std::array<std::string_view, 6> LostTexts = {
    "server closed the connection unexpectedly", "no connection to the server", "could not receive data from server",
    "could not send data to server", "connection not open", "SSL connection has been closed unexpectedly"};

QtMessageHandler previousHandler = nullptr;

// The threads whose server faults are not written.
std::mutex quietMutex;
std::set<std::thread::id> quietThreads;

bool Quiet(std::thread::id thread)
{
    const std::lock_guard hold(quietMutex);
    return quietThreads.count(thread) > 0;
}

void FilterMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.contains(QLatin1String("Unable to free statement"))) return;
    if (previousHandler)
        previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

bool IsConnectionLost(const QSqlError& error)
{
    if (error.type() == QSqlError::NoError) return false;
    if (IsLostState(error.nativeErrorCode())) return true;
    const QString text = error.databaseText() + QLatin1Char(' ') + error.driverText();
    for (const std::string_view lost : LostTexts)
        if (text.contains(QLatin1String(lost.data(), static_cast<qsizetype>(lost.size())))) return true;
    return false;
}

QuietServerFaults::QuietServerFaults()
{
    const std::lock_guard hold(quietMutex);
    quietThreads.insert(std::this_thread::get_id());
}

QuietServerFaults::~QuietServerFaults()
{
    const std::lock_guard hold(quietMutex);
    quietThreads.erase(std::this_thread::get_id());
}

void ReportServerFault(const std::string& detail, std::thread::id about)
{
    if (Quiet(about)) return;
    // One line: libpq's text comes with newlines and tab-indented hints.
    std::string line;
    for (const char c : detail) {
        const char put = (c == '\n' || c == '\t' || c == '\r') ? ' ' : c;
        if (put == ' ' && (line.empty() || line.back() == ' ')) continue;
        line += put;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();

    static std::mutex mutex;
    static std::string last;
    static std::chrono::steady_clock::time_point lastAt;
    const std::lock_guard hold(mutex);
    const auto now = std::chrono::steady_clock::now();
    if (line == last && now - lastAt < std::chrono::seconds(5)) return;
    last = line;
    lastAt = now;

    const std::time_t wall = std::time(nullptr);
    std::tm local{};
    localtime_r(&wall, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(stderr, "%s kestu: %s\n", stamp, line.c_str());
    std::fflush(stderr);
}

void QuietLostStatements()
{
    static std::once_flag once;
    std::call_once(once, [] { previousHandler = qInstallMessageHandler(FilterMessages); });
}

}  // namespace kestu::dbdetail
