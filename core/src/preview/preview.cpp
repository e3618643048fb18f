#include "../preview.hpp"

namespace orv {

std::optional<std::vector<uint8_t>> embedded_preview_jpeg(const std::string&, int64_t) {
    return std::nullopt;
}

}  // namespace orv
