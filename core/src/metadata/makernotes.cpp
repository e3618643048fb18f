#include "metadata/makernotes.hpp"

#include <span>

#include "exiftool/command.hpp"
#include "metadata/brand.hpp"
#include "metadata/focus.hpp"

namespace orv {
namespace {

struct FieldRow {
    std::string_view tag;
    std::string_view label;
};

constexpr FieldRow kNikon[] = {
    {"FocusMode", "Focus mode"},       {"AFAreaMode", "AF area mode"},
    {"ShootingMode", "Shooting mode"}, {"FlashMode", "Flash mode"},
    {"VRMode", "Vibration reduction"}, {"ActiveDLighting", "Active D-Lighting"},
    {"ShutterCount", "Shutter count"},
};
constexpr FieldRow kSigma[] = {
    {"AFMode", "Focus mode"},          {"AFPoint", "AF point"},
    {"DriveMode", "Drive mode"},       {"ExposureMode", "Shooting mode"},
    {"PictureMode", "Picture mode"},
};
constexpr FieldRow kLeica[] = {
    {"WhiteBalance", "White balance"}, {"FocusDistance", "Focus distance"},
};
constexpr FieldRow kRicohPentax[] = {
    {"FocusMode", "Focus mode"},       {"AFMode", "AF mode"},
    {"AFPointsInFocus", "AF point"},   {"FlashMode", "Flash mode"},
    {"PictureMode", "Shooting mode"},  {"DriveMode", "Drive mode"},
    {"ShutterCount", "Shutter count"},
};
constexpr FieldRow kPanasonic[] = {
    {"FocusMode", "Focus mode"},       {"AFAreaMode", "AF area mode"},
    {"ShootingMode", "Shooting mode"}, {"BurstMode", "Drive mode"},
    {"ImageStabilization", "Image stabilization"}, {"SceneMode", "Scene mode"},
};
constexpr FieldRow kOlympus[] = {
    {"FocusMode", "Focus mode"},       {"DriveMode", "Drive mode"},
    {"FlashMode", "Flash mode"},       {"ImageStabilization", "Image stabilization"},
    {"SceneMode", "Scene mode"},       {"PictureMode", "Picture mode"},
};
constexpr FieldRow kSony[] = {
    {"ExposureMode", "Shooting mode"}, {"FlashAction", "Flash mode"},
    {"ImageStabilization", "Image stabilization"}, {"DynamicRangeOptimizer", "Dynamic range optimizer"},
    {"CreativeStyle", "Creative style"}, {"ReleaseMode", "Drive mode"},
    {"ShutterCount", "Shutter count"},
};
constexpr FieldRow kFujifilm[] = {
    {"FocusMode", "Focus mode"},       {"AFMode", "AF mode"},
    {"PictureMode", "Shooting mode"},  {"FilmMode", "Film simulation"},
    {"DynamicRange", "Dynamic range"}, {"FujiFlashMode", "Flash mode"},
    {"ImageCount", "Shutter count"},
};
constexpr FieldRow kCanon[] = {
    {"FocusMode", "Focus mode"},       {"AFAreaMode", "AF area mode"},
    {"ContinuousDrive", "Drive mode"}, {"FlashMode", "Flash mode"},
    {"ImageStabilization", "Image stabilization"}, {"MacroMode", "Macro mode"},
    {"ShutterCount", "Shutter count"},
};

struct BrandTable {
    std::string_view brand;
    std::span<const FieldRow> rows;
};

constexpr BrandTable kTables[] = {
    {"Nikon", kNikon},         {"Sigma", kSigma},     {"Leica", kLeica},
    {"Ricoh/Pentax", kRicohPentax}, {"Panasonic", kPanasonic}, {"Olympus", kOlympus},
    {"Sony", kSony},           {"Fujifilm", kFujifilm}, {"Canon", kCanon},
};

std::span<const FieldRow> table_for(std::string_view brand) {
    for (const auto& t : kTables) {
        if (t.brand == brand) return t.rows;
    }
    return {};
}

std::optional<std::string> value_text(const json& v) {
    switch (v.type()) {
        case json::value_t::string:
            return v.get<std::string>();
        case json::value_t::number_unsigned:
        case json::value_t::number_integer:
        case json::value_t::number_float:
        case json::value_t::boolean:
            // The JSON writer's text: plain digits, shortest round-trip
            // doubles (2.0 keeps its decimal), true/false.
            return v.dump();
        default:
            return std::nullopt;
    }
}

// Camera looks are shown under their plain name; a "PictureMode" that is a
// shooting mode is left as printed.
bool names_a_look(const FieldRow& row) {
    return row.tag == "CreativeStyle" || row.tag == "FilmMode" ||
           (row.tag == "PictureMode" && row.label == "Picture mode");
}

// The pass's output: an array whose first element, when an object, holds the
// maker-note tags. Nothing when the pass failed.
std::optional<json> maker_note_pass(const std::string& path) {
    auto cmd = exiftool_command();
    for (auto a : {"-j", "-MakerNotes:all", "-ImageWidth", "-ImageHeight", "-ExifImageWidth", "-ExifImageHeight",
                   "-RawImageFullWidth", "-RawImageFullHeight"}) {
        cmd.arg(a);
    }
    cmd.file(path);
    const auto run = cmd.output();
    if (!run || !run->success()) return std::nullopt;
    json doc = parse_exiftool_json(run->out);
    if (doc.is_discarded() || !doc.is_array()) return std::nullopt;
    if (doc.empty()) return json(nullptr);
    return std::move(doc.front());
}

}  // namespace

std::vector<MakerNoteField> extract_fields(const json* notes, std::string_view brand) {
    std::vector<MakerNoteField> fields;
    if (!notes || !notes->is_object() || notes->empty()) return fields;
    for (const auto& row : table_for(brand)) {
        const auto it = notes->find(row.tag);
        if (it == notes->end()) continue;
        auto value = value_text(*it);
        if (!value) continue;
        if (names_a_look(row)) {
            if (auto look = normalize_look_name(*value)) value = std::move(look);
        }
        fields.push_back({std::string(row.label), std::move(*value)});
    }
    return fields;
}

MakerNoteInfo analyse_maker_notes(const MakerNoteRequest& request) {
    const auto brand = brand_for(request.make);
    if (!brand) return {};
    const auto first = maker_note_pass(request.path);
    if (!first) return {};

    MakerNoteInfo info;
    info.brand = std::string(*brand);
    if (!first->is_object()) return info;
    info.fields = extract_fields(&*first, *brand);
    info.focus = extract_focus(*first, *brand, request.model, request.path, request.orientation);
    return info;
}

}  // namespace orv
