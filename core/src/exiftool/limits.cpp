#include "exiftool/limits.hpp"

#include <mutex>

namespace orv {
namespace {

std::mutex g_mutex;
Limits g_limits;

}  // namespace

Limits limits() {
    std::lock_guard lock(g_mutex);
    return g_limits;
}

void set_limits_for_testing(const Limits& limits) {
    std::lock_guard lock(g_mutex);
    g_limits = limits;
}

}  // namespace orv
