// What a run may and may not leave behind in the host process: descriptors,
// capture files, signal handling, locale, environment, thread name.
#include <fcntl.h>
#include <langinfo.h>
#include <locale.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

#include <gtest/gtest.h>

#include "exiftool/perl.hpp"
#include "orv_ql.h"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

std::pair<dev_t, ino_t> identity(int fd) {
    struct stat st{};
    if (::fstat(fd, &st) != 0) return {0, 0};
    return {st.st_dev, st.st_ino};
}

// Points descriptor 1 at a file for the scope.
class StdoutToFile {
public:
    explicit StdoutToFile(const fs::path& path) {
        std::fflush(stdout);
        saved_ = ::dup(1);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        ::close(fd);
    }
    ~StdoutToFile() {
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
    }

private:
    int saved_;
};

std::atomic<int> g_signals{0};
void count_signal(int) { ++g_signals; }

}  // namespace

TEST(HostState, RunsHappenInThisProcessLeaveDescriptorsAsTheyWereAndNeedACapture) {
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    TempDir tmp, scripts;
    ScopedEnv env("TMPDIR", tmp.path().string());
    const auto out_before = identity(1), err_before = identity(2);
    const auto pid = perl::run_exiftool({write_file(scripts / "pid.pl", "print $$;").string()});
    ASSERT_TRUE(pid);
    EXPECT_EQ(pid->out, std::to_string(::getpid()));
    const auto broken = perl::run_exiftool({write_file(scripts / "x.pl", "}").string()});
    ASSERT_TRUE(broken);
    EXPECT_FALSE(broken->success());
    EXPECT_EQ(identity(1), out_before);
    EXPECT_EQ(identity(2), err_before);

    const fs::path marker = scripts / "ran";
    const fs::path script = write_file(scripts / "mark.pl", "open my $f, '>', $ARGV[0]; print $f 1;");
    const RunResult nul = perl::run_exiftool({script.string(), std::string("a\0b", 3)});
    ASSERT_FALSE(nul);
    EXPECT_NE(nul.error().message.find("NUL"), std::string::npos);
    // A host without standard error: nothing to restore it from, so no run.
    const int saved = ::dup(2);
    ::close(2);
    const RunResult run = perl::run_exiftool({script.string(), marker.string()});
    const bool still_closed = ::fcntl(2, F_GETFD) == -1;
    ::dup2(saved, 2);
    ::close(saved);
    ASSERT_FALSE(run);
    EXPECT_EQ(run.error().message, "couldn't capture ExifTool's output");
    EXPECT_TRUE(still_closed);
    EXPECT_FALSE(fs::exists(marker));
    EXPECT_TRUE(fs::is_empty(tmp.path())) << "capture files left behind";
}

TEST(HostState, HostOutputBeforeAndAfterARunGoesToTheRealStdout) {
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    TempDir tmp;
    const fs::path script = write_file(tmp / "inside.pl", "print 'inside';");
    RunResult run = fail(IoError{"not run"});
    {
        StdoutToFile redirect(tmp / "stdout.txt");
        std::printf("before|");  // still in stdio's buffer when the run starts
        run = perl::run_exiftool({script.string()});
        std::printf("after|");
        std::fflush(stdout);
        ASSERT_EQ(::write(1, "raw|", 4), 4);
    }
    ASSERT_TRUE(run);
    EXPECT_EQ(run->out, "inside");
    EXPECT_EQ(read_file(tmp / "stdout.txt"), "before|after|raw|");
}

TEST(HostState, CaptureFilesAreAnonymousSoNoNameCanBePlanted) {
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    TempDir elsewhere;
    // Reports what its standard output is, and every descriptor that refers
    // to the host's real stdout, by whether a child would inherit it.
    const fs::path script = write_file(elsewhere / "probe.pl", R"(
        my ($dev, $ino) = @ARGV;
        my $target = readlink "/proc/self/fd/1";
        print "stdout=", ($target =~ m{^/memfd:} ? "anonymous" : $target), "\n";
        my ($kept, $inherited) = (0, 0);
        opendir my $d, "/proc/self/fd" or die;
        for my $fd (grep /^\d+$/, readdir $d) {
            my @t = stat "/proc/self/fd/$fd" or next;
            next unless $t[0] == $dev && $t[1] == $ino;
            open my $info, '<', "/proc/self/fdinfo/$fd" or next;
            my ($flags) = map { /^flags:\s*(\d+)/ ? oct($1) : () } <$info>;
            $flags & 02000000 ? $kept++ : $inherited++;
        }
        print "kept=$kept inherited=$inherited\n";
    )");
    RunResult run = fail(IoError{"not run"});
    {
        StdoutToFile redirect(elsewhere / "real-stdout");
        const auto [dev, ino] = identity(1);
        run = perl::run_exiftool({script.string(), std::to_string(dev), std::to_string(ino)});
    }
    ASSERT_TRUE(run);
    EXPECT_EQ(run->out, "stdout=anonymous\nkept=1 inherited=0\n") << run->err;
}

