// A resident of the real ExifTool gives what fresh child runs give: the same
// output for odd file names, the same envelopes for names relative to a
// working folder that changes and for every corpus file. And residents end
// with their host, however it ends: ExifTool in its stay-open mode does not
// leave when its input closes, so without care an orphaned perl would be
// left running for every host that was killed.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include <gtest/gtest.h>

#include "exiftool/child.hpp"
#include "exiftool/command.hpp"
#include "orv_ql.h"
#include "exiftool/resident.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

extern char** environ;

namespace {

class ResidentExifTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(orv_ql_init_resident(staged_exiftool().c_str())); }
    TempDir tmp;
};

}  // namespace

TEST_F(ResidentExifTool, OddFileNamesGiveTheOutputOfAFreshProcess) {
    // Below the C interface names need not be UTF-8; -FileName shows each
    // name as ExifTool read it. File dates are left out: reading a file
    // moves its access time.
    const std::string source = read_file(corpus("exiftool-t/Nikon.nef"));
    for (const std::string name : {"two\nlines.nef", "#hash.nef", "  lead.nef", "\ttab.nef", "a$b@c.nef", " $x.nef",
                                   "back\\nslash.nef", "trail \r.nef", "caf\xe9 \xff.nef", "#\xfe\n.nef", " -= x.nef"}) {
        write_file(tmp / name, source);
        const std::vector<std::string> args{"-j", "-g", "-n", "-EXIF:all", "-FileName", (tmp / name).string()};
        const ExifToolRun run{staged_exiftool().string(), nullptr, args};
        const auto resident = resident::run_exiftool(run);
        const auto fresh = run_child("/usr/bin/perl", run.argv());
        ASSERT_TRUE(resident && fresh) << name;
        EXPECT_NE(fresh->out.find("NIKON"), std::string::npos) << name;
        EXPECT_EQ(resident->out, fresh->out) << name;
        EXPECT_EQ(resident->err, fresh->err) << name;
        EXPECT_EQ(resident->wait_status, fresh->wait_status) << name;
    }
}

TEST_F(ResidentExifTool, RelativeNamesFollowTheCallersWorkingFolder) {
    fs::create_directories(tmp / "a");
    fs::create_directories(tmp / "b");
    fs::copy_file(corpus("exiftool-t/Canon1DmkIII.jpg"), tmp / "a" / "photo.jpg");
    fs::copy_file(corpus("exiftool-t/Nikon.nef"), tmp / "b" / "photo.jpg");
    const fs::path before = fs::current_path();
    for (const char* folder : {"a", "b", "a"}) {
        fs::current_path(tmp / folder);
        const std::string envelope = inspect_text("photo.jpg");
        EXPECT_EQ(envelope, inspect_as_children(ORVQL_ORV_QL, "photo.jpg")) << folder;
        EXPECT_NE(envelope.find(std::string(folder) == "a" ? "Canon" : "NIKON"), std::string::npos) << envelope;
    }
    fs::current_path(before);
}

TEST(ResidentCorpus, EveryFileGivesTheEnvelopeOfChildRuns) {
    std::vector<std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(corpus())) {
        if (e.is_regular_file() && e.path().filename() != "README.md") files.push_back(e.path().string());
    }
    std::sort(files.begin(), files.end());
    ASSERT_GT(files.size(), 300u);
    // orv-ql's lines for every file. Whole tool runs here, not single
    // ExifTool runs: far longer than one may take.
    const auto envelopes = [&](std::vector<std::string> args) {
        args.insert(args.end(), files.begin(), files.end());
        const auto run = run_program(ORVQL_ORV_QL, args, std::chrono::hours(1));
        EXPECT_TRUE(run && run->success()) << (run ? run->err : run.error().message);
        std::vector<std::string> lines;
        std::istringstream in(run ? run->out : "");
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    };
    const auto expected = envelopes({"inspect"}), seen = envelopes({"--resident", "inspect"});
    ASSERT_EQ(expected.size(), files.size());
    ASSERT_EQ(seen.size(), files.size());
    size_t differing = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        if (seen[i] != expected[i] && ++differing <= 5) ADD_FAILURE() << files[i] << "\n" << seen[i] << "\n" << expected[i];
    }
    EXPECT_EQ(differing, 0u);
}

namespace {

// Live (not zombie) processes whose command line mentions `marker`.
std::vector<int> processes_running(const std::string& marker) {
    std::vector<int> found;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const int pid = std::stoi(name);
        const std::string state = process_state(pid);
        if (state != "" && state != "Z" && read_file(e.path() / "cmdline").find(marker) != std::string::npos) {
            found.push_back(pid);
        }
    }
    return found;
}

}  // namespace

TEST(HostEnd, ResidentsLeaveWithAHostThatExitsOrIsKilledMidRun) {
    // A copy of the fake under a name of its own, so its processes can be told apart.
    TempDir tmp;
    FakeExifTool fake;
    const fs::path script = tmp / "exiftool-of-this-test";
    fs::copy_file(FakeExifTool::script(), script);
    fs::permissions(script, fs::perms::owner_all);
    fake.on({"-ver"}, {.out = "12.57\n"});
    const auto start_host = [&](const std::string& photo) {
        write_file(tmp / photo, "not really");
        const std::vector<std::string> args = {ORVQL_ORV_QL, "--resident", "--exiftool", script.string(), "inspect",
                                               (tmp / photo).string()};
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        return pid;
    };
    const auto none_left = [&] { return eventually([&] { return processes_running(script.string()).empty(); }); };

    fake.on({"-n", (tmp / "done.jpg").string()}, {.out = "[]"});
    pid_t host = start_host("done.jpg");
    int status = 0;
    ASSERT_EQ(::waitpid(host, &status, 0), host);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fake.starts().empty()) << "the host ran its commands through residents";
    EXPECT_TRUE(none_left()) << "after an exit";

    // Killed once its tag read is with its resident.
    fake.on({"-n", (tmp / "stuck.jpg").string()}, {.sleep_seconds = 60});
    host = start_host("stuck.jpg");
    ASSERT_TRUE(eventually([&] {
        const auto runs = fake.runs();
        return std::any_of(runs.begin(), runs.end(), [&](const auto& run) { return run.back() == (tmp / "stuck.jpg").string(); });
    }));
    ASSERT_FALSE(processes_running(script.string()).empty());
    ASSERT_EQ(::kill(host, SIGKILL), 0);
    ::waitpid(host, nullptr, 0);
    EXPECT_TRUE(none_left()) << "after a kill";
}
