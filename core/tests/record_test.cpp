#include <cmath>
#include <limits>

#include <nlohmann/json.hpp>
#include <gtest/gtest.h>

#include "metadata/record.hpp"

using namespace orv;

namespace {

InspectedFile minimal() {
    InspectedFile f;
    f.path = "/p/a.jpg";
    f.filename = "a.jpg";
    f.extension = "jpg";
    f.fileSize = 1234;
    return f;
}

std::string file_json(const InspectedFile& f) {
    return envelope_json(InspectResult(f));
}

}  // namespace

TEST(Record, MinimalFileHasEveryMemberSortedWithNulls) {
    EXPECT_EQ(file_json(minimal()),
              R"({"file":{"aperture":null,"artist":null,"caption":null,"colorLabel":null,"copyright":null,)"
              R"("dateTaken":null,"extension":"jpg","fileSize":1234,"filename":"a.jpg","focalLength":null,)"
              R"("gpsLat":null,"gpsLon":null,"hasSerialNumbers":false,"hasSidecar":false,"height":null,)"
              R"("iso":null,"keywords":[],"lens":null,"lookName":null,"make":null,)"
              R"("makerNotes":{"brand":null,"fields":[],"focus":null},"model":null,"orientation":1,)"
              R"("path":"/p/a.jpg","rating":null,"shutterCount":null,"shutterSpeed":null,"title":null,"width":null}})");
}

TEST(Record, NumbersKeepTheirKindAndShortestText) {
    auto f = minimal();
    f.shutterSpeed = 0.004;
    f.aperture = 2.0;
    f.gpsLat = std::nan("");
    f.gpsLon = std::numeric_limits<double>::infinity();
    f.focalLength = 0.1 + 0.2;
    f.rating = -1;
    f.fileSize = std::numeric_limits<uint64_t>::max();
    f.iso = std::numeric_limits<int64_t>::min();
    const std::string text = file_json(f);
    for (auto part : {R"("shutterSpeed":0.004,)", R"("aperture":2.0,)", R"("gpsLat":null,"gpsLon":null,)",
                      R"("focalLength":0.30000000000000004,)", R"("rating":-1,)", R"("fileSize":18446744073709551615,)",
                      R"("iso":-9223372036854775808,)"}) {
        EXPECT_NE(text.find(part), std::string::npos) << part << " in " << text;
    }
}

TEST(Record, MakerNotesAndFocusComeOutSorted) {
    auto f = minimal();
    f.makerNotes.brand = "Canon";
    f.makerNotes.fields = {{"Focus mode", "One-shot AF"}, {"Shutter count", "1234"}};
    f.makerNotes.focus = FocusPoint{47.5, 40, 5, 6.25};
    f.keywords = {"sunset", "beach"};
    const auto doc = nlohmann::json::parse(file_json(f));
    EXPECT_EQ(doc["file"]["makerNotes"].dump(),
              R"({"brand":"Canon","fields":[{"label":"Focus mode","value":"One-shot AF"},)"
              R"({"label":"Shutter count","value":"1234"}],"focus":{"h":6.25,"w":5.0,"x":47.5,"y":40.0}})");
    EXPECT_EQ(doc["file"]["keywords"].dump(), R"(["sunset","beach"])");
}

TEST(Record, ErrorEnvelopeEscapesItsMessage) {
    EXPECT_EQ(envelope_json(InspectResult(fail(std::string("No file")))), R"({"error":"No file"})");
    EXPECT_EQ(envelope_json(InspectResult(fail(std::string("bad \"quote\" \\ \n\x01 é")))),
              "{\"error\":\"bad \\\"quote\\\" \\\\ \\n\\u0001 é\"}");
}

TEST(Record, TextsWithInvalidBytesStillGiveValidJson) {
    auto f = minimal();
    f.title = "caf\xE9";
    const std::string text = file_json(f);
    EXPECT_TRUE(nlohmann::json::accept(text));
}
