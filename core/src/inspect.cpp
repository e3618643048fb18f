#include "inspect.hpp"

namespace orv {

InspectResult inspect(const std::string&) {
    return fail(std::string("The file couldn't be read"));
}

}  // namespace orv
