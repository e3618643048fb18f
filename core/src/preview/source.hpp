// The encoded bytes a decoder reads: a preview ExifTool printed, held in
// memory, or a picture file read as the decoder goes. A file is read, never
// mapped: a mapped file that another program cuts short while it is decoded
// would kill the process on the next page touched, where a read just comes
// back short and the decoder gives up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "unique_fd.hpp"

namespace orv::preview {

// The largest JPEG, PNG or TIFF file decoded directly: 1 GiB, more than a
// picture at the pixel limit takes in 8-bit samples stored uncompressed.
// Larger files are refused before anything of them is read.
inline constexpr uint64_t kMaxDirectFileBytes = uint64_t{1} << 30;

// A view, valid while the bytes or the file it reads stay open.
class Source {
public:
    explicit Source(std::span<const uint8_t> bytes) : bytes_(bytes), size_(bytes.size()) {}

    // The size when the file was opened; reads may come back shorter.
    uint64_t size() const { return size_; }
    // Copies up to `n` bytes from `offset`; fewer at the end, or where the
    // file has since become shorter.
    size_t read(uint64_t offset, uint8_t* out, size_t n) const;
    // The bytes, when they are in memory.
    std::optional<std::span<const uint8_t>> in_memory() const;
    // The bytes in memory, read whole into `holder` for a file: for
    // decoders that take nothing else.
    std::span<const uint8_t> whole(std::vector<uint8_t>& holder) const;

private:
    friend class DirectFile;
    Source(int fd, uint64_t size) : fd_(fd), size_(size) {}
    std::span<const uint8_t> bytes_;
    int fd_ = -1;
    uint64_t size_ = 0;
};

class DirectFile {
public:
    Source source() const { return Source(fd_.get(), size_); }

private:
    friend std::optional<DirectFile> open_direct_file(const std::string& path);
    UniqueFd fd_;
    uint64_t size_ = 0;
};

// The file opened for reading, or nothing when it cannot be opened, is not
// a regular file (a FIFO would block, a device never end) or is above
// kMaxDirectFileBytes. Bytes a writer appends later are not seen.
std::optional<DirectFile> open_direct_file(const std::string& path);

}  // namespace orv::preview
