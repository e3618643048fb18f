#include "buffer.hpp"

#include <sys/mman.h>

#include <new>

namespace orv::preview {

namespace {
constexpr size_t kHugePage = size_t{2} << 20;
}  // namespace

Buffer allocate_buffer(size_t bytes) {
    void* p = nullptr;
    if (bytes >= kHugePage) {
        const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
        p = std::aligned_alloc(kHugePage, rounded);
#ifdef MADV_HUGEPAGE
        if (p) ::madvise(p, rounded, MADV_HUGEPAGE);  // advice only; failure changes nothing
#endif
    } else {
        p = std::malloc(bytes == 0 ? 1 : bytes);
    }
    if (!p) throw std::bad_alloc();
    return Buffer(static_cast<uint8_t*>(p));
}

}  // namespace orv::preview
