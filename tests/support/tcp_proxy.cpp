// A TCP proxy on loopback for the network fault tests: it forwards every
// connection made to it to 127.0.0.1:TARGET_PORT and can be told to stop
// forwarding without closing anything, as a hung router or a frozen
// virtual machine does (the proxy's own kernel still acknowledges what it
// is sent, until its buffers fill).
//
//   tcp_proxy TARGET_PORT
// prints "port N" (the port it listens on), then reads commands, one a line,
// and answers each when done:
//   freeze  -> "frozen"   nothing more is read, accepted or forwarded
//   thaw    -> "thawed"   forwarding goes on
//   cut     -> "cut"      every forwarded connection is closed
// It ends when its standard input closes.
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

struct Pair {
    int client = -1;
    int server = -1;
};

int Listen(int& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 64) != 0) return -1;
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

int ConnectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Moves what one side sent to the other; false when the side closed.
bool Forward(int from, int to)
{
    char buffer[65536];
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got <= 0) return false;
    for (ssize_t sent = 0; sent < got;) {
        const ssize_t put = ::write(to, buffer + sent, static_cast<size_t>(got - sent));
        if (put <= 0) return false;
        sent += put;
    }
    return true;
}

void Close(Pair& pair)
{
    ::close(pair.client);
    ::close(pair.server);
    pair.client = pair.server = -1;
}

void Say(const char* text)
{
    std::printf("%s\n", text);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tcp_proxy TARGET_PORT\n");
        return 2;
    }
    const int target = std::atoi(argv[1]);
    int port = 0;
    const int listener = Listen(port);
    if (listener < 0) {
        std::perror("tcp_proxy: listen");
        return 1;
    }
    std::printf("port %d\n", port);
    std::fflush(stdout);

    std::vector<Pair> pairs;
    bool frozen = false;
    std::string command;
    for (;;) {
        std::vector<pollfd> watched{{STDIN_FILENO, POLLIN, 0}};
        if (!frozen) {
            watched.push_back({listener, POLLIN, 0});
            for (const Pair& pair : pairs) {
                watched.push_back({pair.client, POLLIN, 0});
                watched.push_back({pair.server, POLLIN, 0});
            }
        }
        if (::poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) continue;
            return 1;
        }
        if (watched[0].revents) {
            char c;
            const ssize_t got = ::read(STDIN_FILENO, &c, 1);
            if (got <= 0) return 0;
            if (c != '\n') {
                command += c;
                continue;
            }
            if (command == "freeze") {
                frozen = true;
                Say("frozen");
            } else if (command == "thaw") {
                frozen = false;
                Say("thawed");
            } else if (command == "cut") {
                for (Pair& pair : pairs) Close(pair);
                pairs.clear();
                Say("cut");
            } else {
                Say("unknown command");
            }
            command.clear();
            continue;
        }
        if (frozen) continue;
        const std::size_t polled = pairs.size();
        if (watched[1].revents & POLLIN) {
            const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                const int server = ConnectTo(target);
                if (server < 0)
                    ::close(client);
                else
                    pairs.push_back({client, server});
            }
        }
        for (std::size_t i = 0; i < polled; ++i) {
            const pollfd& fromClient = watched[2 + 2 * i];
            const pollfd& fromServer = watched[3 + 2 * i];
            bool open = true;
            if (fromClient.revents) open = Forward(pairs[i].client, pairs[i].server);
            if (open && fromServer.revents) open = Forward(pairs[i].server, pairs[i].client);
            if (!open) Close(pairs[i]);
        }
        std::erase_if(pairs, [](const Pair& pair) { return pair.client < 0; });
    }
}
