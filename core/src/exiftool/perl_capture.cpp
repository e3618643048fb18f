#include "exiftool/perl_capture.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace orv::perl {

int create_capture_file(const char* name, int& err) {
    int fd = ::memfd_create(name, MFD_CLOEXEC);
    if (fd < 0) {
        err = errno;
        return -1;
    }
    if (fd <= 2) {
        const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        err = errno;
        ::close(fd);
        fd = high;
    }
    return fd;
}

std::string read_capture(int fd) {
    std::string data;
    char buf[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buf, sizeof buf, offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {};
        if (n == 0) return data;
        data.append(buf, static_cast<size_t>(n));
        offset += n;
    }
}

Redirection::Redirection(int out_fd, int err_fd) {
    std::fflush(nullptr);
    saved_out_ = ::fcntl(1, F_DUPFD_CLOEXEC, 3);
    saved_err_ = ::fcntl(2, F_DUPFD_CLOEXEC, 3);
    active_ = saved_out_ >= 0 && saved_err_ >= 0 && ::dup2(out_fd, 1) >= 0 && ::dup2(err_fd, 2) >= 0;
}

void Redirection::end() {
    std::fflush(nullptr);
    if (saved_out_ >= 0) {
        ::dup2(saved_out_, 1);
        ::close(saved_out_);
        saved_out_ = -1;
    }
    if (saved_err_ >= 0) {
        ::dup2(saved_err_, 2);
        ::close(saved_err_);
        saved_err_ = -1;
    }
}

}  // namespace orv::perl
