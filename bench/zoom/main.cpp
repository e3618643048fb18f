// orvql-bench-zoom SCRIPT FILE WIDTH HEIGHT N
//
// The time Z waits for in a warm service: a resident ExifTool already
// running (started and used once before timing), then N full-size regions
// of WIDTH x HEIGHT, each at another place of FILE so that no two ask for
// the same pixels. Prints the median and the slowest in milliseconds; fails
// when a region does not come back whole.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "orv_ql.h"

namespace {

bool zoom_once(const char* file, double cx, double cy, uint32_t width, uint32_t height) {
    orv_ql_zoom_region region{};
    region.centre_x = cx;
    region.centre_y = cy;
    region.width = width;
    region.height = height;
    size_t length = 0;
    uint8_t* bytes = orv_ql_zoom(file, 1, &region, &length);
    if (!bytes) return false;
    orv_ql_free_bytes(bytes, length);
    return length == size_t{region.region_width} * region.region_height * 3 && length > 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: orvql-bench-zoom SCRIPT FILE WIDTH HEIGHT N\n");
        return 2;
    }
    const char* file = argv[2];
    const auto width = static_cast<uint32_t>(std::atoi(argv[3]));
    const auto height = static_cast<uint32_t>(std::atoi(argv[4]));
    const int n = std::atoi(argv[5]);
    if (n < 1 || !orv_ql_init_resident(argv[1])) {
        std::fprintf(stderr, "orvql-bench-zoom: no resident ExifTool, or N < 1\n");
        return 1;
    }
    if (!zoom_once(file, 0.5, 0.5, width, height)) {
        std::fprintf(stderr, "orvql-bench-zoom: no region of %s\n", file);
        return 1;
    }
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        // Places on a diagonal, from near one corner to near the other.
        const double at = 0.2 + 0.6 * i / std::max(1, n - 1);
        const auto start = std::chrono::steady_clock::now();
        if (!zoom_once(file, at, 1 - at, width, height)) {
            std::fprintf(stderr, "orvql-bench-zoom: region %d of %s failed\n", i + 1, file);
            return 1;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::ranges::sort(ms);
    std::printf("median_ms=%.1f max_ms=%.1f\n", ms[ms.size() / 2], ms.back());
    return 0;
}
