#include "exiftool/lane.hpp"

#include <atomic>

namespace orv {
namespace {

thread_local Lane t_lane = Lane::Request;
thread_local uint64_t t_call_generation = 0;
std::atomic<uint64_t> g_generation{0};

}  // namespace

const char* const kAbandoned = "abandoned";

Lane current_lane() {
    return t_lane;
}

void set_current_lane(Lane lane) {
    t_lane = lane;
}

std::chrono::milliseconds deadline_for(Lane lane, const Limits& limits) {
    return lane == Lane::Prefetch ? limits.background_deadline : limits.run_deadline;
}

void begin_call() {
    t_call_generation = g_generation.load();
}

bool call_abandoned() {
    return t_lane == Lane::Request && t_call_generation < g_generation.load();
}

uint64_t note_abandonment() {
    return ++g_generation;
}

}  // namespace orv
