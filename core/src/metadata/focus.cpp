#include "metadata/focus.hpp"

#include <algorithm>
#include <cmath>

#include "metadata/path_parts.hpp"
#include "text.hpp"

namespace orv {
namespace {

// A box in the maker's own units: centre, size and the frame they refer to.
struct RawBox {
    double cx, cy, w, h, fw, fh;
};

const json* tag(const json& notes, std::string_view key) {
    const auto it = notes.find(key);
    return it == notes.end() ? nullptr : &*it;
}

// A tag that must be a JSON number (a string of digits does not count).
std::optional<double> number(const json& notes, std::string_view key) {
    return as_float(tag(notes, key));
}

std::optional<std::string_view> string_tag(const json& notes, std::string_view key) {
    const json* v = tag(notes, key);
    if (!v || !v->is_string()) return std::nullopt;
    return v->get_ref<const std::string&>();
}

std::optional<uint64_t> canon_focus_index(const json* v) {
    if (!v) return std::nullopt;
    if (v->is_number_unsigned()) return v->get<uint64_t>();
    if (!v->is_string()) return std::nullopt;
    const auto pieces = text::split_whitespace(v->get_ref<const std::string&>(), ",");
    if (pieces.empty()) return std::nullopt;
    return text::parse_u64(pieces.front());
}

std::optional<RawBox> canon_box(const json& notes, const std::optional<std::string>& model) {
    const auto index = canon_focus_index(tag(notes, "AFPointsInFocus"));
    if (!index) return std::nullopt;
    const auto fw = number(notes, "AFImageWidth");
    const auto fh = number(notes, "AFImageHeight");
    if (!fw || !fh) return std::nullopt;
    const auto xs = parse_number_list(tag(notes, "AFAreaXPositions"));
    const auto ys = parse_number_list(tag(notes, "AFAreaYPositions"));
    const auto ws = parse_number_list(tag(notes, "AFAreaWidths"));
    const auto hs = parse_number_list(tag(notes, "AFAreaHeights"));
    if (!xs || !ys || !ws || !hs) return std::nullopt;
    const uint64_t i = *index;
    if (i >= xs->size() || i >= ys->size() || i >= ws->size() || i >= hs->size()) return std::nullopt;
    // Positions are offsets from the frame's centre; most bodies count y
    // upwards, compacts downwards.
    const bool compact = model && text::to_lower(*model).find("powershot") != std::string::npos;
    const double y = compact ? (*ys)[i] : -(*ys)[i];
    return RawBox{*fw / 2 + (*xs)[i], *fh / 2 + y, (*ws)[i], (*hs)[i], *fw, *fh};
}

std::optional<RawBox> nikon_box(const json& notes) {
    // Looked up in this order; the positions are the area's centre.
    const auto cx = number(notes, "AFAreaXPosition");
    if (!cx) return std::nullopt;
    const auto cy = number(notes, "AFAreaYPosition");
    if (!cy) return std::nullopt;
    const auto w = number(notes, "AFAreaWidth");
    if (!w) return std::nullopt;
    const auto h = number(notes, "AFAreaHeight");
    if (!h) return std::nullopt;
    const auto fw = number(notes, "AFImageWidth");
    if (!fw) return std::nullopt;
    const auto fh = number(notes, "AFImageHeight");
    if (!fh) return std::nullopt;
    return RawBox{*cx, *cy, *w, *h, *fw, *fh};
}

std::optional<RawBox> olympus_box(const json& notes) {
    const auto areas = string_tag(notes, "AFAreas");
    if (!areas) return std::nullopt;
    const auto c = parse_olympus_af_areas(*areas);
    if (!c) return std::nullopt;
    const auto [x1, y1, x2, y2] = *c;
    // Corners on a 255 x 255 grid over the picture.
    return RawBox{(x1 + x2) / 2, (y1 + y2) / 2, std::abs(x2 - x1), std::abs(y2 - y1), 255, 255};
}

std::optional<RawBox> pentax_box(const json& notes) {
    const auto frame_text = string_tag(notes, "AFFrameSize");
    const auto frame = frame_text ? parse_wxh(*frame_text) : std::nullopt;
    if (!frame) return std::nullopt;
    const auto area_text = string_tag(notes, "AFAreaSize");
    const auto area = area_text ? parse_wxh(*area_text) : std::nullopt;
    if (!area) return std::nullopt;
    const json* areas = tag(notes, "AFAreas");
    if (!areas || !areas->is_array() || areas->empty() || !areas->front().is_string()) return std::nullopt;
    const auto corner = parse_pentax_af_area(areas->front().get_ref<const std::string&>());
    if (!corner) return std::nullopt;
    // The area is given by its top-left corner.
    const auto [w, h] = *area;
    return RawBox{w / 2 + corner->first, h / 2 + corner->second, w, h, frame->first, frame->second};
}

std::optional<RawBox> fujifilm_box(const json& notes, std::string_view path) {
    // A DNG written from a Fujifilm file keeps the maker notes but not the
    // frame the focus pixel refers to.
    if (const auto ext = file_extension(path); ext && text::to_lower(*ext) == "dng") return std::nullopt;
    if (const auto mode = string_tag(notes, "AFMode"); mode && *mode == "No") return std::nullopt;
    const auto pixel = parse_number_list(tag(notes, "FocusPixel"));
    if (!pixel || pixel->size() < 2) return std::nullopt;
    const double px = (*pixel)[0], py = (*pixel)[1];
    if (!(px > 0 || py > 0)) return std::nullopt;

    // The focus pixel is in whichever frame the camera used; take the smallest
    // candidate that contains it.
    constexpr std::pair<std::string_view, std::string_view> kFrames[] = {
        {"ExifImageWidth", "ExifImageHeight"},
        {"ImageWidth", "ImageHeight"},
        {"RawImageFullWidth", "RawImageFullHeight"},
    };
    std::optional<std::pair<double, double>> best;
    for (const auto& [wk, hk] : kFrames) {
        const auto fw = number(notes, wk);
        const auto fh = number(notes, hk);
        if (!fw || !fh || !(*fw > 0) || !(*fh > 0) || !(px <= *fw) || !(py <= *fh)) continue;
        if (!best || *fw * *fh < best->first * best->second) best = std::pair{*fw, *fh};
    }
    if (!best) return std::nullopt;
    const auto [fw, fh] = *best;
    return RawBox{px, py, 0.03 * fw, 0.03 * fh, fw, fh};
}

std::optional<FocusPoint> normalise(const RawBox& r, int64_t orientation) {
    if (!(r.fh > 0) || !(r.fw > 0) || !(r.w > 0) || !(r.h > 0)) return std::nullopt;
    const double x = std::clamp((r.cx - r.w / 2) / r.fw, 0.0, 1.0);
    const double y = std::clamp((r.cy - r.h / 2) / r.fh, 0.0, 1.0);
    // A box cut off at the left or top keeps its size; only the right and
    // bottom edges are trimmed to the frame.
    const double w = std::min(r.w / r.fw, 1 - x);
    const double h = std::min(r.h / r.fh, 1 - y);
    const Box b = orient_box({x, y, w, h}, orientation);
    const FocusPoint p{b.x * 100, b.y * 100, b.w * 100, b.h * 100};
    // A box with a non-finite side would be written as null, which readers
    // reject together with the whole record; better no box at all.
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.w) || !std::isfinite(p.h)) return std::nullopt;
    return p;
}

}  // namespace

