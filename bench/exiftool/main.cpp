// orvql-bench-exiftool MODE SCRIPT N ARGS...
//
// Runs the ExifTool command line ARGS N times, one after another, the way a
// long-lived host does:
//   inproc  in-process, after orv_ql_init(SCRIPT)
//   child   as a child process: /usr/bin/perl SCRIPT ARGS
//   rss     in-process; prints the resident set growth in MB between the
//           end of the first 10 runs and the end of all N
// Every run must succeed and give the same output as the first; the program
// fails otherwise, so a broken run cannot pass for a fast one.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "exiftool/child.hpp"
#include "exiftool/command.hpp"
#include "orv_ql.h"

namespace {

long rss_kb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

int usage() {
    std::fprintf(stderr, "usage: orvql-bench-exiftool inproc|child|rss SCRIPT N ARGS...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 5) return usage();
    const std::string mode = argv[1];
    const std::string script = argv[2];
    const int n = std::atoi(argv[3]);
    const std::vector<std::string> args(argv + 4, argv + argc);
    if (n < 1 || (mode != "inproc" && mode != "child" && mode != "rss")) return usage();

    if (mode != "child" && !orv_ql_init(script.c_str())) {
        std::fprintf(stderr, "orvql-bench-exiftool: the system Perl library could not be loaded\n");
        return 1;
    }
    auto run_once = [&]() -> orv::RunResult {
        if (mode == "child") {
            std::vector<std::string> full{script};
            full.insert(full.end(), args.begin(), args.end());
            return orv::run_child("/usr/bin/perl", full);
        }
        orv::ExifToolCommand cmd = orv::exiftool_command();
        for (const auto& a : args) cmd.arg(a);
        return cmd.output();
    };

    std::string first;
    long rss_after_warmup = 0;
    double total_s = 0;
    for (int i = 0; i < n; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const orv::RunResult run = run_once();
        total_s += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!run || !run->success()) {
            std::fprintf(stderr, "orvql-bench-exiftool: run %d failed: %s\n", i + 1,
                         run ? run->err.c_str() : run.error().message.c_str());
            return 1;
        }
        if (i == 0) first = run->out;
        if (run->out != first) {
            std::fprintf(stderr, "orvql-bench-exiftool: run %d gave different output\n", i + 1);
            return 1;
        }
        if (i + 1 == std::min(n, 10)) rss_after_warmup = rss_kb();
    }
    if (mode == "rss") {
        const long rss_end = rss_kb();
        std::fprintf(stderr, "rss: %.1f MB after %d runs, %.1f MB after %d\n", rss_after_warmup / 1024.0,
                     std::min(n, 10), rss_end / 1024.0, n);
        std::printf("%.1f\n", static_cast<double>(rss_end - rss_after_warmup) / 1024.0);
    } else {
        std::fprintf(stderr, "%s: %.1f ms per run over %d runs\n", mode.c_str(), total_s * 1000 / n, n);
    }
    return 0;
}
