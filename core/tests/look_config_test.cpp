#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <gtest/gtest.h>

#include "exiftool_bin.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

fs::path config_in(const TempDir& dir) {
    return dir / "orvanta-0.1.0.config";
}

void age(const fs::path& p) {
    fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(24));
}

}  // namespace

TEST(LookConfig, WrittenWhenAbsentPrivateToTheUser) {
    TempDir tmp;
    const auto path = prepare_look_config(tmp.path().string());
    ASSERT_TRUE(path);
    EXPECT_EQ(*path, config_in(tmp).string());
    EXPECT_EQ(read_file(*path), std::string(kLookConfigText));
    struct stat st;
    ASSERT_EQ(::stat(path->c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 1);
}

TEST(LookConfig, IdenticalFileIsLeftUntouched) {
    TempDir tmp;
    ASSERT_TRUE(prepare_look_config(tmp.path().string()));
    age(config_in(tmp));
    const auto before = fs::last_write_time(config_in(tmp));
    ASSERT_TRUE(prepare_look_config(tmp.path().string()));
    EXPECT_EQ(fs::last_write_time(config_in(tmp)), before);
}

TEST(LookConfig, FileDifferingInOneByteIsRewritten) {
    TempDir tmp;
    std::string almost(kLookConfigText);
    almost[almost.size() - 3] = '2';  // "1;\n" -> "2;\n"
    write_file(config_in(tmp), almost);
    ::chmod(config_in(tmp).c_str(), 0600);
    ASSERT_TRUE(prepare_look_config(tmp.path().string()));
    EXPECT_EQ(read_file(config_in(tmp)), std::string(kLookConfigText));
}

TEST(LookConfig, WritableByOthersIsReplacedWithAPrivateCopy) {
    TempDir tmp;
    write_file(config_in(tmp), std::string(kLookConfigText));
    ::chmod(config_in(tmp).c_str(), 0666);
    ASSERT_TRUE(prepare_look_config(tmp.path().string()));
    struct stat st;
    ASSERT_EQ(::stat(config_in(tmp).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(LookConfig, SymbolicLinkAtTheNameIsNotFollowedOrTrusted) {
    TempDir tmp;
    write_file(tmp / "target", std::string(kLookConfigText));
    fs::create_symlink(tmp / "target", config_in(tmp));
    EXPECT_FALSE(prepare_look_config(tmp.path().string()));
    EXPECT_TRUE(fs::is_symlink(config_in(tmp)));
    write_file(tmp / "other", "keep me");
    fs::remove(config_in(tmp));
    fs::create_symlink(tmp / "other", config_in(tmp));
    EXPECT_FALSE(prepare_look_config(tmp.path().string()));
    EXPECT_EQ(read_file(tmp / "other"), "keep me");
}

TEST(LookConfig, FileOfAnotherUserIsNotTrusted) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to give a file away";
    TempDir tmp;
    write_file(config_in(tmp), std::string(kLookConfigText));
    ASSERT_EQ(::chown(config_in(tmp).c_str(), 65534, 65534), 0);
    ::chmod(config_in(tmp).c_str(), 0644);
    EXPECT_FALSE(prepare_look_config(tmp.path().string()));
    struct stat st;
    ASSERT_EQ(::stat(config_in(tmp).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
}

TEST(LookConfig, FolderThatIsNotADirectoryGivesNothing) {
    TempDir tmp;
    write_file(tmp / "file", "x");
    EXPECT_FALSE(prepare_look_config((tmp / "file").string()));
    EXPECT_FALSE(prepare_look_config((tmp / "missing" / "deeper").string()));
}

TEST(LookConfig, DefinesThePrintConvertedLookTagForRealExifTool) {
    TempDir tmp;
    const auto config = prepare_look_config(tmp.path().string());
    ASSERT_TRUE(config);
    const auto raf = corpus("exiftool-t/FujiFilm.raf");
    auto run = run_child("/usr/bin/perl", {staged_exiftool().string(), "-config", *config, "-j", "-g", "-n",
                                           "-FujiFilm:FilmMode", "-Composite:OrvantaCameraLook", raf.string()});
    ASSERT_TRUE(run);
    ASSERT_TRUE(run->success()) << run->err;
    const auto doc = nlohmann::json::parse(run->out);
    // Numeric output for the raw tag, the printed name for the look.
    EXPECT_EQ(doc[0]["MakerNotes"]["FilmMode"], 0);
    EXPECT_EQ(doc[0]["Composite"]["OrvantaCameraLook"], "F0/Standard (Provia)");
}
