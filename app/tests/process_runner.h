// process_runner: starts the real program with its own environment, collects its output lines, and
// waits for lines or its exit with bounded waits. Single-threaded: the output is read while waiting.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>
#include <vector>

inline bool endsWith(const std::string& line, const std::string& end) {
    return line.size() >= end.size() && line.compare(line.size() - end.size(), end.size(), end) == 0;
}

class ProcessRunner {
public:
    // `env` replaces the listed variables (an empty value unsets one); the rest is inherited.
    ProcessRunner(const std::string& program, const std::vector<std::string>& args,
                  const std::map<std::string, std::string>& env) {
        int out[2], err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            dup2(err[1], 2);
            for (const auto& e : env) {
                if (e.second.empty()) unsetenv(e.first.c_str());
                else setenv(e.first.c_str(), e.second.c_str(), 1);
            }
            // A cross build runs the program under its emulator, which passes signals and the exit
            // status through.
            static const char kEmulator[] = KT_TEST_EMULATOR;
            std::vector<char*> argv;
            if (kEmulator[0]) argv.push_back(const_cast<char*>(kEmulator));
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            // The child starts with default signal handling whatever the test harness set.
            for (int s : {SIGTERM, SIGINT, SIGUSR1}) signal(s, SIG_DFL);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        fds_[0] = out[0];
        fds_[1] = err[0];
        for (int fd : fds_) fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    ~ProcessRunner() {
        waitExit(0);
        for (int fd : fds_) close(fd);
    }

    void sendSignal(int signal) {
        if (pid_ > 0 && !exited_) kill(pid_, signal);
    }

    // Index of the first standard output line from line `from` on that contains `text`; -1 when none
    // came within `timeoutMs` or the output ended without one.
    int waitForLine(const std::string& text, int timeoutMs, size_t from = 0) {
        for (int waited = 0;; waited += kPollMs) {
            const bool open = pump();
            for (size_t i = from; i < lines_[0].size(); ++i) {
                if (lines_[0][i].find(text) != std::string::npos) return static_cast<int>(i);
            }
            if (!open || waited >= timeoutMs) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
        }
    }

    // The exit status, 128 + signal number when a signal ended it, or -1 when it was still running
    // after `timeoutMs` (it is killed then). All its output is read by the return.
    int waitExit(int timeoutMs) {
        int status = 0, code = -1;
        if (pid_ <= 0 || exited_) return code;
        for (int waited = 0; code < 0 && waited <= timeoutMs; waited += kPollMs) {
            pump();
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
            }
        }
        if (code < 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        exited_ = true;
        for (int i = 0; pump() && i < 1000; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return code;
    }

    const std::vector<std::string>& out() const { return lines_[0]; }
    const std::vector<std::string>& err() const { return lines_[1]; }
    // Standard output lines whose text (after the time and level) ends with `message`.
    size_t count(const std::string& message) const {
        size_t n = 0;
        for (const std::string& l : out()) n += endsWith(l, message);
        return n;
    }
    // True when each message ends some line and the first lines ending with them come in this order.
    bool inOrder(const std::vector<std::string>& messages) const {
        size_t previous = 0;
        for (size_t m = 0; m < messages.size(); ++m) {
            size_t i = 0;
            while (i < out().size() && !endsWith(out()[i], messages[m])) ++i;
            if (i == out().size() || (m > 0 && i <= previous)) return false;
            previous = i;
        }
        return true;
    }
    std::string dump() const {
        std::string text;
        for (int i = 0; i < 2; ++i) {
            text += i == 0 ? "--- stdout\n" : "--- stderr\n";
            for (const std::string& l : lines_[i]) text += l + "\n";
        }
        return text;
    }

private:
    static constexpr int kPollMs = 10;

    // Moves what the program wrote so far into the line lists; false once both outputs are closed.
    bool pump() {
        char buffer[4096];
        for (int i = 0; i < 2; ++i) {
            while (fds_[i] >= 0) {
                const ssize_t n = read(fds_[i], buffer, sizeof(buffer));
                if (n < 0 && errno == EINTR) continue;
                if (n < 0) break;  // nothing more for now
                if (n == 0) {
                    close(fds_[i]);
                    fds_[i] = -1;
                    break;
                }
                partial_[i].append(buffer, static_cast<size_t>(n));
                for (size_t nl; (nl = partial_[i].find('\n')) != std::string::npos; partial_[i].erase(0, nl + 1)) {
                    lines_[i].push_back(partial_[i].substr(0, nl));
                }
            }
        }
        return fds_[0] >= 0 || fds_[1] >= 0;
    }

    pid_t pid_ = -1;
    bool exited_ = false;
    int fds_[2] = {-1, -1};
    std::string partial_[2];
    std::vector<std::string> lines_[2];
};
