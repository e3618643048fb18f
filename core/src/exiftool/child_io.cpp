#include "exiftool/child_io.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace orv {
namespace {

int poll_timeout(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return 0;
    return left > 60'000 ? 60'000 : static_cast<int>(left);
}

}  // namespace

const char* const kTooLarge = "too large or too complex to read";

DrainEnd drain(int out_fd, int err_fd, std::string& out, std::string& err, Clock::time_point deadline,
               size_t max_output, const std::function<bool()>& done) {
    pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
    std::string* sinks[2] = {&out, &err};
    int open_count = 2;
    char buf[65536];
    while (open_count > 0) {
        if (Clock::now() >= deadline) return DrainEnd::Deadline;
        const int ready = ::poll(fds, 2, poll_timeout(deadline));
        if (ready < 0) {
            if (errno == EINTR) continue;
            return DrainEnd::Failed;
        }
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n > 0) {
                sinks[i]->append(buf, static_cast<size_t>(n));
                if (sinks[i]->size() > max_output) return DrainEnd::TooMuch;
                if (done && done()) return DrainEnd::Done;
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                fds[i].fd = -1;
                --open_count;
            }
        }
    }
    return DrainEnd::Closed;
}

bool send_all(int fd, std::string_view data, Clock::time_point deadline) {
    while (!data.empty()) {
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, poll_timeout(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL))) return false;
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

int reap(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return status;
}

int kill_and_reap(pid_t pid) {
    if (pid <= 0) return -1;
    ::kill(pid, SIGKILL);
    return reap(pid);
}

std::optional<IoError> run_failure(DrainEnd end, int wait_status, const std::string& err,
                                   std::chrono::milliseconds deadline) {
    // Perl says "Out of memory!" when the address-space limit refuses it;
    // the processor-time limit ends it with SIGXCPU.
    const bool starved = (wait_status >= 0 && WIFSIGNALED(wait_status) && WTERMSIG(wait_status) == SIGXCPU) ||
                         err.find("Out of memory") != std::string::npos;
    switch (end) {
        case DrainEnd::Deadline: {
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(deadline).count();
            return IoError{"ExifTool gave no answer within " + std::to_string(seconds) + " s"};
        }
        case DrainEnd::TooMuch: return IoError{kTooLarge};
        case DrainEnd::Failed: return IoError{"reading ExifTool's output failed"};
        case DrainEnd::Done:
        case DrainEnd::Closed:
            if (starved && !(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0)) return IoError{kTooLarge};
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace orv
