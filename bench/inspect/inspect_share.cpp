// How much of an inspection is spent outside ExifTool: JSON parsing,
// normalisation, maker-note and focus extraction, serialisation.
//
// The runner hook first forwards every ExifTool run to a real child process
// and records its output; then it replays the recordings instantly, so timing
// the same inspection again measures only our own work.
//
//   inspect_share EXIFTOOL_SCRIPT FILE [ROUNDS]
// prints: real_ms=<median> own_ms=<median> share_percent=<own/real*100>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "exiftool/child.hpp"
#include "exiftool/command.hpp"
#include "exiftool/state.hpp"
#include "metadata/inspect.hpp"

namespace {

bool g_replay = false;
std::map<std::vector<std::string>, orv::RunOutput> g_recorded;

orv::RunResult bench_runner(const orv::ExifToolRun& run_args) {
    const std::vector<std::string> args = run_args.argv();
    if (g_replay) {
        const auto it = g_recorded.find(args);
        if (it == g_recorded.end()) return orv::fail(orv::IoError{"not recorded"});
        return it->second;
    }
    auto run = orv::run_child("/usr/bin/perl", args);
    if (run) g_recorded[args] = run.value();
    return run;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double time_ms(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: inspect_share EXIFTOOL_SCRIPT FILE [ROUNDS]\n");
        return 2;
    }
    const std::string file = argv[2];
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 10;
    orv::process::testing::set_exiftool_script(argv[1]);
    orv::process::testing::set_exiftool_runner(&bench_runner);

    std::string real_json, own_json;
    std::vector<double> real, own;
    for (int i = 0; i < rounds; ++i) {
        real.push_back(time_ms([&] { real_json = orv::envelope_json(orv::inspect(file)); }));
    }
    g_replay = true;
    for (int i = 0; i < rounds * 50; ++i) {
        own.push_back(time_ms([&] { own_json = orv::envelope_json(orv::inspect(file)); }));
    }
    if (real_json != own_json) {
        std::fprintf(stderr, "replayed inspection differs from the real one\n");
        return 1;
    }
    const double r = median(real), o = median(own);
    std::printf("real_ms=%.3f own_ms=%.4f share_percent=%.3f\n", r, o, o / r * 100);
    return 0;
}
