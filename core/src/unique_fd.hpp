// A file descriptor owned by one scope, and errno as an error value.
#pragma once

#include <unistd.h>

#include <cstring>

#include "result.hpp"

namespace orv {

class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.release();
        }
        return *this;
    }
    ~UniqueFd() { reset(); }
    int get() const { return fd_; }
    // Gives the descriptor up without closing it.
    [[nodiscard]] int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
};

inline IoError errno_error(int err) {
    return IoError{std::strerror(err)};
}

}  // namespace orv
