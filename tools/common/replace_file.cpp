#include "replace_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>

namespace orv::tools {
namespace {

int write_all(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

int write_in_place(const std::string& path, std::string_view bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return errno;
    int err = write_all(fd, bytes);
    if (::close(fd) != 0 && err == 0) err = errno;
    return err;
}

// Whether the name is to be written through rather than replaced.
bool write_through(const std::string& path) {
    struct stat link {}, target {};
    if (::lstat(path.c_str(), &link) != 0) return false;
    if (S_ISREG(link.st_mode)) return false;
    if (!S_ISLNK(link.st_mode)) return true;  // a device or pipe named directly
    if (::stat(path.c_str(), &target) != 0 || S_ISREG(target.st_mode)) return false;
    return link.st_uid == ::geteuid() || link.st_uid == 0;
}

// "." + the name + ".XXXXXX", the name cut short when that would be longer
// than the folder allows a name to be.
std::string temporary_name(const std::string& dir, const std::string& name) {
    const long limit = ::pathconf(dir.c_str(), _PC_NAME_MAX);
    const size_t longest = limit > 0 ? static_cast<size_t>(limit) : NAME_MAX;
    constexpr size_t kAround = 8;  // the dot before and ".XXXXXX" after
    const size_t kept = longest > kAround ? std::min(name.size(), longest - kAround) : 0;
    return "." + name.substr(0, kept) + ".XXXXXX";
}

mode_t creation_mode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

}  // namespace

bool is_special(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode);
}

int replace_file(const std::string& path, std::string_view bytes, Special special) {
    if (special == Special::Refuse) {
        if (is_special(path)) return EINVAL;
    } else if (write_through(path)) {
        return write_in_place(path, bytes);
    }

    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = (slash == std::string::npos ? "" : dir) + temporary_name(dir, name);
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return errno;
    int err = write_all(fd, bytes);
    if (err == 0 && ::fchmod(fd, creation_mode()) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) ::unlink(temp.c_str());
    return err;
}

}  // namespace orv::tools
