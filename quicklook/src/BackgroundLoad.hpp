// The background half of every preview request: one load of one file on the
// preview pool, its result handed back on the main thread. The controller's
// own requests and the host's prefetches both go through here, so they share
// one pool, one failure rule and one wait at the end of the program.
#pragma once

#include <filesystem>
#include <functional>

#include "Reader.hpp"

namespace orv::ui {

// Runs on a background thread and must not touch views. The default is
// Reader::loadFile; tests give their own to count or script core calls.
using Loader = std::function<LoadResult(const std::filesystem::path& file)>;

// Called on the main thread with the load's result.
using LoadDone = std::function<void(LoadResult result)>;

Loader systemLoader();

// Starts loader(file) on the preview pool and returns at once; `done` follows
// on the main thread. A load that throws reads as an unreadable file. When
// the application is already gone, nobody is told.
void startLoad(const Loader& loader, const std::filesystem::path& file, LoadDone done);

// Blocks until every load started so far has finished; for a program about
// to end.
void finishLoads();

}  // namespace orv::ui
