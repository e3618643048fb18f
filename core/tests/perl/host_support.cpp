#include <sys/resource.h>

#include <gtest/gtest.h>

#include "host_support.hpp"
#include "exiftool/child.hpp"
#include "orv_ql.h"

namespace orv::test {

bool init_with_staged_exiftool() {
    return orv_ql_init(staged_exiftool().c_str());
}


RunResult run_as_child(const std::vector<std::string>& args) {
    return run_child("/usr/bin/perl", args);
}

fs::path write_script(const fs::path& dir, const std::string& name, const std::string& text) {
    const fs::path path = dir / name;
    write_file(path, text);
    return path;
}

::testing::AssertionResult same_run(const RunResult& a, const RunResult& b) {
    if (!a || !b) {
        return ::testing::AssertionFailure() << "run failed: " << (a ? "" : a.error().message) << " / "
                                             << (b ? "" : b.error().message);
    }
    if (a->wait_status != b->wait_status) {
        return ::testing::AssertionFailure() << "wait status " << a->wait_status << " vs " << b->wait_status
                                             << "\nstderr: " << a->err << "\nvs: " << b->err;
    }
    if (a->out != b->out) return ::testing::AssertionFailure() << "stdout:\n" << a->out << "\nvs:\n" << b->out;
    if (a->err != b->err) return ::testing::AssertionFailure() << "stderr:\n" << a->err << "\nvs:\n" << b->err;
    return ::testing::AssertionSuccess();
}

double children_cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

FakePerlAndExifTool::FakePerlAndExifTool() {
    fs::create_symlink(script(), dir() / "bin" / "perl");
}

}  // namespace orv::test
