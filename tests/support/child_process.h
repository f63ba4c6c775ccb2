#pragma once

// A program the test starts and talks to through its standard input and
// output (a proxy, or this test program again in another role). Its
// environment is the test's with some variables added. Ended with SIGKILL
// when destroyed.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace kestu::testsupport {

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv = {})
    {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
        // Everything the child needs is built before fork: only exec follows it.
        std::vector<std::string> env(extraEnv);
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        std::vector<char*> args, envp;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(in[0], STDIN_FILENO);
            ::dup2(out[1], STDOUT_FILENO);
            ::execvpe(args[0], args.data(), envp.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        toChild_ = in[1];
        fromChild_ = out[0];
    }
    ~ChildProcess()
    {
        Kill();
        if (toChild_ >= 0) ::close(toChild_);
        if (fromChild_ >= 0) ::close(fromChild_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }

    // The next line the child writes, without its newline; none when it
    // wrote none within the time or ended.
    std::optional<std::string> ReadLine(std::chrono::milliseconds within = std::chrono::seconds(30))
    {
        const auto until = std::chrono::steady_clock::now() + within;
        for (;;) {
            if (const auto end = buffered_.find('\n'); end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return std::nullopt;
            pollfd watched{fromChild_, POLLIN, 0};
            if (::poll(&watched, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
            char chunk[4096];
            const ssize_t got = ::read(fromChild_, chunk, sizeof chunk);
            if (got <= 0) return std::nullopt;
            buffered_.append(chunk, static_cast<std::size_t>(got));
        }
    }

    // Sends a line; the line the child answers with.
    std::optional<std::string> Ask(const std::string& line)
    {
        const std::string sent = line + "\n";
        if (::write(toChild_, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) return std::nullopt;
        return ReadLine();
    }

    void Kill()
    {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    std::string buffered_;
};

// This test program's own path, for running it again in another role.
inline std::string ThisProgram()
{
    char path[PATH_MAX] = {};
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace kestu::testsupport
