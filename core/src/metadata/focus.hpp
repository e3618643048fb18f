// Where the camera focused: the maker notes' autofocus point or area as one
// box in percent of the picture as displayed (after its orientation).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "metadata/record.hpp"
#include "metadata/tag_map.hpp"

namespace orv {

// The box for Canon, Nikon, Olympus, Ricoh/Pentax and Fujifilm maker notes;
// nothing for other brands or when any needed tag is missing or unusable.
std::optional<FocusPoint> extract_focus(const json& maker_notes, std::string_view brand,
                                        const std::optional<std::string>& model, std::string_view path,
                                        int64_t orientation);

// "6000x4000" -> (6000, 4000).
std::optional<std::pair<double, double>> parse_wxh(std::string_view text);

// "12,34 (centre)" -> (12, 34).
std::optional<std::pair<double, double>> parse_pentax_af_area(std::string_view text);

// The first four runs of digits: (x1, y1, x2, y2).
std::optional<std::array<double, 4>> parse_olympus_af_areas(std::string_view text);

struct Box {
    double x, y, w, h;
};

// Turns a box in fractions of the stored picture into the displayed frame.
Box orient_box(Box b, int64_t orientation);

}  // namespace orv
