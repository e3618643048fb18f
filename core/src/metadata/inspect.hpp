// The metadata summary of one file.
#pragma once

#include <string>

#include "metadata/record.hpp"

namespace orv {

InspectResult inspect(const std::string& path);

}  // namespace orv
