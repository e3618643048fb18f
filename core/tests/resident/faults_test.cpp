// The resident runner against the fake exiftool in its stay-open mode: the
// command lines it hands over, and every way a resident can fail it.
#include <signal.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include "exiftool/child_io.hpp"
#include "exiftool/resident.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;
using namespace std::chrono_literals;

namespace {

class Resident : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args) {
        std::vector<std::string> full{FakeExifTool::script().string()};
        full.insert(full.end(), args.begin(), args.end());
        return resident::run_exiftool(full);
    }
    // The single letter of /proc/PID/stat: R, S, Z, ... or nothing once gone.
    static std::string state_of(int pid) {
        const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        return close == std::string::npos ? "" : stat.substr(close + 2, 1);
    }
    static bool wait_for(const std::function<bool()>& condition) {
        for (int i = 0; i < 1000 && !condition(); ++i) std::this_thread::sleep_for(10ms);
        return condition();
    }
    void expect_works_again() {
        const auto ok = run({"-ok"});
        ASSERT_TRUE(ok) << ok.error().message;
        EXPECT_EQ(ok->out, "fine");
    }

    FakeExifTool fake;
    void SetUp() override { fake.on({"-ok"}, {.out = "fine"}); }
    void TearDown() override {
        // Residents outlive a test; the next one must not meet this one's.
        resident::set_idle_exit_for_testing(0ms);
        EXPECT_TRUE(wait_for([] { return resident::live_count() == 0; }));
        resident::set_idle_exit_for_testing(5min);
        set_run_deadline_for_testing(60s);
    }
};

}  // namespace

TEST_F(Resident, HandsOverTheCommandLineAndAnswersLikeAChild) {
    fake.on({"-j", "-g"}, {.out = "[{\"SourceFile\":\"a.jpg\"}]", .err = "Warning: odd\n", .exit_code = 1});
    const auto with_config = run({"-config", "/x/look.config", "-j", "-g", "-n", "a b.jpg"});
    ASSERT_TRUE(with_config) << with_config.error().message;
    EXPECT_EQ(with_config->out, "[{\"SourceFile\":\"a.jpg\"}]");
    EXPECT_EQ(with_config->err, "Warning: odd\n");
    EXPECT_EQ(with_config->exit_code(), 1);
    const auto plain = run({"-b", "-PreviewImage", "#odd\nname.cr2"});
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->exit_code(), 0);

    // Each run is logged with the resident's leading arguments, as a child
    // run would have had them; the two configurations have a resident each.
    const auto runs = fake.runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0], (std::vector<std::string>{"-config", "/x/look.config", "-j", "-g", "-n", "a b.jpg"}));
    EXPECT_EQ(runs[1], (std::vector<std::string>{"-b", "-PreviewImage", "#odd\nname.cr2"}));
    const auto starts = fake.starts();
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0].leading, "-config /x/look.config");
    EXPECT_EQ(starts[1].leading, "");
    EXPECT_EQ(resident::live_count(), 2u);

    // Later runs reuse them.
    expect_works_again();
    EXPECT_EQ(fake.starts().size(), 2u);
}

TEST_F(Resident, AnArgumentNoLineCanCarryRunsAsAChildInstead) {
    const auto run_result = run({"-j", " $HOME.jpg"});
    ASSERT_TRUE(run_result);
    EXPECT_EQ(fake.runs().back(), (std::vector<std::string>{"-j", " $HOME.jpg"}));
    EXPECT_TRUE(fake.starts().empty());
    EXPECT_FALSE(run({"-j", std::string("nul\0.jpg", 8)}));
}

TEST_F(Resident, OneThatDiesMidRunFailsThatRunOnly) {
    fake.on({"-die"}, {.signal = SIGKILL});
    const auto died = run({"-die"});
    ASSERT_FALSE(died);
    EXPECT_EQ(died.error().message, "ExifTool stopped in the middle of a run");
    expect_works_again();
    EXPECT_EQ(fake.starts().size(), 2u);
    EXPECT_EQ(state_of(fake.starts()[0].pid), "") << "reaped";
}

TEST_F(Resident, OneThatOverstaysTheDeadlineIsKilled) {
    set_run_deadline_for_testing(1s);
    fake.on({"-hang"}, {.sleep_seconds = 30});
    const auto hung = run({"-hang"});
    ASSERT_FALSE(hung);
    EXPECT_EQ(hung.error().message, "ExifTool gave no answer within 1 s");
    EXPECT_EQ(state_of(fake.starts()[0].pid), "") << "killed and reaped";
    expect_works_again();
}

TEST_F(Resident, AnAnswerThatIsNotExifToolsIsRefused) {
    fake.on({"-garble"}, {.out = "half", .garble = true});
    const auto garbled = run({"-garble"});
    ASSERT_FALSE(garbled);
    EXPECT_EQ(garbled.error().message, "ExifTool gave an answer that cannot be read");
    expect_works_again();
    EXPECT_EQ(fake.starts().size(), 2u);
}

TEST_F(Resident, OneFoundDeadBeforeTheRunIsReplacedWithoutAnError) {
    expect_works_again();
    const int pid = fake.starts().at(0).pid;
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    ASSERT_TRUE(wait_for([&] { return state_of(pid) == "Z"; }));
    expect_works_again();
    EXPECT_EQ(fake.starts().size(), 2u);
    EXPECT_EQ(state_of(pid), "");
}

TEST_F(Resident, AnIdleOneLeavesAndTheNextRunStartsAnother) {
    resident::set_idle_exit_for_testing(200ms);
    expect_works_again();
    const int pid = fake.starts().at(0).pid;
    ASSERT_TRUE(wait_for([] { return resident::live_count() == 0; }));
    EXPECT_EQ(state_of(pid), "") << "it left and was reaped";
    expect_works_again();
    EXPECT_EQ(fake.starts().size(), 2u);
}

TEST_F(Resident, ConcurrentRunsOfOneConfigurationShareItsResident) {
    fake.on({"-slow"}, {.out = "slow", .sleep_seconds = 1});
    std::vector<std::thread> threads;
    std::vector<std::string> outs(4);
    for (size_t i = 0; i < outs.size(); ++i) {
        threads.emplace_back([&, i] {
            const auto r = run({i % 2 ? "-slow" : "-ok"});
            outs[i] = r ? r->out : r.error().message;
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(outs, (std::vector<std::string>{"fine", "slow", "fine", "slow"}));
    EXPECT_EQ(fake.starts().size(), 1u);
}