std::optional<std::pair<double, double>> parse_wxh(std::string_view s) {
    const size_t x = s.find('x');
    if (x == std::string_view::npos) return std::nullopt;
    const auto w = text::parse_double(text::trim(s.substr(0, x)));
    const auto h = text::parse_double(text::trim(s.substr(x + 1)));
    if (!w || !h) return std::nullopt;
    return std::pair{*w, *h};
}

std::optional<std::pair<double, double>> parse_pentax_af_area(std::string_view s) {
    s = s.substr(0, s.find('('));
    const size_t comma = s.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    const auto x = text::parse_double(text::trim(s.substr(0, comma)));
    const auto y = text::parse_double(text::trim(s.substr(comma + 1)));
    if (!x || !y) return std::nullopt;
    return std::pair{*x, *y};
}

std::optional<std::array<double, 4>> parse_olympus_af_areas(std::string_view s) {
    std::array<double, 4> v{};
    size_t found = 0;
    for (size_t i = 0; i < s.size() && found < 4;) {
        if (s[i] < '0' || s[i] > '9') {
            ++i;
            continue;
        }
        const size_t start = i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        v[found++] = *text::parse_double(s.substr(start, i - start));
    }
    if (found < 4) return std::nullopt;
    return v;
}

Box orient_box(Box b, int64_t orientation) {
    const auto map = [orientation](double u, double v) -> std::pair<double, double> {
        switch (orientation) {
            case 2: return {1 - u, v};
            case 3: return {1 - u, 1 - v};
            case 4: return {u, 1 - v};
            case 5: return {v, u};
            case 6: return {1 - v, u};
            case 7: return {1 - v, 1 - u};
            case 8: return {v, 1 - u};
            default: return {u, v};
        }
    };
    const auto [ax, ay] = map(b.x, b.y);
    const auto [bx, by] = map(b.x + b.w, b.y + b.h);
    return {std::min(ax, bx), std::min(ay, by), std::abs(ax - bx), std::abs(ay - by)};
}

std::optional<FocusPoint> extract_focus(const json& notes, std::string_view brand,
                                        const std::optional<std::string>& model, std::string_view path,
                                        int64_t orientation) {
    if (!notes.is_object()) return std::nullopt;
    std::optional<RawBox> raw;
    if (brand == "Canon") {
        raw = canon_box(notes, model);
    } else if (brand == "Nikon") {
        raw = nikon_box(notes);
    } else if (brand == "Olympus") {
        raw = olympus_box(notes);
    } else if (brand == "Ricoh/Pentax") {
        raw = pentax_box(notes);
    } else if (brand == "Fujifilm") {
        raw = fujifilm_box(notes, path);
    }
    if (!raw) return std::nullopt;
    return normalise(*raw, orientation);
}

}  // namespace orv
