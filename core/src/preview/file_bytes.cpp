#include "file_bytes.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>

#include "unique_fd.hpp"

namespace orv::preview {

namespace {

// Far above any picture under the pixel limit that is worth decoding.
constexpr uint64_t kMaxFileBytes = uint64_t{2} << 30;

}  // namespace

std::optional<FileBytes> read_file_bytes(const std::string& path) {
    // O_NONBLOCK keeps the open itself from waiting on a FIFO.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) return std::nullopt;

    const size_t wanted = static_cast<size_t>(st.st_size);
    FileBytes file;
    try {
        file.data = allocate_buffer(wanted);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    while (file.size < wanted) {
        const ssize_t n = ::read(fd.get(), file.data.get() + file.size, wanted - file.size);
        if (n == 0) break;  // shrunk since fstat
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        file.size += static_cast<size_t>(n);
    }
    return file;
}

}  // namespace orv::preview
