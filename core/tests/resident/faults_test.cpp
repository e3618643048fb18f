// The resident runner against the fake exiftool in its stay-open mode: how
// arguments are written for it, the command lines it hands over, and every
// way a resident can fail it.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "exiftool/argfile.hpp"
#include "exiftool/child_io.hpp"
#include "exiftool/lane.hpp"
#include "exiftool/resident.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;
using namespace std::chrono_literals;

TEST(ArgfileLine, PlainWhereExifToolReadsTheLineAsWritten) {
    const struct {
        std::string arg;
        std::optional<std::string> line;
    } cases[] = {
        {"-j", "-j\n"},
        {"photo one.jpg", "photo one.jpg\n"},
        {"a$b@c.jpg", "a$b@c.jpg\n"},        // only escaped lines mangle these
        {"trailing space ", "trailing space \n"},
        {"x\\ny", "x\\ny\n"},                 // a backslash is only special when escaped
        {"\xff\xfe.jpg", "\xff\xfe.jpg\n"},   // bytes pass as they are
        // Lines ExifTool would change or skip.
        {"", "#[CSTR]\n"},
        {"  lead.jpg", "#[CSTR]  lead.jpg\n"},
        {"\tlead.jpg", "#[CSTR]\tlead.jpg\n"},
        {"#hash.jpg", "#[CSTR]#hash.jpg\n"},
        {"two\nlines.jpg", "#[CSTR]two\\nlines.jpg\n"},
        {"cr\r.jpg", "#[CSTR]cr\\r.jpg\n"},
        {"-TAG = x", "#[CSTR]-TAG = x\n"},
        {"#\\n", "#[CSTR]#\\\\n\n"},
        // Nothing can carry these.
        {std::string("nul\0.jpg", 8), std::nullopt},
        {" $HOME.jpg", std::nullopt},
        {"new\nline@host", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(argfile_line(c.arg), c.line) << c.arg;
}

TEST(ArgfileCommand, EndsWithTheStatusEchoAndTheNumberedExecute) {
    EXPECT_EQ(argfile_command({"-ver"}, 42), "-ver\n-echo4\n{orvql-status 42 ${status}}\n-execute42\n");
    EXPECT_FALSE(argfile_command({"-j", std::string("a\0b", 3)}, 1));
    // Options that would act on the resident's stream of commands.
    for (const char* arg : {"-execute", "-EXECUTE12", "-stay_open", "-@", "-common_args"}) {
        EXPECT_FALSE(argfile_command({"-ver", arg, "x"}, 1)) << arg;
    }
    EXPECT_TRUE(argfile_command({"-executeX"}, 1));
}

namespace {

class Resident : public ::testing::Test {
protected:
    RunResult run(const std::vector<std::string>& args, const LookConfig* config = nullptr) {
        return resident::run_exiftool(ExifToolRun{FakeExifTool::script().string(), config, args});
    }
    static void set_limits(const std::function<void(Limits&)>& change) {
        Limits limits;
        change(limits);
        set_limits_for_testing(limits);
        resident::limits_changed();
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
        set_limits([](Limits& l) { l.idle_exit = 0ms; });
        EXPECT_TRUE(eventually([] { return resident::live_count() == 0; }));
        set_limits([](Limits&) {});
    }
};

}  // namespace

TEST_F(Resident, HandsOverTheCommandLineAndAnswersLikeAChild) {
    fake.on({"-j", "-g"}, {.out = "[{\"SourceFile\":\"a.jpg\"}]", .err = "Warning: odd\n", .exit_code = 1});
    const LookConfig config{-1, "/x/look.config"};
    const auto with_config = run({"-j", "-g", "-n", "a b.jpg"}, &config);
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

TEST_F(Resident, OneThatDiesOrGarblesItsAnswerFailsThatRunOnly) {
    fake.on({"-die"}, {.signal = SIGKILL});
    fake.on({"-garble"}, {.garble = true});
    const std::pair<const char*, const char*> cases[] = {{"-die", "ExifTool stopped in the middle of a run"},
                                                         {"-garble", "ExifTool gave an answer that cannot be read"}};
    for (const auto& [option, error] : cases) {
        const auto failed = run({option});
        ASSERT_FALSE(failed) << option;
        EXPECT_EQ(failed.error().message, error);
        const int pid = fake.starts().back().pid;
        expect_works_again();
        EXPECT_TRUE(eventually([&] { return process_state(pid) == ""; })) << option << ": reaped";
    }
    EXPECT_EQ(fake.starts().size(), 3u);
}

TEST_F(Resident, OneThatOverstaysItsLimitsIsKilledAndTheNextRunWorks) {
    set_limits([](Limits& l) { l.run_deadline = 1s; });
    fake.on({"-hang"}, {.sleep_seconds = 30});
    fake.on({"-hog"}, {.out = "never", .hog_mib = 1536});
    const struct {
        const char* option;
        const char* error;
    } cases[] = {{"-hang", "ExifTool gave no answer within 1 s"}, {"-hog", "too large or too complex to read"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        const auto stopped = run({c.option});
        ASSERT_FALSE(stopped);
        EXPECT_EQ(stopped.error().message, c.error);
        EXPECT_EQ(process_state(fake.starts().back().pid), "") << "killed and reaped";
        expect_works_again();
    }
}

TEST_F(Resident, OneFoundStoppedBeforeTheRunIsReplacedAndNotLeftBehind) {
    expect_works_again();
    const int pid = fake.starts().at(0).pid;
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    ASSERT_TRUE(eventually([&] { return process_state(pid) == "T"; }));
    expect_works_again();
    EXPECT_EQ(fake.starts().size(), 2u);
    EXPECT_EQ(process_state(pid), "");
}

TEST_F(Resident, OnlyItsStandardStreamsAndTheConfigReachIt) {
    const int stray = ::open("/dev/null", O_RDONLY);  // not close-on-exec
    ASSERT_GT(stray, 2);
    const int config_fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    const LookConfig config{config_fd, "/dev/fd/" + std::to_string(config_fd)};
    fake.on({"-fds"}, {.list_fds = true});
    const auto listed = run({"-fds"}, &config);
    ::close(stray);
    ::close(config_fd);
    ASSERT_TRUE(listed) << listed.error().message;
    // Perl opens the script it runs too; nothing else of ours is there.
    std::vector<int> fds;
    std::istringstream in(listed->out);
    for (int fd; in >> fd;) fds.push_back(fd);
    EXPECT_EQ(std::count(fds.begin(), fds.end(), stray), 0) << listed->out;
    EXPECT_EQ(std::count(fds.begin(), fds.end(), config_fd), 1) << listed->out;
    EXPECT_EQ(std::vector<int>(fds.begin(), fds.begin() + 3), (std::vector<int>{0, 1, 2}));
}

TEST_F(Resident, OneThatIgnoresTheRequestToLeaveIsKilled) {
    fake.be_stubborn();
    expect_works_again();
    const int pid = fake.starts().at(0).pid;
    set_limits([](Limits& l) {
        l.idle_exit = 0ms;
        l.leave_grace = 200ms;
    });
    ASSERT_TRUE(eventually([] { return resident::live_count() == 0; }));
    EXPECT_EQ(process_state(pid), "") << "killed and reaped";
}

TEST_F(Resident, PrefetchNeverHoldsARequest) {
    fake.on({"-slow"}, {.out = "slow", .sleep_seconds = 30});
    std::atomic<bool> prefetch_done{false};
    std::string prefetch_error;
    std::thread prefetch([&] {
        set_current_lane(Lane::Prefetch);
        const auto r = run({"-slow"});
        prefetch_error = r ? r->out : r.error().message;
        prefetch_done = true;
    });
    ASSERT_TRUE(eventually([&] { return fake.runs().size() == 1; })) << "the prefetch run is under way";
    expect_works_again();
    EXPECT_FALSE(prefetch_done) << "the request was answered while the prefetch still ran";
    EXPECT_EQ(fake.starts().size(), 2u) << "on a resident of its own";
    ::kill(fake.starts().at(0).pid, SIGKILL);
    prefetch.join();
    EXPECT_EQ(prefetch_error, "ExifTool stopped in the middle of a run");
}

TEST_F(Resident, AbandonedRequestsStopRunningAndWaitingOnesNeverStart) {
    fake.on({"-slow"}, {.out = "slow", .sleep_seconds = 30});
    std::vector<std::string> errors(2);
    std::atomic<int> begun{0};
    std::vector<std::thread> requests;
    for (size_t i = 0; i < errors.size(); ++i) {
        requests.emplace_back([&, i] {
            begin_call();
            ++begun;
            const auto r = run({"-slow"});
            errors[i] = r ? r->out : r.error().message;
        });
    }
    // Both calls began, and one of them is running.
    ASSERT_TRUE(eventually([&] { return begun == 2 && fake.runs().size() == 1; }));
    resident::abandon_requests();
    for (auto& t : requests) t.join();
    EXPECT_EQ(errors, (std::vector<std::string>{"abandoned", "abandoned"}));
    EXPECT_EQ(fake.runs().size(), 1u) << "the waiting one never ran";
    begin_call();
    expect_works_again();
}
