// What another user of the machine or an odd file can do to the core, tried
// through orv-ql as a user would: nothing planted is executed, nothing that
// is not a regular file is read, an unreadable file is an error, a huge text
// is cut, and a file replaced mid-read never mixes two versions.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "exiftool/child.hpp"
#include "metadata/tag_map.hpp"
#include "orv_ql.h"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;
using namespace std::chrono_literals;

namespace {

constexpr uid_t kNobody = 65534;

// orv-ql's lines, or what went wrong. A tool that would hang is stopped by
// the runner's deadline and shows as a failure here.
std::vector<std::string> orv_ql(const std::vector<std::string>& args, int* exit_code = nullptr) {
    const auto run = run_program(ORVQL_ORV_QL, args, 20s);
    if (!run) return {"<" + run.error().message + ">"};
    if (exit_code) *exit_code = run->exit_code().value_or(-1);
    std::vector<std::string> lines;
    std::istringstream in(run->out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void give_away(const fs::path& path) {
    ASSERT_EQ(::lchown(path.c_str(), kNobody, kNobody), 0);
}

}  // namespace

TEST(Hostile, AConfigPlantedInASharedFolderNeverRunsInAnyMode) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to plant files as another user";
    TempDir shared, runtime, mine;
    fs::permissions(shared.path(), fs::perms::all | fs::perms::sticky_bit);
    const fs::path marker = mine / "planted-config-ran";
    // The name the config used to have, planted by someone else.
    for (const fs::path& dir : {shared.path(), runtime.path()}) {
        write_file(dir / "orvanta-0.1.0.config", "open my $f, '>', '" + marker.string() + "'; 1;\n");
        give_away(dir / "orvanta-0.1.0.config");
    }
    ScopedEnv tmpdir("TMPDIR", shared.path().string());
    ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path().string());
    const std::string raf = corpus("exiftool-t/FujiFilm.raf").string();
    for (const std::vector<std::string>& mode : {std::vector<std::string>{}, {"--exiftool", "bundled"}, {"--resident"}}) {
        std::vector<std::string> args = mode;
        args.insert(args.end(), {"inspect", raf, raf});
        for (const auto& line : orv_ql(args)) {
            const json f = json::parse(line, nullptr, false).value("file", json::object());
            EXPECT_EQ(f.value("lookName", ""), "Provia") << line;
        }
        EXPECT_FALSE(fs::exists(marker)) << "mode " << (mode.empty() ? "child" : mode[0]);
    }
}

TEST(Hostile, WhatIsNotARegularFileIsRefusedAtOnce) {
    TempDir tmp;
    ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
    fs::create_directories(tmp / "folder");
    fs::copy_file(corpus("exiftool-t/Canon.jpg"), tmp / "folder" / "inside.jpg");
    fs::create_symlink("/dev/zero", tmp / "zero.cr2");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string sock_path = (tmp / "socket").string();
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", sock_path.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    for (const std::string& path : {std::string("/dev/zero"), (tmp / "fifo").string(), (tmp / "folder").string(),
                                   (tmp / "zero.cr2").string(), sock_path}) {
        EXPECT_EQ(orv_ql({"inspect", path}), (std::vector<std::string>{"{\"error\":\"not a regular file: " + path + "\"}"}));
        int code = 0;
        orv_ql({"preview", path, "-o", (tmp / "out.jpg").string()}, &code);
        EXPECT_EQ(code, 1) << path;
        EXPECT_FALSE(fs::exists(tmp / "out.jpg")) << path;
    }
    ::close(sock);
}

TEST(Hostile, AFileThatCannotBeReadIsAnErrorNotAnEmptyRecord) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
    TempDir tmp;
    fs::permissions(tmp.path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
    const fs::path secret = tmp / "secret.jpg";
    fs::copy_file(corpus("exiftool-t/Canon.jpg"), secret);
    fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
    const auto run = run_program("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", ORVQL_ORV_QL,
                                             "inspect", secret.string()},
                                 20s);
    ASSERT_TRUE(run && run->success()) << (run ? run->err : run.error().message);
    EXPECT_EQ(run->out, "{\"error\":\"permission denied: " + secret.string() + "\"}\n");
}

