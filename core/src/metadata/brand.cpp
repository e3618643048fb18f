#include "metadata/brand.hpp"

#include "text.hpp"

namespace orv {
namespace {

struct BrandRule {
    std::string_view piece;  // lower case, matched anywhere in the make
    std::string_view brand;
};

// Tried in order; the first piece found decides, so a make naming two makers
// goes to the earlier one.
constexpr BrandRule kBrandRules[] = {
    {"canon", "Canon"},         {"nikon", "Nikon"},          {"fuji", "Fujifilm"},
    {"sony", "Sony"},           {"olympus", "Olympus"},      {"om digital", "Olympus"},
    {"panasonic", "Panasonic"}, {"ricoh", "Ricoh/Pentax"},   {"pentax", "Ricoh/Pentax"},
    {"leica", "Leica"},         {"sigma", "Sigma"},
};

}  // namespace

std::optional<std::string_view> brand_for(const std::optional<std::string>& make) {
    if (!make) return std::nullopt;
    const std::string lower = text::to_lower(*make);
    for (const auto& rule : kBrandRules) {
        if (lower.find(rule.piece) != std::string::npos) return rule.brand;
    }
    return std::nullopt;
}

}  // namespace orv
