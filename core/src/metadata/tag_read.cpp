#include "metadata/tag_read.hpp"

#include <algorithm>
#include <array>
#include <map>

#include "exiftool/command.hpp"
#include "metadata/brand.hpp"
#include "text.hpp"

namespace orv {
namespace {

using Size = std::pair<int64_t, int64_t>;

// FileType values of raw camera files, whose stored sizes need care.
constexpr std::array<std::string_view, 20> kRawTypes = {
    "RAF", "ARW", "SR2", "NEF", "NRW", "CR2", "CR3", "CRW", "DNG", "ORF",
    "RW2", "RWL", "PEF", "X3F", "SRW", "IIQ", "3FR", "FFF", "MRW", "GPR",
};

std::optional<double> positive(std::optional<double> v) {
    return v && *v > 0 ? v : std::nullopt;
}

std::optional<int64_t> positive(std::optional<int64_t> v) {
    return v && *v > 0 ? v : std::nullopt;
}

// The file an output element describes, named as it was handed to ExifTool.
// A name that looks like a number ("123") comes back as a JSON number; it is
// then the asked name that reads as that number, or else the number's own
// text (another file's name).
std::optional<std::string> source_name(const json& element, const std::vector<std::string>& asked) {
    if (!element.is_object()) return std::nullopt;
    const auto it = element.find("SourceFile");
    if (it == element.end()) return std::nullopt;
    if (it->is_string()) return it->get<std::string>();
    if (!it->is_number()) return std::nullopt;
    for (const auto& name : asked) {
        if (const json n = json::parse(name, nullptr, false); n.is_number() && n == *it) return name;
    }
    return it->dump();
}

// For two-key facts the first key present decides, even when its value is of
// the wrong kind.
const json* first_present(const TagMap& map, std::string_view a, std::string_view b) {
    const json* v = find_tag(map, a);
    return v ? v : find_tag(map, b);
}

std::string upper_ascii(std::string s) {
    for (char& c : s) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    return s;
}

std::optional<Size> raw_file_size(const TagMap& map, std::optional<std::string_view> brand,
                                  std::optional<Size> image_size) {
    // The sensor's full size is rarely the picture's: prefer what the camera
    // says it crops to.
    std::optional<Size> crop = last_two(map, "DefaultCropSize");
    if (!crop) crop = last_two(map, "RawImageCroppedSize");
    if (!crop) crop = pair(map, "CroppedImageWidth", "CroppedImageHeight");
    if (!crop && brand == "Nikon") crop = last_two(map, "CropArea");
    if (crop) return crop;
    if (brand == "Olympus") {
        if (auto olympus = pair(map, "CropWidth", "CropHeight")) return olympus;
    }
    const auto exif_size = pair(map, "ExifImageWidth", "ExifImageHeight");
    if (image_size && exif_size) {
        // A much smaller EXIF size describes a thumbnail, not the picture.
        const double exif_area = static_cast<double>(exif_size->first) * static_cast<double>(exif_size->second);
        const double image_area = static_cast<double>(image_size->first) * static_cast<double>(image_size->second);
        return exif_area >= 0.8 * image_area ? exif_size : image_size;
    }
    if (image_size) return image_size;
    if (exif_size) return exif_size;
    return pair(map, "ImageWidth", "ImageHeight");
}

std::optional<Size> picture_size(const TagMap& map, std::optional<std::string_view> brand) {
    const auto image_size = last_two(map, "ImageSize");
    const std::string type = upper_ascii(get_str(map, {"FileType"}).value_or(""));
    if (std::find(kRawTypes.begin(), kRawTypes.end(), type) != kRawTypes.end()) {
        return raw_file_size(map, brand, image_size);
    }
    if (image_size) return image_size;
    if (auto s = pair(map, "ImageWidth", "ImageHeight")) return s;
    return pair(map, "ExifImageWidth", "ExifImageHeight");
}

std::optional<int64_t> shutter_count(const TagMap& map, std::optional<std::string_view> brand) {
    std::optional<int64_t> count;
    if (brand == "Sony" || brand == "Canon" || brand == "Nikon" || brand == "Ricoh/Pentax") {
        count = as_int(find_tag(map, "ShutterCount"));
    } else if (brand == "Fujifilm") {
        count = as_int(find_tag(map, "ImageCount"));
    }
    return positive(count);
}

bool has_serial_number(const TagMap& map) {
    for (auto key : {"SerialNumber", "CameraSerialNumber", "LensSerialNumber", "InternalSerialNumber"}) {
        if (const json* v = find_tag(map, key)) {
            return v->is_string() && !text::trim(v->get_ref<const std::string&>()).empty();
        }
    }
    return false;
}

// Numeric output leaves some lens ids as codes: hex bytes, or decimal
// numbers ("3 44"). Neither is shown; the print-converted name is asked for.
bool is_lens_code(std::string_view lens) {
    return looks_like_hex_lens_id(lens) || looks_like_numeric_lens_id(lens);
}

bool lens_needs_reread(const InspectedFile& f) {
    return !f.lens || is_lens_code(*f.lens);
}

// A second, print-converted run names the lenses numeric output left as
// codes. Best effort: a failed run names nothing, and no code is kept.
void reread_lenses(std::vector<TagRead>& records) {
    std::vector<std::string> names;
    for (const auto& r : records) {
        if (lens_needs_reread(r.file) && r.sourceFile) names.push_back(*r.sourceFile);
    }
    if (names.empty()) return;

    auto cmd = exiftool_command();
    for (auto a : {"-j", "-g", "-LensID", "-LensType", "-Lens", "-LensSpec", "-LensInfo"}) cmd.arg(a);
    for (const auto& n : names) cmd.file(n);

    std::map<std::string, std::string> lenses;
    if (const auto run = cmd.output()) {
        const json doc = parse_exiftool_json(run->out);
        if (doc.is_array()) {
            for (const auto& element : doc) {
                const auto source = source_name(element, names);
                if (!source) continue;
                const auto lens = get_str(flatten_groups(element), {"LensID", "LensType", "Lens", "LensSpec", "LensInfo"});
                if (!lens || text::trim(*lens).empty() || is_lens_code(*lens)) continue;
                lenses.insert_or_assign(*source, *lens);
            }
        }
    }
    for (auto& r : records) {
        if (!lens_needs_reread(r.file)) continue;
        r.file.lens.reset();
        if (!r.sourceFile) continue;
        if (const auto it = lenses.find(*r.sourceFile); it != lenses.end()) r.file.lens = it->second;
    }
}

}  // namespace

std::string normalize_date(std::string s) {
    // ISO 8601 as XMP writes it; positions 10 and 19 must not split a
    // character.
    if (s.size() < 19 || s[4] != '-' || s[7] != '-') return s;
    if (static_cast<unsigned char>(s[10]) >= 0x80) return s;
    if (s.size() > 19 && (static_cast<unsigned char>(s[19]) & 0xC0) == 0x80) return s;
    s.resize(19);
    s[4] = ':';
    s[7] = ':';
    s[10] = ' ';
    return s;
}

InspectedFile record_from_tags(const TagMap& map) {
    InspectedFile d;
    d.gpsLat = as_float(find_tag(map, "GPSLatitude"));
    d.gpsLon = as_float(find_tag(map, "GPSLongitude"));
    d.aperture = positive(as_float(first_present(map, "FNumber", "Aperture")));
    d.shutterSpeed = positive(as_float(first_present(map, "ExposureTime", "ShutterSpeedValue")));
    d.iso = positive(as_int(find_tag(map, "ISO")));
    d.focalLength = positive(as_float(find_tag(map, "FocalLength")));
    d.orientation = as_int(find_tag(map, "Orientation")).value_or(1);
    d.rating = as_int(find_tag(map, "Rating"));
    d.make = get_str(map, {"Make"});
    d.model = get_str(map, {"Model"});
    d.lens = get_str(map, {"LensModel", "LensID", "Lens"});
    if (auto date = get_str(map, {"DateTimeOriginal", "CreateDate", "ModifyDate"})) d.dateTaken = normalize_date(*date);
    d.copyright = get_str(map, {"Copyright"});
    d.artist = get_str(map, {"Artist"});
    d.title = get_str(map, {"Title", "ObjectName"});
    d.caption = get_str(map, {"Description", "Caption-Abstract"});
    d.colorLabel = get_str(map, {"Label"});
    if (auto look = get_str(map, {"OrvantaCameraLook"})) d.lookName = normalize_look_name(*look);
    d.hasSerialNumbers = has_serial_number(map);

    const auto brand = brand_for(d.make);
    d.shutterCount = shutter_count(map, brand);
    if (const auto size = picture_size(map, brand)) {
        const bool quarter_turn = d.orientation >= 5 && d.orientation <= 8;
        d.width = quarter_turn ? size->second : size->first;
        d.height = quarter_turn ? size->first : size->second;
    }
    return d;
}

Result<std::vector<TagRead>, std::string> read_batch(const std::vector<std::string>& paths) {
    auto cmd = exiftool_command_with_config();
    cmd.arg("-j").arg("-g").arg("-n");
    for (const auto& p : paths) cmd.file(p);
    const auto run = cmd.output();
    if (!run) return fail("failed to run exiftool: " + run.error().message);

    json doc;
    try {
        doc = parse_exiftool_json(run->out, true);
    } catch (const json::exception& e) {
        return fail("failed to parse exiftool output: " + std::string(e.what()));
    }
    if (!doc.is_array()) return fail(std::string("failed to parse exiftool output: expected an array"));

    std::vector<std::string> asked;
    asked.reserve(paths.size());
    for (const auto& p : paths) asked.push_back(exiftool_file_argument(p));
    std::vector<TagRead> records;
    records.reserve(doc.size());
    for (const auto& element : doc) {
        records.push_back({record_from_tags(flatten_groups(element)), source_name(element, asked)});
    }
    reread_lenses(records);
    return records;
}

}  // namespace orv
