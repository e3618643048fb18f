// ExifTool and Perl scripts run in-process must behave as they do in a
// child perl: same status, same bytes on both streams.
#include <unistd.h>

#include <gtest/gtest.h>

#include "host_support.hpp"
#include "exiftool/perl.hpp"

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

RunResult in_process(const std::vector<std::string>& args) {
    ExifToolCommand cmd = exiftool_command();
    for (const auto& a : args) cmd.arg(a);
    return cmd.output();
}

}  // namespace

TEST(InProcess, ExifToolGivesTheSameOutputAsAChildPerl) {
    ASSERT_TRUE(init_with_staged_exiftool());
    auto photo = [](const std::string& name) { return corpus("exiftool-t/" + name).string(); };
    std::vector<std::vector<std::string>> command_lines;
    for (const auto& name : kPhotos) command_lines.push_back({"-j", "-g", "-n", photo(name)});
    command_lines.push_back({"-j", photo("CanonRaw.cr2"), "/nonexistent/caf\xE9.jpg"});  // exit 1, message
    command_lines.push_back({"-ver"});
    for (const auto& args : command_lines) {
        // A first read may still move the access time ExifTool reports.
        ASSERT_TRUE(run_as_child(exiftool_args(args))) << args.back();
        const double child_cpu = children_cpu_seconds();
        const RunResult ours = in_process(args);
        EXPECT_EQ(children_cpu_seconds(), child_cpu) << "the in-process run started a child";
        EXPECT_TRUE(same_run(ours, run_as_child(exiftool_args(args)))) << args.back();
    }
}

TEST(InProcess, ExitDieAndBrokenScriptsEndOnlyTheInterpreter) {
    ASSERT_TRUE(init_with_staged_exiftool());
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
        const std::vector<std::string> args{write_script(dir.path(), name, text).string(), "a b", "caf\xE9", ""};
        const RunResult ours = perl::run_exiftool(args);
        ASSERT_TRUE(ours) << name << ": " << ours.error().message;
        EXPECT_TRUE(same_run(ours, run_as_child(args))) << name;
    }
    // A missing script is Perl's complaint, not an I/O error.
    const RunResult missing = perl::run_exiftool({(dir / "missing.pl").string()});
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing->exit_code(), 2);
    EXPECT_NE(missing->err.find("Can't open perl script"), std::string::npos) << missing->err;
    EXPECT_TRUE(same_run(missing, run_as_child({(dir / "missing.pl").string()})));

    EXPECT_EQ(selftest(), healthy_selftest(staged_exiftool_version())) << "later runs still work";
}
