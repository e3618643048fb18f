// A picture file's bytes, mapped rather than read: the decoders only bring
// in the pages they look at, and those pages stay the kernel's file cache.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace orv::preview {

// The largest JPEG, PNG or TIFF file decoded directly: 1 GiB, more than a
// picture at the pixel limit takes in 8-bit samples stored uncompressed.
// Larger files are refused before anything of them is read.
inline constexpr uint64_t kMaxDirectFileBytes = uint64_t{1} << 30;

class MappedFile {
public:
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    ~MappedFile();

    std::span<const uint8_t> bytes() const { return {data_, size_}; }

private:
    friend std::optional<MappedFile> map_file(const std::string& path);
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// The file's bytes as its size was when opened, or nothing when it cannot
// be opened, is not a regular file (a FIFO would block, a device never end)
// or is above kMaxDirectFileBytes. Bytes a writer appends later are not
// seen; a file cut short while it is decoded is not supported.
std::optional<MappedFile> map_file(const std::string& path);

}  // namespace orv::preview
