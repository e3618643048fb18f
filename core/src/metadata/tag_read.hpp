// Tag reading: ExifTool's numeric JSON for one or more files, condensed into
// one normalised summary per file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "metadata/record.hpp"
#include "metadata/tag_map.hpp"
#include "result.hpp"

namespace orv {

// One file's record with the tag fields filled (the rest is the
// inspection's), and the "SourceFile" of its JSON object: the name the lens
// re-read asks for and matches on.
struct TagRead {
    InspectedFile file;
    std::optional<std::string> sourceFile;
};

// One ExifTool run (with the camera-look config, -j -g -n) over the paths,
// plus a print-converted lens re-read where numeric output left the lens
// missing or as hex bytes. Errors: "failed to run exiftool: ..." and
// "failed to parse exiftool output: ...".
Result<std::vector<TagRead>, std::string> read_batch(const std::vector<std::string>& paths);

// A record with the tag fields filled from a flattened tag map (no lens
// re-read): camera, exposure, date, place, size as displayed (swapped for
// quarter turns), orientation (1 when missing), texts, look name.
InspectedFile record_from_tags(const TagMap& map);

// "2024-05-01T10:20:30Z" -> "2024:05:01 10:20:30"; other texts unchanged.
std::string normalize_date(std::string text);

}  // namespace orv
