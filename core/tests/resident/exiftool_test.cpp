// A resident of the real ExifTool gives what fresh child runs give: the same
// output for odd file names, and the same envelopes for names relative to a
// working folder that changes.
#include <gtest/gtest.h>

#include "exiftool/child.hpp"
#include "exiftool/command.hpp"
#include "orv_ql.h"
#include "exiftool/resident.hpp"
#include "test_support.hpp"

using namespace orv;
using namespace orv::test;

namespace {

class ResidentExifTool : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(orv_ql_init_resident(staged_exiftool().c_str())); }
    TempDir tmp;
};

}  // namespace

TEST_F(ResidentExifTool, OddFileNamesGiveTheOutputOfAFreshProcess) {
    // Below the C interface names need not be UTF-8; -FileName shows each
    // name as ExifTool read it. File dates are left out: reading a file
    // moves its access time.
    const std::string source = read_file(corpus("exiftool-t/Nikon.nef"));
    for (const std::string name : {"two\nlines.nef", "#hash.nef", "  lead.nef", "\ttab.nef", "a$b@c.nef", " $x.nef",
                                   "back\\nslash.nef", "trail \r.nef", "caf\xe9 \xff.nef", "#\xfe\n.nef", " -= x.nef"}) {
        write_file(tmp / name, source);
        const std::vector<std::string> args{"-j", "-g", "-n", "-EXIF:all", "-FileName", (tmp / name).string()};
        const ExifToolRun run{staged_exiftool().string(), nullptr, args};
        const auto resident = resident::run_exiftool(run);
        const auto fresh = run_child("/usr/bin/perl", run.argv());
        ASSERT_TRUE(resident && fresh) << name;
        EXPECT_NE(fresh->out.find("NIKON"), std::string::npos) << name;
        EXPECT_EQ(resident->out, fresh->out) << name;
        EXPECT_EQ(resident->err, fresh->err) << name;
        EXPECT_EQ(resident->wait_status, fresh->wait_status) << name;
    }
}

TEST_F(ResidentExifTool, RelativeNamesFollowTheCallersWorkingFolder) {
    fs::create_directories(tmp / "a");
    fs::create_directories(tmp / "b");
    fs::copy_file(corpus("exiftool-t/Canon1DmkIII.jpg"), tmp / "a" / "photo.jpg");
    fs::copy_file(corpus("exiftool-t/Nikon.nef"), tmp / "b" / "photo.jpg");
    const fs::path before = fs::current_path();
    for (const char* folder : {"a", "b", "a"}) {
        fs::current_path(tmp / folder);
        const std::string envelope = inspect_text("photo.jpg");
        EXPECT_EQ(envelope, inspect_as_children(ORVQL_ORV_QL, "photo.jpg")) << folder;
        EXPECT_NE(envelope.find(std::string(folder) == "a" ? "Canon" : "NIKON"), std::string::npos) << envelope;
    }
    fs::current_path(before);
}
