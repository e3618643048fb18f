// Which kind of work the calling thread is doing: a run a user waits for,
// or one done ahead of need. Prefetch runs on ExifTool processes of its own
// under a short deadline, so it never delays a request; requests a user has
// moved past can be abandoned together.
#pragma once

#include <chrono>
#include <cstdint>

#include "exiftool/limits.hpp"

namespace orv {

enum class Lane { Request, Prefetch };

// The calling thread's lane (Request unless it said otherwise).
Lane current_lane();
void set_current_lane(Lane lane);

std::chrono::milliseconds deadline_for(Lane lane, const Limits& limits);

// Abandonment of requests: each entry point's call notes when it began;
// abandon_requests() makes every request call begun before it fail.
void begin_call();
bool call_abandoned();
uint64_t note_abandonment();  // the new generation

// The error of a run that was abandoned.
extern const char* const kAbandoned;

}  // namespace orv
