// From encoded bytes to a fitted picture: the part of the pipeline that sees
// untrusted data, usable on its own (the fuzz target drives it directly).
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "picture.hpp"

namespace orv::preview {

// The longer side of every picture shown.
inline constexpr uint32_t kPreviewBound = 1800;

// Decodes a JPEG, PNG or TIFF (told apart by the leading bytes) and fits it
// as `fit` says, within `budget`. Nothing for any other content, any
// decoding failure or a picture the budget cannot hold.
std::optional<Picture> decode_fitted(std::span<const uint8_t> bytes, Fit fit = kPreviewBound,
                                     const Budget& budget = kPreviewBudget);

}  // namespace orv::preview
