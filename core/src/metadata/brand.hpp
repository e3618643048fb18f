// Camera brands with maker-note support, recognised from the Make text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orv {

// One of "Canon", "Nikon", "Fujifilm", "Sony", "Olympus", "Panasonic",
// "Ricoh/Pentax", "Leica", "Sigma" (static text), or nothing.
std::optional<std::string_view> brand_for(const std::optional<std::string>& make);

}  // namespace orv
