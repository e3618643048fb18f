#include "metadata/record.hpp"

#include <nlohmann/json.hpp>

namespace orv {
namespace {

using json = nlohmann::json;  // std::map objects: keys come out in byte order

template <typename T>
json opt(const std::optional<T>& v) {
    return v ? json(*v) : json(nullptr);
}

json to_json(const FocusPoint& f) {
    return {{"x", f.x}, {"y", f.y}, {"w", f.w}, {"h", f.h}};
}

json to_json(const MakerNoteInfo& m) {
    json fields = json::array();
    for (const auto& f : m.fields) fields.push_back({{"label", f.label}, {"value", f.value}});
    return {{"brand", opt(m.brand)},
            {"fields", std::move(fields)},
            {"focus", m.focus ? to_json(*m.focus) : json(nullptr)}};
}

json to_json(const InspectedFile& f) {
    return {
        {"path", f.path},
        {"filename", f.filename},
        {"extension", f.extension},
        {"fileSize", opt(f.fileSize)},
        {"make", opt(f.make)},
        {"model", opt(f.model)},
        {"lens", opt(f.lens)},
        {"dateTaken", opt(f.dateTaken)},
        {"gpsLat", opt(f.gpsLat)},
        {"gpsLon", opt(f.gpsLon)},
        {"aperture", opt(f.aperture)},
        {"shutterSpeed", opt(f.shutterSpeed)},
        {"iso", opt(f.iso)},
        {"focalLength", opt(f.focalLength)},
        {"width", opt(f.width)},
        {"height", opt(f.height)},
        {"orientation", f.orientation},
        {"copyright", opt(f.copyright)},
        {"artist", opt(f.artist)},
        {"title", opt(f.title)},
        {"caption", opt(f.caption)},
        {"rating", opt(f.rating)},
        {"colorLabel", opt(f.colorLabel)},
        {"shutterCount", opt(f.shutterCount)},
        {"lookName", opt(f.lookName)},
        {"hasSerialNumbers", f.hasSerialNumbers},
        {"keywords", f.keywords},
        {"makerNotes", to_json(f.makerNotes)},
        {"hasSidecar", f.hasSidecar},
    };
}

}  // namespace

std::string envelope_json(const InspectResult& result) {
    const json envelope = result.ok() ? json{{"file", to_json(result.value())}} : json{{"error", result.error()}};
    // Texts are valid UTF-8 by construction; replacing keeps a stray byte
    // from ever turning a result into an exception.
    return envelope.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace orv
