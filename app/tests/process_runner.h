// process_runner: starts the real program with its own environment, collects its output lines, and
// waits for lines or its exit with bounded waits.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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
                if (e.second.empty()) {
                    unsetenv(e.first.c_str());
                } else {
                    setenv(e.first.c_str(), e.second.c_str(), 1);
                }
            }
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            // The child starts with default signal handling whatever the test harness set.
            signal(SIGTERM, SIG_DFL);
            signal(SIGINT, SIG_DFL);
            signal(SIGUSR1, SIG_DFL);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(out[1]);
        close(err[1]);
        reader_ = std::thread([this, o = out[0], e = err[0]] { readLoop(o, e); });
    }

    ~ProcessRunner() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
        if (reader_.joinable()) reader_.join();
    }

    bool started() const { return pid_ > 0; }
    void sendSignal(int signal) {
        if (pid_ > 0 && !exited_) kill(pid_, signal);
    }

    // Waits until a line of standard output contains `text` (searching from line `from`); returns
    // its index or -1 after `timeoutMs`.
    int waitForLine(const std::string& text, int timeoutMs, size_t from = 0) {
        std::unique_lock<std::mutex> lock(mutex_);
        int found = -1;
        cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (size_t i = from; i < out_.size(); ++i) {
                if (out_[i].find(text) != std::string::npos) {
                    found = static_cast<int>(i);
                    return true;
                }
            }
            return closed_;
        });
        return found;
    }

    // Waits for the exit; the exit status, or -1 after `timeoutMs` (the process is then killed), or
    // 128 + signal number when a signal ended it.
    int waitExit(int timeoutMs) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                if (reader_.joinable()) reader_.join();
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        exited_ = true;
        if (reader_.joinable()) reader_.join();
        return -1;
    }

    std::vector<std::string> out() {
        std::lock_guard<std::mutex> lock(mutex_);
        return out_;
    }
    std::vector<std::string> err() {
        std::lock_guard<std::mutex> lock(mutex_);
        return err_;
    }
    // Standard output lines whose text (after the time and level) ends with `message`.
    std::vector<std::string> lines(const std::string& message) {
        std::vector<std::string> found;
        for (const std::string& l : out()) {
            if (l.size() >= message.size() && l.compare(l.size() - message.size(), message.size(), message) == 0) {
                found.push_back(l);
            }
        }
        return found;
    }
    // Indices of the first line ending with each message, in order of the messages; -1 when missing.
    std::vector<int> order(const std::vector<std::string>& messages) {
        const std::vector<std::string> all = out();
        std::vector<int> at;
        for (const std::string& m : messages) {
            int index = -1;
            for (size_t i = 0; i < all.size(); ++i) {
                if (all[i].size() >= m.size() && all[i].compare(all[i].size() - m.size(), m.size(), m) == 0) {
                    index = static_cast<int>(i);
                    break;
                }
            }
            at.push_back(index);
        }
        return at;
    }
    std::string dump() {
        std::string text = "--- stdout\n";
        for (const std::string& l : out()) text += l + "\n";
        text += "--- stderr\n";
        for (const std::string& l : err()) text += l + "\n";
        return text;
    }

private:
    void readLoop(int outFd, int errFd) {
        std::string partial[2];
        pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
        int open = 2;
        while (open > 0) {
            if (poll(fds, 2, 200) < 0 && errno != EINTR) break;
            for (int i = 0; i < 2; ++i) {
                if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
                char buffer[4096];
                const ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
                if (n <= 0) {
                    close(fds[i].fd);
                    fds[i].fd = -1;
                    --open;
                    continue;
                }
                partial[i].append(buffer, static_cast<size_t>(n));
                size_t nl;
                std::lock_guard<std::mutex> lock(mutex_);
                while ((nl = partial[i].find('\n')) != std::string::npos) {
                    (i == 0 ? out_ : err_).push_back(partial[i].substr(0, nl));
                    partial[i].erase(0, nl + 1);
                }
                cv_.notify_all();
            }
        }
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        cv_.notify_all();
    }

    pid_t pid_ = -1;
    bool exited_ = false;
    std::thread reader_;
    std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<std::string> out_, err_;
    bool closed_ = false;
};
