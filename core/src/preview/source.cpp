#include "source.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace orv::preview {

size_t Source::read(uint64_t offset, uint8_t* out, size_t n) const {
    if (n == 0 || offset >= size_) return 0;  // a zero-byte read may come with no buffer
    n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
    if (fd_ < 0) {
        std::memcpy(out, bytes_.data() + offset, n);
        return n;
    }
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

std::optional<std::span<const uint8_t>> Source::in_memory() const {
    if (fd_ >= 0) return std::nullopt;
    return bytes_;
}

std::span<const uint8_t> Source::whole(std::vector<uint8_t>& holder) const {
    if (fd_ < 0) return bytes_;
    holder.resize(static_cast<size_t>(size_));
    holder.resize(read(0, holder.data(), holder.size()));
    return holder;
}

std::optional<DirectFile> open_direct_file(const std::string& path) {
    DirectFile file;
    // O_NONBLOCK keeps the open itself from waiting on a FIFO.
    file.fd_ = UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (file.fd_.get() < 0 || ::fstat(file.fd_.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > kMaxDirectFileBytes) return std::nullopt;
    file.size_ = static_cast<uint64_t>(st.st_size);
    // The decoders read front to back.
    ::posix_fadvise(file.fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    return file;
}

}  // namespace orv::preview
