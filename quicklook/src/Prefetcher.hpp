// Loads kept ready for the files next to the one shown, so that stepping to
// a neighbour shows it without waiting. Holds the shown file's result and its
// neighbours' (their pictures are the only real cost, at most two beyond the
// one on screen, whose picture the view shares); the host says which files
// those are, and everything else is dropped. Loads go through the same
// loader and pool as the controller's own requests. Main thread only.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "BackgroundLoad.hpp"
#include "PreviewViewController.hpp"

namespace orv::ui {

class Prefetcher {
public:
    explicit Prefetcher(Loader loader);

    // Shows `file` through the controller as one of its requests: a held
    // result at once, a load still running when it ends (it is never started
    // twice), otherwise a load of its own, whose result is held too.
    void show(const std::filesystem::path& file, PreviewViewController& controller);

    // Starts loads of those files that are not held yet.
    void prefetch(const std::vector<std::filesystem::path>& files);

    // Drops every file but these. A dropped load runs to its end, but its
    // result is thrown away (a request waiting for it still gets it).
    void retain(const std::vector<std::filesystem::path>& files);

    bool holds(const std::filesystem::path& file) const { return slots_.contains(file); }
    bool isLoaded(const std::filesystem::path& file) const;
    size_t size() const { return slots_.size(); }

private:
    struct Slot;
    std::shared_ptr<Slot> start(const std::filesystem::path& file);

    Loader loader_;
    std::map<std::filesystem::path, std::shared_ptr<Slot>> slots_;
};

}  // namespace orv::ui
