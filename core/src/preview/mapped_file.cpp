#include "mapped_file.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <utility>

#include "unique_fd.hpp"

namespace orv::preview {

MappedFile::MappedFile(MappedFile&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        this->~MappedFile();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

MappedFile::~MappedFile() {
    if (data_) ::munmap(const_cast<uint8_t*>(data_), size_);
}

std::optional<MappedFile> map_file(const std::string& path) {
    // O_NONBLOCK keeps the open itself from waiting on a FIFO.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    if (st.st_size < 0 || static_cast<uint64_t>(st.st_size) > kMaxDirectFileBytes) return std::nullopt;
    MappedFile file;
    if (st.st_size == 0) return file;  // nothing to map; no decoder accepts it
    void* p = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (p == MAP_FAILED) return std::nullopt;
    file.data_ = static_cast<const uint8_t*>(p);
    file.size_ = static_cast<size_t>(st.st_size);
    // The decoders read front to back.
    ::madvise(p, file.size_, MADV_SEQUENTIAL);
    return file;
}

}  // namespace orv::preview
