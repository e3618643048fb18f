// The inspection record handed across the C boundary, and its JSON form:
// compact, keys in byte order at every level, every member present (null for
// a missing value), non-finite reals as null.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "result.hpp"

namespace orv {

struct FocusPoint {
    double x = 0, y = 0, w = 0, h = 0;  // percent of the displayed picture
};

struct MakerNoteField {
    std::string label;
    std::string value;
};

// The maker-note block: brand (one of the fixed display names), the brand's
// highlight fields in table order, and the focus box.
struct MakerNoteInfo {
    std::optional<std::string> brand;
    std::vector<MakerNoteField> fields;
    std::optional<FocusPoint> focus;
};

struct InspectedFile {
    std::string path;
    std::string filename;
    std::string extension;
    std::optional<uint64_t> fileSize;
    std::optional<std::string> make;
    std::optional<std::string> model;
    std::optional<std::string> lens;
    std::optional<std::string> dateTaken;
    std::optional<double> gpsLat;
    std::optional<double> gpsLon;
    std::optional<double> aperture;
    std::optional<double> shutterSpeed;
    std::optional<int64_t> iso;
    std::optional<double> focalLength;
    std::optional<int64_t> width;
    std::optional<int64_t> height;
    int64_t orientation = 1;
    std::optional<std::string> copyright;
    std::optional<std::string> artist;
    std::optional<std::string> title;
    std::optional<std::string> caption;
    std::optional<int64_t> rating;
    std::optional<std::string> colorLabel;
    std::optional<int64_t> shutterCount;
    std::optional<std::string> lookName;
    bool hasSerialNumbers = false;
    std::vector<std::string> keywords;
    MakerNoteInfo makerNotes;
    bool hasSidecar = false;
};

// The outcome of one inspection: the record, or a one-line error message.
using InspectResult = Result<InspectedFile, std::string>;

// {"file":{...}} or {"error":"..."}, compact, keys sorted.
std::string envelope_json(const InspectResult& result);

}  // namespace orv
