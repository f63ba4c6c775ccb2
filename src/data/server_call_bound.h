#pragma once

// A bound on the time of one server call, for a peer that stops answering
// while its computer still acknowledges every packet (a hung proxy or a
// frozen virtual machine): TCP keepalives and a user timeout never fire then,
// and libpq would wait for ever. Not part of the database layer's interface.

#include <chrono>
#include <optional>
#include <string>

namespace kestu::dbdetail {

// How long one server call may take before its connection is cut.
inline constexpr std::chrono::milliseconds ServerCallLimit{14000};

// The socket of a server connection, watched from its connecting (Connect)
// until it is dropped (Drop). It belongs to the thread that opened it, as
// Qt's connections do.
void WatchServerSocket(const std::string& connection, int socket);
void ForgetServerSocket(const std::string& connection);

// While one lives, every watched socket of this thread is shut down when the
// limit passes, so the call waiting on it fails at once ("server closed the
// connection") and its connection is dropped by its owner. Bounds nest: an
// inner one inside a live one changes nothing.
class ServerCallBound {
public:
    explicit ServerCallBound(std::chrono::milliseconds limit = ServerCallLimit);
    ~ServerCallBound();
    ServerCallBound(const ServerCallBound&) = delete;
    ServerCallBound& operator=(const ServerCallBound&) = delete;

    // The time left to this thread's bound; none when no bound lives.
    static std::optional<std::chrono::milliseconds> Remaining();

private:
    bool outer_ = false;
};

}  // namespace kestu::dbdetail