// A 300,000-character caption (what a 1 KB compressed PNG can unpack to)
// reaches the record cut at a character boundary.
TEST(Hostile, AHugeTextValueIsCutAtACharacterBoundary) {
    TempDir tmp;
    std::string caption(300'000, 'a');
    caption.replace(64 * 1024 - 1, 2, "\xc3\xa9");  // an "é" across the limit
    write_file(tmp / "caption.txt", caption);
    fs::copy_file(corpus("exiftool-t/PNG.png"), tmp / "long.png");
    const auto wrote = run_child("/usr/bin/exiftool", {"-q", "-overwrite_original", "-z",
                                                      "-PNG:Description<=" + (tmp / "caption.txt").string(),
                                                      (tmp / "long.png").string()});
    ASSERT_TRUE(wrote && wrote->success()) << (wrote ? wrote->err : wrote.error().message);
    const auto lines = orv_ql({"inspect", (tmp / "long.png").string()});
    ASSERT_EQ(lines.size(), 1u);
    const json envelope = json::parse(lines[0]);
    const std::string kept = envelope.at("file").at("caption");
    EXPECT_EQ(kept, caption.substr(0, 64 * 1024 - 1)) << "the cut character is dropped whole";
}

// A file replaced while it is inspected (a sync tool, an editor saving):
// every envelope describes one version or says the file changed.
TEST(Hostile, AFileReplacedWhileInspectedNeverGivesAMixedRecord) {
    TempDir tmp;
    for (const char* v : {"a", "b"}) {
        fs::copy_file(corpus("exiftool-t/Canon.jpg"), tmp / (std::string(v) + ".jpg"));
        const auto wrote = run_child("/usr/bin/exiftool", {"-q", "-overwrite_original", std::string("-XMP-dc:Title=") + v,
                                                          std::string("-XMP-dc:Subject=") + v,
                                                          (tmp / (std::string(v) + ".jpg")).string()});
        ASSERT_TRUE(wrote && wrote->success());
    }
    ASSERT_TRUE(orv_ql_init_resident(staged_exiftool().c_str()));
    const std::string path = (tmp / "photo.jpg").string();
    fs::copy_file(tmp / "a.jpg", path);
    std::atomic<bool> stop{false}, quiet{false};
    std::thread swapper([&] {
        for (int i = 0; !stop; ++i) {
            // Every third inspection runs with the file left alone, so some
            // finish whole however slow the machine.
            if (quiet) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            const fs::path next = tmp / (i % 2 ? "a.jpg" : "b.jpg");
            fs::remove(tmp / "next.jpg");
            fs::create_hard_link(next, tmp / "next.jpg");
            fs::rename(tmp / "next.jpg", path);
            std::this_thread::sleep_for(std::chrono::milliseconds(5 + (i % 50) * 3));
        }
    });
    int mixed = 0, whole = 0;
    for (int i = 0; i < 150; ++i) {
        quiet = i % 3 == 2;
        const json envelope = json::parse(inspect_text(path));
        if (!envelope.contains("file")) {
            EXPECT_EQ(envelope.value("error", ""), "the file changed while it was read: " + path);
            continue;
        }
        const auto& f = envelope.at("file");
        const json title = f.at("title");
        const json keywords = f.at("keywords");
        ++(keywords == json::array({title}) ? whole : mixed);
    }
    stop = true;
    swapper.join();
    EXPECT_EQ(mixed, 0);
    EXPECT_GT(whole, 0);
}

// Relative names that ExifTool would take for options ("-" or U+2212 first)
// are inspected like any other, in every mode, and the envelope keeps the
// name as given.
TEST(Hostile, NamesThatLookLikeOptionsAreInspectedAsFiles) {
    TempDir tmp;
    const std::vector<std::string> names = {"-echo4.jpg", "\xe2\x88\x92" "echo4.jpg", "-ver"};
    for (const auto& name : names) fs::copy_file(corpus("exiftool-t/Canon.jpg"), tmp / name);
    const fs::path before = fs::current_path();
    fs::current_path(tmp.path());
    for (const auto& mode : {std::vector<std::string>{}, std::vector<std::string>{"--resident"}}) {
        std::vector<std::string> args = mode;
        args.push_back("inspect");
        args.insert(args.end(), names.begin(), names.end());
        const auto lines = orv_ql(args);
        ASSERT_EQ(lines.size(), names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            SCOPED_TRACE(names[i] + (mode.empty() ? "" : " " + mode[0]));
            const json f = json::parse(lines[i]).value("file", json::object());
            EXPECT_EQ(f.value("path", ""), names[i]);
            EXPECT_EQ(f.value("make", ""), "Canon");
        }
    }
    fs::current_path(before);
}
