#pragma once

// The lab page's HTTP server: the seat page and its event stream, the
// participants' page and each trial's chart and per-tick CSV. Everything it
// shows comes from the LabWatch's snapshots; it never opens the database.

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "engine/result.h"

namespace httplib {
class Server;
}

namespace kestu::lab {

class LabWatch;

struct ListenAddress {
    std::string host = "127.0.0.1";
    int port = 8080;
};

// "HOST:PORT", "[V6]:PORT" or "HOST" (port 8080); port 0 asks for any free port.
Result<ListenAddress> ParseListen(const std::string& text);
// Whether only this computer can reach the address: 127.x.x.x, ::1 or
// "localhost". Any other, 0.0.0.0 and :: included, reaches the network.
bool IsLoopbackHost(const std::string& host);
// The token in FILE: its first line, which must hold 16 to 200 printable
// ASCII characters.
Result<std::string> ReadTokenFile(const std::string& file);

struct ServeOptions {
    ListenAddress listen;
    std::optional<std::string> token;  // when set, every request must carry it
    std::chrono::milliseconds eventEvery{1000};
    // Each open event stream holds one of these threads.
    int threads = 64;
};

// Bound parameters and paths are held to this many bytes.
inline constexpr std::size_t MaxParameterBytes = 200;

class LabServer {
public:
    // Binds the address and serves in a thread of its own. Refuses a
    // non-loopback address without a token.
    static Result<std::unique_ptr<LabServer>> Start(LabWatch& watch, const ServeOptions& options);
    ~LabServer();
    LabServer(const LabServer&) = delete;
    LabServer& operator=(const LabServer&) = delete;

    int port() const { return port_; }
    void Stop();

private:
    LabServer(LabWatch& watch, ServeOptions options);
    void Route();

    LabWatch& watch_;
    const ServeOptions options_;
    std::unique_ptr<httplib::Server> http_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    int port_ = 0;
};

}  // namespace kestu::lab
