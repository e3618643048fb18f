#include "test_support.hpp"

#include "exiftool/child.hpp"
#include "exiftool/child_io.hpp"
#include "exiftool/spawn.hpp"
#include "orv_ql.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace orv::test {

fs::path corpus(const std::string& relative) {
    return fs::path(ORVQL_CORPUS_DIR) / relative;
}

fs::path staged_exiftool() {
    return fs::path(ORVQL_STAGED_EXIFTOOL);
}

RunResult run_program(const std::string& program, const std::vector<std::string>& args, std::chrono::seconds deadline) {
    Limits unlimited;
    unlimited.address_space = ~uint64_t{0};
    unlimited.cpu_per_run = std::chrono::hours(24);
    auto child = spawn_process({program, args, false, -1, unlimited});
    if (!child) return fail(child.error());
    RunOutput result;
    const DrainEnd end = drain(child->out.get(), child->err.get(), result.out, result.err, Clock::now() + deadline,
                               ~size_t{0});
    const int status = end == DrainEnd::Closed ? reap(child->pid) : kill_and_reap(child->pid);
    if (end != DrainEnd::Closed) return fail(IoError{"the program did not end in time"});
    result.wait_status = status;
    return result;
}

std::string inspect_text(const std::string& path) {
    char* text = orv_ql_inspect(path.c_str());
    std::string s = text ? text : "";
    orv_ql_free_string(text);
    return s;
}

std::string inspect_as_children(const std::string& orv_ql, const std::string& path) {
    auto run = run_program(orv_ql, {"inspect", path});
    if (!run || !run->success()) return "<orv-ql failed>";
    std::string out = run->out;
    if (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

std::string selftest() {
    char* text = orv_ql_selftest();
    std::string s = text ? text : "<null>";
    orv_ql_free_string(text);
    return s;
}

std::string healthy_selftest(const std::string& version) {
    return "status=Some(0) out=\"" + version + "\" err=\"\"";
}

namespace {

// The first line a program prints, or "<PROGRAM failed>".
std::string first_line_of(const std::string& program, const std::vector<std::string>& args) {
    const auto run = run_child(program, args);
    if (!run || !run->success()) return "<" + program + " failed>";
    return run->out.substr(0, run->out.find('\n'));
}

}  // namespace

std::string staged_exiftool_version() {
    return first_line_of("/usr/bin/perl", {staged_exiftool().string(), "-ver"});
}

std::string path_exiftool_version() {
    return first_line_of("exiftool", {"-ver"});
}

std::string system_perl_version() {
    return first_line_of("/usr/bin/perl", {"-e", "print substr($^V, 1), qq{\\n}"});
}

std::string system_perl_major_minor() {
    const std::string v = system_perl_version();
    return v.substr(0, v.find('.', v.find('.') + 1));
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

fs::path write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
    return path;
}

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "orvql-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    if (value) {
        ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

ScopedEnv::~ScopedEnv() {
    if (old_) {
        ::setenv(name_.c_str(), old_->c_str(), 1);
    } else {
        ::unsetenv(name_.c_str());
    }
}

fs::path FakeExifTool::script() {
    return fs::path(ORVQL_FAKE_EXIFTOOL);
}

bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return condition();
}

std::string process_state(int pid) {
    const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close == std::string::npos ? "" : stat.substr(close + 2, 1);
}

double children_cpu_seconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

FakeExifTool::FakeExifTool(bool perl_too) {
    fs::create_directories(dir_.path() / "bin");
    fs::create_directories(dir_.path() / "rules");
    fs::create_symlink(script(), dir_.path() / "bin" / "exiftool");
    if (perl_too) fs::create_symlink(script(), dir_.path() / "bin" / "perl");
    const char* path = std::getenv("PATH");
    path_env_.emplace("PATH", (dir_.path() / "bin").string() + ":" + (path ? path : "/usr/bin:/bin"));
    dir_env_.emplace("FAKE_EXIFTOOL_DIR", dir_.path().string());
}

FakeExifTool::~FakeExifTool() = default;

void FakeExifTool::on(const std::vector<std::string>& match, const Reply& reply) {
    char name[16];
    std::snprintf(name, sizeof name, "%04d", rules_++);
    const fs::path rule = dir_.path() / "rules" / name;
    fs::create_directories(rule);
    std::string joined;
    for (const auto& m : match) joined += m + std::string(1, '\0');
    write_file(rule / "match", joined);
    write_file(rule / "stdout", reply.out);
    write_file(rule / "stderr", reply.err);
    write_file(rule / "status", reply.signal          ? "signal " + std::to_string(reply.signal)
                                : reply.sleep_seconds ? "sleep " + std::to_string(reply.sleep_seconds)
                                : reply.garble        ? std::string("garble")
                                : reply.hog_mib       ? "hog " + std::to_string(reply.hog_mib)
                                : reply.list_fds      ? std::string("fds")
                                                      : "exit " + std::to_string(reply.exit_code));
}

void FakeExifTool::be_stubborn() {
    write_file(dir_.path() / "stubborn", "");
}

std::vector<std::vector<std::string>> FakeExifTool::runs() const {
    const std::string log = read_file(dir_.path() / "log");
    std::vector<std::vector<std::string>> result;
    size_t pos = 0;
    auto read_line_number = [&](char stop) {
        const size_t end = log.find(stop, pos);
        const size_t n = std::stoul(log.substr(pos, end - pos));
        pos = end + 1;
        return n;
    };
    while (pos < log.size()) {
        const size_t count = read_line_number('\n');
        std::vector<std::string> args;
        for (size_t i = 0; i < count; ++i) {
            const size_t len = read_line_number(':');
            args.push_back(log.substr(pos, len));
            pos += len + 1;
        }
        result.push_back(std::move(args));
    }
    return result;
}

std::vector<FakeExifTool::Start> FakeExifTool::starts() const {
    std::vector<Start> result;
    std::istringstream in(read_file(dir_.path() / "starts"));
    for (std::string line; std::getline(in, line);) {
        const size_t space = line.find(' ');
        result.push_back({std::stoi(line.substr(0, space)), space == std::string::npos ? "" : line.substr(space + 1)});
    }
    return result;
}

}  // namespace orv::test
