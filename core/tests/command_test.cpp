#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "exiftool/child.hpp"
#include "exiftool/child_io.hpp"
#include "exiftool/command.hpp"
#include "exiftool/state.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

TEST(Command, WithoutScriptRunsExiftoolFromPath) {
    const auto cmd = exiftool_command();
    EXPECT_EQ(cmd.program(), "exiftool");
    EXPECT_FALSE(cmd.script());
    EXPECT_TRUE(cmd.args().empty());
}

TEST(Command, ScriptMakesItPerlPlusScript) {
    process::testing::set_exiftool_script("/opt/et/exiftool");
    process::testing::set_exiftool_script("/other/exiftool");  // the first value stays
    auto cmd = exiftool_command();
    cmd.arg("-j").arg("a.jpg");
    EXPECT_EQ(cmd.program(), "/usr/bin/perl");
    EXPECT_EQ(cmd.script(), "/opt/et/exiftool");
    EXPECT_EQ(cmd.args(), (std::vector<std::string>{"-j", "a.jpg"}));
}

TEST(Command, ConfigLeadsTheArgumentsWithoutAnyFolder) {
    ScopedEnv tmpdir("TMPDIR", "/nonexistent/tmp");
    ScopedEnv runtime("XDG_RUNTIME_DIR", "/nonexistent/run");
    auto cmd = exiftool_command_with_config();
    cmd.arg("-j");
    ASSERT_EQ(cmd.args().size(), 3u);
    EXPECT_EQ(cmd.args()[0], "-config");
    EXPECT_EQ(cmd.args()[1], "/dev/fd/" + std::to_string(process::look_config()->fd));
    EXPECT_EQ(cmd.args()[2], "-j");
}

namespace {
std::vector<std::string> g_runner_args;
RunResult recording_runner(const std::vector<std::string>& args) {
    g_runner_args = args;
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

TEST(ChildRunner, StatusOfExitAndSignal) {
    FakeExifTool fake;
    fake.on({"-ok"}, {.out = "fine"});
    fake.on({"-killed"}, {.signal = SIGKILL});
    auto ok = exiftool_command().arg("-ok").output();
    ASSERT_TRUE(ok);
    EXPECT_TRUE(ok->success());
    EXPECT_EQ(ok->exit_code(), 0);
    auto killed = exiftool_command().arg("-killed").output();
    ASSERT_TRUE(killed);
    EXPECT_FALSE(killed->success());
    EXPECT_FALSE(killed->exit_code());
}

TEST(ChildRunner, MissingProgramIsAnIoError) {
    auto run = run_child("orvql-no-such-program", {"-ver"});
    ASSERT_FALSE(run);
    EXPECT_EQ(run.error().message, "No such file or directory");
    auto abs = run_child("/nonexistent/dir/exiftool", {});
    ASSERT_FALSE(abs);
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

TEST(ChildRunner, OneThatOverstaysTheDeadlineIsKilledAndFails) {
    FakeExifTool fake;
    fake.on({"-hang"}, {.sleep_seconds = 30});
    set_run_deadline_for_testing(std::chrono::seconds(1));
    auto run = exiftool_command().arg("-hang").output();
    set_run_deadline_for_testing(std::chrono::seconds(60));
    ASSERT_FALSE(run);
    EXPECT_EQ(run.error().message, "ExifTool gave no answer within 1 s");
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "no child is left to reap";
}
