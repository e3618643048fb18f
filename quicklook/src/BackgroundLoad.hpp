// The background half of every preview request: one load of one file on the
// preview pool, its inspection and then its result handed back on the main
// thread. The controller's own requests and the host's prefetches both go
// through here, so they share one pool, one failure rule and one wait at the
// end of the program.
#pragma once

#include <filesystem>
#include <functional>

#include "Reader.hpp"

namespace orv::ui {

// Runs on a background thread and must not touch views. The default is
// Reader::loadFile; tests give their own to count or script core calls. A
// loader may tell `report` what the inspection found as soon as it is known,
// before the picture is decoded, so the panel need not wait for the picture;
// the outcome reported is the one the request shows.
using Loader = std::function<LoadResult(const std::filesystem::path& file, const InspectionReport& report)>;

// The two moments of a load as the main thread hears of them: `inspected`
// at most once, always before `done`, and only when the loader reported;
// `done` once with the whole result.
struct LoadListener {
    std::function<void(const InspectionOutcome& outcome)> inspected;
    std::function<void(LoadResult result)> done;
};

Loader systemLoader();

// Starts loader(file) on the preview pool and returns at once; the listener
// follows on the main thread. A load that throws reads as an unreadable file
// (or as what it had already reported). When the application is already
// gone, nobody is told.
void startLoad(const Loader& loader, const std::filesystem::path& file, LoadListener listener);

// Runs `work` on the preview pool; the function it returns then runs on the
// main thread (an empty one, or a throwing `work`, means nothing to do).
using BackgroundTask = std::function<std::function<void()>()>;
void startTask(BackgroundTask work);

// Blocks until every load and task started so far has finished; for a
// program about to end.
void finishLoads();

}  // namespace orv::ui
