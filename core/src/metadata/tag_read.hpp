// Tag reading: ExifTool's numeric JSON for one or more files, condensed into
// one normalised summary per file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "result.hpp"
#include "metadata/tag_map.hpp"

namespace orv {

// The normalised facts of one file; names follow the inspection record.
struct ExifData {
    std::optional<double> gpsLat;
    std::optional<double> gpsLon;
    std::optional<double> aperture;
    std::optional<double> shutterSpeed;  // seconds
    std::optional<int64_t> iso;
    std::optional<double> focalLength;
    std::optional<int64_t> width;  // as displayed: swapped for quarter turns
    std::optional<int64_t> height;
    std::optional<int64_t> orientation;
    std::optional<int64_t> rating;
    std::optional<int64_t> shutterCount;
    std::optional<std::string> make;
    std::optional<std::string> model;
    std::optional<std::string> lens;
    std::optional<std::string> dateTaken;
    std::optional<std::string> copyright;
    std::optional<std::string> artist;
    std::optional<std::string> title;
    std::optional<std::string> caption;
    std::optional<std::string> colorLabel;
    std::optional<std::string> lookName;
    bool hasSerialNumbers = false;

    // "SourceFile" of the file's own JSON object: the name the lens re-read
    // asks for and matches on.
    std::optional<std::string> sourceFile;
};

// One ExifTool run (with the camera-look config, -j -g -n) over the paths,
// plus a print-converted lens re-read where numeric output left the lens
// missing or as hex bytes. Errors: "failed to run exiftool: ..." and
// "failed to parse exiftool output: ...".
Result<std::vector<ExifData>, std::string> read_batch(const std::vector<std::string>& paths);

// Fills one record from a flattened tag map (no lens re-read).
ExifData exif_data_from(const TagMap& map);

// "2024-05-01T10:20:30Z" -> "2024:05:01 10:20:30"; other texts unchanged.
std::string normalize_date(std::string text);

}  // namespace orv
