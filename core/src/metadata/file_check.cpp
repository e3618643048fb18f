#include "metadata/file_check.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "unique_fd.hpp"

namespace orv {
namespace {

std::string reason(int err, const std::string& path) {
    std::string text = std::strerror(err);
    if (!text.empty()) text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text + ": " + path;
}

bool nothing_there(int err) {
    return err == ENOENT || err == ENOTDIR;
}

}  // namespace

std::optional<std::string> reason_not_to_read(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (nothing_there(errno)) return std::nullopt;
        return reason(errno, path);
    }
    if (!S_ISREG(st.st_mode)) return "not a regular file: " + path;
    // O_NONBLOCK: a name swapped for a FIFO since the stat must not hold us.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) return reason(errno, path);
    return std::nullopt;
}

std::optional<std::string> reason_missing(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && nothing_there(errno)) return "no such file: " + path;
    return std::nullopt;
}

}  // namespace orv
