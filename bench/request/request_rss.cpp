// Resident memory over many preview requests in one process: each request is
// the interface's background load (inspection, then the picture), exactly as
// a long-running previewer serves it.
//
//   request_rss FILE [REQUESTS]
// prints: rss_start_mb=... rss_end_mb=... growth_mb=... (start is taken after
// a warm-up of 20 requests, so the first-use allocations are not counted)
#include <unistd.h>

#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "Reader.hpp"

namespace {

double rss_mb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: request_rss FILE [REQUESTS]\n");
        return 2;
    }
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    const std::filesystem::path file = argv[1];
    const int requests = argc > 2 ? std::atoi(argv[2]) : 1000;
    if (!orv::ui::Reader::ready()) {
        std::fprintf(stderr, "request_rss: the core could not load the Perl library\n");
        return 1;
    }
    auto request = [&] {
        const auto result = orv::ui::Reader::loadFile(file);
        if (!std::holds_alternative<orv::ui::InspectedFile>(result.outcome) || result.picture.image.isNull()) {
            std::fprintf(stderr, "request_rss: a request failed\n");
            std::exit(1);
        }
    };
    for (int i = 0; i < 20; ++i) request();
    const double start = rss_mb();
    for (int i = 0; i < requests; ++i) request();
    const double end = rss_mb();
    std::printf("rss_start_mb=%.1f rss_end_mb=%.1f growth_mb=%.1f\n", start, end, end - start);
    return 0;
}
