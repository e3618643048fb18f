// Residents end with their host, however it ends: ExifTool in its stay-open
// mode does not leave when its input closes, so without care an orphaned
// perl would be left running for every host that was killed.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "test_support.hpp"

extern char** environ;

using namespace orv::test;
using namespace std::chrono_literals;

namespace {

// Live (not zombie) processes whose command line mentions `marker`.
std::vector<int> processes_running(const std::string& marker) {
    std::vector<int> found;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string cmdline = read_file(e.path() / "cmdline");
        const std::string stat = read_file(e.path() / "stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || stat.substr(close + 2, 1) == "Z") continue;
        if (cmdline.find(marker) != std::string::npos) found.push_back(std::stoi(name));
    }
    return found;
}

// Waits up to ten seconds for a condition.
bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) std::this_thread::sleep_for(10ms);
    return condition();
}

class HostEnd : public ::testing::Test {
protected:
    void SetUp() override {
        // A copy under a name of its own, so its processes can be told apart.
        fs::copy_file(FakeExifTool::script(), script_);
        fs::permissions(script_, fs::perms::owner_all);
        write_file(tmp_ / "photo.jpg", "not really");
        fake_.on({"-ver"}, {.out = "12.57\n"});
    }
    pid_t start_host() {
        const std::vector<std::string> args = {ORVQL_ORV_QL, "--resident", "--exiftool", script_.string(),
                                               "inspect", (tmp_ / "photo.jpg").string()};
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        return pid;
    }
    TempDir tmp_;
    FakeExifTool fake_;
    fs::path script_ = tmp_ / "exiftool-of-this-test";
};

}  // namespace

TEST_F(HostEnd, ResidentsLeaveWithAHostThatExits) {
    fake_.on({"-j", "-g", "-n"}, {.out = "[]"});
    const pid_t host = start_host();
    int status = 0;
    ASSERT_EQ(::waitpid(host, &status, 0), host);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_FALSE(fake_.starts().empty()) << "the host ran its commands through residents";
    EXPECT_TRUE(eventually([&] { return processes_running(script_.string()).empty(); }));
}

TEST_F(HostEnd, ResidentsLeaveWithAHostKilledMidRun) {
    fake_.on({"-j", "-g", "-n"}, {.sleep_seconds = 60});
    const pid_t host = start_host();
    // Wait until the host's tag read is with its resident, then kill the host.
    ASSERT_TRUE(eventually([&] {
        const auto runs = fake_.runs();
        return std::any_of(runs.begin(), runs.end(),
                           [](const auto& run) { return std::find(run.begin(), run.end(), "-n") != run.end(); });
    }));
    ASSERT_FALSE(processes_running(script_.string()).empty());
    ASSERT_EQ(::kill(host, SIGKILL), 0);
    ::waitpid(host, nullptr, 0);
    EXPECT_TRUE(eventually([&] { return processes_running(script_.string()).empty(); }));
}
