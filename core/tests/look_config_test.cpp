// The camera-look config: a sealed anonymous file that ExifTool opens by its
// descriptor's name. (That ExifTool compiles it and names the look is seen in
// the corpus and fault suites' "lookName".)
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "exiftool/look_config.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

TEST(LookConfig, HoldsTheTextAndNobodyCanChangeIt) {
    const auto config = make_look_config();
    ASSERT_TRUE(config);
    EXPECT_EQ(config->path, "/dev/fd/" + std::to_string(config->fd));
    const std::string text = read_file(config->path);
    EXPECT_NE(text.find("OrvantaCameraLook"), std::string::npos) << text;  // the tag the tag read asks for
    EXPECT_NE(::fcntl(config->fd, F_GETFD) & FD_CLOEXEC, 0) << "not inherited by programs we do not start";
    // Sealed: neither written through its name nor shrunk through the descriptor.
    const int writer = ::open(config->path.c_str(), O_WRONLY);
    if (writer >= 0) {
        EXPECT_EQ(::write(writer, "#", 1), -1);
        ::close(writer);
    }
    EXPECT_NE(::ftruncate(config->fd, 0), 0);
    EXPECT_EQ(read_file(config->path), text);
    ::close(config->fd);
}
