// Memory for whole pictures.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace orv::preview {

struct FreeBuffer {
    void operator()(uint8_t* p) const { std::free(p); }
};
using Buffer = std::unique_ptr<uint8_t[], FreeBuffer>;

// Uninitialised memory for `bytes`; throws std::bad_alloc when there is none.
// Large buffers are placed on huge-page boundaries and offered to the kernel
// for huge pages: a decoded picture is written once from start to end, and
// thousands of small page faults would cost about as much as resampling it.
Buffer allocate_buffer(size_t bytes);

}  // namespace orv::preview
