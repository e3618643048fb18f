// ExifTool and Perl scripts run in-process must behave as they do in a
// child perl: same status, same bytes on both streams.
#include <unistd.h>

#include <gtest/gtest.h>

#include "exiftool/child.hpp"
#include "exiftool/perl.hpp"
#include "orv_ql.h"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

const std::vector<std::string> kPhotos = {"Canon.jpg", "Nikon.jpg", "FujiFilm.raf", "Sony.jpg",
                                          "GPS.jpg",   "Olympus.jpg", "Pentax.jpg", "Panasonic.rw2"};

std::vector<std::string> exiftool_args(const std::vector<std::string>& args) {
    std::vector<std::string> all{staged_exiftool().string()};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

RunResult as_child(const std::vector<std::string>& args) {
    return run_child("/usr/bin/perl", args);
}

// A run as one comparable value: its wait status and both streams, or why it failed.
std::tuple<int, std::string, std::string> seen(const RunResult& r) {
    return r ? std::tuple{r->wait_status, r->out, r->err} : std::tuple{-1, std::string("<failed>"), r.error().message};
}

RunResult in_process(const std::vector<std::string>& args) {
    ExifToolCommand cmd = exiftool_command();
    for (const auto& a : args) cmd.arg(a);
    return cmd.output();
}

}  // namespace

TEST(InProcess, ExifToolGivesTheSameOutputAsAChildPerl) {
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    auto photo = [](const std::string& name) { return corpus("exiftool-t/" + name).string(); };
    std::vector<std::vector<std::string>> command_lines;
    for (const auto& name : kPhotos) command_lines.push_back({"-j", "-g", "-n", photo(name)});
    command_lines.push_back({"-j", photo("CanonRaw.cr2"), "/nonexistent/caf\xE9.jpg"});  // exit 1, message
    command_lines.push_back({"-ver"});
    for (const auto& args : command_lines) {
        // A first read may still move the access time ExifTool reports.
        ASSERT_TRUE(as_child(exiftool_args(args))) << args.back();
        const double child_cpu = children_cpu_seconds();
        const RunResult ours = in_process(args);
        EXPECT_EQ(children_cpu_seconds(), child_cpu) << "the in-process run started a child";
        EXPECT_EQ(seen(ours), seen(as_child(exiftool_args(args)))) << args.back();
    }
}

TEST(InProcess, ExitDieAndBrokenScriptsEndOnlyTheInterpreter) {
    ASSERT_TRUE(orv_ql_init(staged_exiftool().c_str()));
    TempDir dir;
    const std::vector<std::pair<std::string, std::string>> scripts = {
        {"exit.pl", "print \"out\\n\"; print STDERR \"err\\n\"; exit 3;"},
        {"die.pl", "print 'partial'; $! = 0; die \"boom\\n\";"},
        {"die_errno.pl", "$! = 2; die \"gone\\n\";"},
        {"begin_exit.pl", "BEGIN { print 'b'; exit 4 } print 'never';"},
        {"compile_die.pl", "BEGIN { die \"no\\n\" } print 'never';"},
        {"syntax.pl", "print 'x' +;\n"},
        {"end.pl", "END { print \"end\\n\"; $? = 7 } print \"main\\n\"; exit 5;"},
        {"args.pl", "binmode STDOUT; print join('|', $0, @ARGV), \"\\n\";"},
        {"buffered.pl", "print 'a' x 300000; print STDERR 'e' x 70000; print \"\\0tail\";"},
    };
    for (const auto& [name, text] : scripts) {
        const std::vector<std::string> args{write_file(dir / name, text).string(), "a b", "caf\xE9", ""};
        const RunResult ours = perl::run_exiftool(args);
        ASSERT_TRUE(ours) << name << ": " << ours.error().message;
        EXPECT_EQ(seen(ours), seen(as_child(args))) << name;
    }
    // A missing script is Perl's complaint, not an I/O error.
    const RunResult missing = perl::run_exiftool({(dir / "missing.pl").string()});
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->exit_code(), 2);
    EXPECT_NE(missing->err.find("Can't open perl script"), std::string::npos) << missing->err;
    EXPECT_EQ(seen(missing), seen(as_child({(dir / "missing.pl").string()})));

    EXPECT_EQ(selftest(), healthy_selftest(staged_exiftool_version())) << "later runs still work";
}
