// The camera-look config: a sealed anonymous file that ExifTool opens by its
// descriptor's name, in this process and in the processes it starts.
#include <fcntl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <gtest/gtest.h>

#include "exiftool/child.hpp"
#include "exiftool/command.hpp"
#include "exiftool/look_config.hpp"
#include "exiftool/state.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

TEST(LookConfig, HoldsTheTextAndNobodyCanChangeIt) {
    const auto config = make_look_config();
    ASSERT_TRUE(config);
    EXPECT_EQ(config->path, "/dev/fd/" + std::to_string(config->fd));
    EXPECT_EQ(read_file(config->path), std::string(kLookConfigText));
    EXPECT_NE(::fcntl(config->fd, F_GETFD) & FD_CLOEXEC, 0) << "not inherited by programs we do not start";
    // Sealed: neither written through its name nor shrunk through the descriptor.
    const int writer = ::open(config->path.c_str(), O_WRONLY);
    if (writer >= 0) {
        EXPECT_EQ(::write(writer, "#", 1), -1);
        ::close(writer);
    }
    EXPECT_NE(::ftruncate(config->fd, 0), 0);
    EXPECT_EQ(read_file(config->path), std::string(kLookConfigText));
    ::close(config->fd);
}

TEST(LookConfig, ExifToolInAChildSeesThePrintConvertedLookTag) {
    ScopedEnv tmpdir("TMPDIR", "/nonexistent/tmp");
    const auto& config = process::look_config();
    ASSERT_TRUE(config);
    const auto raf = corpus("exiftool-t/FujiFilm.raf");
    auto run = run_child("/usr/bin/perl", {staged_exiftool().string(), "-config", config->path, "-j", "-g", "-n",
                                           "-FujiFilm:FilmMode", "-Composite:OrvantaCameraLook", raf.string()});
    ASSERT_TRUE(run);
    ASSERT_TRUE(run->success()) << run->err;
    EXPECT_EQ(run->err, "") << "the config was found and compiled";
    const auto doc = nlohmann::json::parse(run->out);
    // Numeric output for the raw tag, the printed name for the look.
    EXPECT_EQ(doc[0]["MakerNotes"]["FilmMode"], 0);
    EXPECT_EQ(doc[0]["Composite"]["OrvantaCameraLook"], "F0/Standard (Provia)");
}
