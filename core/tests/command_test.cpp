// How ExifTool is run as a child: its command line, the runner it goes
// through, and what the child gets and gives back.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "exiftool/child.hpp"
#include "exiftool/child_io.hpp"
#include "exiftool/command.hpp"
#include "exiftool/lane.hpp"
#include "exiftool/limits.hpp"
#include "exiftool/state.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

TEST(Command, ExiftoolFromPathUntilAScriptMakesItPerlPlusScript) {
    EXPECT_EQ(exiftool_command().program(), "exiftool");
    EXPECT_FALSE(exiftool_command().script());
    EXPECT_TRUE(exiftool_command().argv().empty());
    process::testing::set_exiftool_script("/opt/et/exiftool");
    process::testing::set_exiftool_script("/other/exiftool");  // the first value stays
    auto cmd = exiftool_command();
    cmd.arg("-j").arg("a.jpg");
    EXPECT_EQ(cmd.program(), "/usr/bin/perl");
    EXPECT_EQ(cmd.script(), "/opt/et/exiftool");
    EXPECT_EQ(cmd.argv(), (std::vector<std::string>{"/opt/et/exiftool", "-j", "a.jpg"}));
}

namespace {
std::vector<std::string> g_runner_args;
RunResult recording_runner(const ExifToolRun& run) {
    g_runner_args = run.argv();
    return RunOutput{0, "from runner", ""};
}
}  // namespace

TEST(Command, RunnerIsUsedOnlyForScriptCommands) {
    FakeExifTool fake;
    fake.on({"-ver"}, {.out = "from child"});
    process::testing::set_exiftool_runner(&recording_runner);

    // A runner alone does not divert "exiftool" commands.
    auto child = exiftool_command().arg("-ver").output();
    ASSERT_TRUE(child);
    EXPECT_EQ(child->out, "from child");
    EXPECT_TRUE(g_runner_args.empty());

    process::testing::set_exiftool_script("/opt/et/exiftool");
    auto inproc = exiftool_command().arg("-ver").arg("x y").output();
    ASSERT_TRUE(inproc);
    EXPECT_EQ(inproc->out, "from runner");
    EXPECT_EQ(g_runner_args, (std::vector<std::string>{"/opt/et/exiftool", "-ver", "x y"}));
    EXPECT_EQ(fake.runs().size(), 1u);
}

TEST(ChildRunner, ArgumentsReachTheChildAsBytesWithoutAShell) {
    FakeExifTool fake;
    TempDir tmp;
    const std::string not_utf8 = "caf\xE9 \xFF.jpg";
    const std::string shelly = "$(touch " + (tmp / "pwned").string() + "); *";
    const std::string newline = "two\nlines";
    auto run = exiftool_command().arg(not_utf8).arg(shelly).arg(newline).arg("").output();
    ASSERT_TRUE(run);
    const auto runs = fake.runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_EQ(runs[0], (std::vector<std::string>{not_utf8, shelly, newline, ""}));
    EXPECT_FALSE(fs::exists(tmp / "pwned"));
}

TEST(ChildRunner, LargeOutputOnBothStreamsAtOnceDoesNotDeadlock) {
    FakeExifTool fake;
    std::string out(6 << 20, 'o'), err(5 << 20, 'e');
    out[12345] = '\0';
    out.back() = '!';
    err.front() = '?';
    fake.on({"-big"}, {.out = out, .err = err, .exit_code = 3});
    auto run = exiftool_command().arg("-big").output();
    ASSERT_TRUE(run);
    EXPECT_EQ(run->out, out);
    EXPECT_EQ(run->err, err);
    EXPECT_EQ(run->exit_code(), 3);
    EXPECT_FALSE(run->success());
}

TEST(ChildRunner, StandardInputIsEmptyNotInherited) {
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    ASSERT_EQ(::write(p[1], "secret\n", 7), 7);
    ::close(p[1]);
    const int saved = ::dup(0);
    ::dup2(p[0], 0);
    ::close(p[0]);
    auto run = run_child("/bin/sh", {"-c", "if read x; then echo got:$x; else echo eof; fi"});
    ::dup2(saved, 0);
    ::close(saved);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->out, "eof\n");
}

TEST(ChildRunner, OneThatOverstaysItsLimitsIsStoppedAndFails) {
    FakeExifTool fake;
    fake.on({"-hang"}, {.sleep_seconds = 30});
    fake.on({"-hog"}, {.out = "never", .hog_mib = 1536});
    fake.on({"-chatty"}, {.out = std::string(3 << 20, 'x')});
    Limits tight;
    tight.run_deadline = std::chrono::seconds(1);
    tight.max_output = 1 << 20;
    set_limits_for_testing(tight);
    const struct {
        const char* option;
        const char* error;
    } cases[] = {
        {"-hang", "ExifTool gave no answer within 1 s"},
        {"-hog", "too large or too complex to read"},     // the address-space limit
        {"-chatty", "too large or too complex to read"},  // the output limit
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        auto run = exiftool_command().arg(c.option).output();
        ASSERT_FALSE(run);
        EXPECT_EQ(run.error().message, c.error);
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "no child is left to reap";
    }
    set_limits_for_testing(Limits{});
}

TEST(ChildRunner, ThePrefetchLaneHasItsOwnDeadlineAndAbandonedRequestsStopRunning) {
    FakeExifTool fake;
    fake.on({"-slow"}, {.sleep_seconds = 3});
    Limits limits;
    limits.background_deadline = std::chrono::seconds(1);
    set_limits_for_testing(limits);
    set_current_lane(Lane::Prefetch);
    const auto prefetched = exiftool_command().arg("-slow").output();
    set_current_lane(Lane::Request);
    ASSERT_FALSE(prefetched);
    EXPECT_EQ(prefetched.error().message, "ExifTool gave no answer within 1 s");
    set_limits_for_testing(Limits{});

    // A request begun before an abandonment runs no more ExifTool; one
    // begun after it does.
    begin_call();
    note_abandonment();
    const auto stale = exiftool_command().arg("-ver").output();
    ASSERT_FALSE(stale);
    EXPECT_EQ(stale.error().message, "abandoned");
    begin_call();
    EXPECT_TRUE(exiftool_command().arg("-ver").output());
}

TEST(Command, FileNamesThatLookLikeOptionsStayFileNames) {
    const struct {
        const char* given;
        const char* passed;
    } cases[] = {
        {"-echo4.jpg", "./-echo4.jpg"},
        {"\xe2\x88\x92" "echo4.jpg", "./\xe2\x88\x92" "echo4.jpg"},  // U+2212, which ExifTool reads as a dash
        {"-", "./-"},
        {"a-b.jpg", "a-b.jpg"},
        {"/tmp/-x.jpg", "/tmp/-x.jpg"},
        {"\xe2\x80\x93" "x.jpg", "\xe2\x80\x93" "x.jpg"},  // an en dash is no option
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        EXPECT_EQ(exiftool_file_argument(c.given), c.passed);
    }
}
