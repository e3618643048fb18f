// Reading a picture file whole.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "buffer.hpp"

namespace orv::preview {

struct FileBytes {
    Buffer data;
    size_t size = 0;
    std::span<const uint8_t> bytes() const { return {data.get(), size}; }
};

// The file's bytes as its size was when opened (a file still being written
// yields what was there, which the decoders then find incomplete), or
// nothing when it cannot be read, is not a regular file (a FIFO would block,
// a device never end) or is implausibly large.
std::optional<FileBytes> read_file_bytes(const std::string& path);

}  // namespace orv::preview