TEST(HostState, ScriptsNeverTakeOverTheHostsSignalHandling) {
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    TempDir dir;
    // %SIG stays inside Perl: the process catches no SIGINT during the run.
    struct sigaction dfl{}, mine{}, old_int{}, old_usr1{}, now{};
    dfl.sa_handler = SIG_DFL;
    ::sigaction(SIGINT, &dfl, &old_int);
    const fs::path sig = write_file(dir / "sig.pl", R"(
        $SIG{INT} = sub {};
        open my $status, '<', '/proc/self/status' or die;
        print map { /^SigCgt:\s*(\S+)/ ? (hex($1) & 2 ? 'caught' : 'not caught') : () } <$status>;
    )");
    const RunResult run = perl::run_exiftool({sig.string()});
    ASSERT_TRUE(run);
    EXPECT_EQ(run->out, "not caught");

    // POSIX reaches sigaction and sigprocmask directly; both come back.
    mine.sa_handler = count_signal;
    ::sigaction(SIGUSR1, &mine, &old_usr1);
    ::sigaction(SIGINT, &mine, nullptr);
    sigset_t mask_before, mask_after;
    ::pthread_sigmask(SIG_SETMASK, nullptr, &mask_before);
    const fs::path posix = write_file(dir / "posix.pl", R"(
        use POSIX ();
        POSIX::sigaction(POSIX::SIGUSR1(), POSIX::SigAction->new(sub {})) or die;
        POSIX::sigprocmask(POSIX::SIG_BLOCK(), POSIX::SigSet->new(POSIX::SIGUSR1())) or die;
        $SIG{CONT} = 'IGNORE';
    )");
    const RunResult changed = perl::run_exiftool({posix.string()});
    ASSERT_TRUE(changed && changed->success()) << (changed ? changed->err : changed.error().message);
    EXPECT_EQ(selftest(), healthy_selftest(staged_exiftool_version())) << "ExifTool sets $SIG{INT} and $SIG{CONT}";
    for (int s : {SIGUSR1, SIGINT}) {
        ::sigaction(s, nullptr, &now);
        EXPECT_EQ(now.sa_handler, &count_signal) << s;
    }
    ::sigaction(SIGCONT, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
    ::pthread_sigmask(SIG_SETMASK, nullptr, &mask_after);
    for (int s = 1; s < NSIG; ++s) EXPECT_EQ(sigismember(&mask_before, s), sigismember(&mask_after, s)) << s;
    ::raise(SIGUSR1);
    EXPECT_EQ(g_signals.load(), 1);
    ::sigaction(SIGUSR1, &old_usr1, nullptr);
    ::sigaction(SIGINT, &old_int, nullptr);
}

TEST(HostState, LocaleEnvironmentAndThreadNameStayTheHosts) {
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    TempDir dir;
    ScopedEnv lc_all("LC_ALL", "C.UTF-8"), tz("TZ", "UTC"), keep("ORVQL_KEEP", "kept"), add("ORVQL_NEW", std::nullopt);
    locale_t own = ::newlocale(LC_ALL_MASK, "C.UTF-8", locale_t(0));
    ASSERT_NE(own, locale_t(0));
    ::uselocale(own);
    ASSERT_EQ(::pthread_setname_np(::pthread_self(), "host-worker"), 0);
    const fs::path script = write_file(dir / "env.pl", R"(
        use POSIX ();
        print "$ENV{ORVQL_KEEP} ", POSIX::setlocale(POSIX::LC_CTYPE()), "\n";
        $ENV{TZ} = 'Asia/Tokyo'; POSIX::tzset();
        delete $ENV{ORVQL_KEEP};
        $ENV{ORVQL_NEW} = 'x';
        $0 = 'renamed';
    )");
    const RunResult run = perl::run_exiftool({script.string()});
    ASSERT_TRUE(run);
    EXPECT_EQ(run->out, "kept C.UTF-8\n") << "the script sees the process environment" << run->err;
    EXPECT_EQ(::uselocale(locale_t(0)), own);
    EXPECT_STREQ(::nl_langinfo_l(CODESET, own), "UTF-8");
    EXPECT_STREQ(::setlocale(LC_ALL, nullptr), "C");
    EXPECT_STREQ(std::getenv("TZ"), "UTC");
    EXPECT_STREQ(std::getenv("ORVQL_KEEP"), "kept");
    EXPECT_EQ(std::getenv("ORVQL_NEW"), nullptr);
    char name[64] = {};
    ::pthread_getname_np(::pthread_self(), name, sizeof name);
    EXPECT_STREQ(name, "host-worker");
    ::uselocale(LC_GLOBAL_LOCALE);
    ::freelocale(own);
}
