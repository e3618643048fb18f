// Loads kept ready for files about to be shown, so that stepping to a
// neighbour, or back to a file seen a moment ago, shows it without waiting.
// The host says which files to load and which to keep: the window keeps the
// shown file and its neighbours only; the desktop's previewer keeps the few
// it used last. A kept result is used only while its file is unchanged since
// its load started; a file changed since is loaded afresh. Loads go through
// the same loader and pool as the controller's own requests. Main thread only.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "BackgroundLoad.hpp"
#include "PreviewViewController.hpp"

namespace orv::ui {

// What tells one state of a file from another without reading it: its
// identity, size and modification time.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    // None when the path names nothing reachable; such a file changes by
    // appearing.
    static std::optional<FileStamp> of(const std::filesystem::path& file);
    friend bool operator==(const FileStamp& a, const FileStamp& b) {
        return a.device == b.device && a.inode == b.inode && a.size == b.size &&
               a.modified.tv_sec == b.modified.tv_sec && a.modified.tv_nsec == b.modified.tv_nsec;
    }
};

class Prefetcher {
public:
    static constexpr size_t kKeepAll = std::numeric_limits<size_t>::max();

    // Keeps at most `keep` files, dropping the one used longest ago first.
    explicit Prefetcher(Loader loader, size_t keep = kKeepAll);

    // Shows `file` through the controller as one of its requests: a kept
    // result at once, a load still running when it ends (it is never
    // started twice), otherwise a load of its own, whose result is kept too.
    void show(const std::filesystem::path& file, PreviewViewController& controller);

    // Starts loads of those files not kept yet (or changed since their
    // load), in this order; each of them counts as used now.
    void prefetch(const std::vector<std::filesystem::path>& files);

    // Drops every file but these. A dropped load runs to its end, but its
    // result is thrown away (a request waiting for it still gets it).
    void retain(const std::vector<std::filesystem::path>& files);

    bool holds(const std::filesystem::path& file) const { return find(file) != slots_.end(); }
    bool isLoaded(const std::filesystem::path& file) const;
    size_t size() const { return slots_.size(); }
    // The files kept, the one used last at the end.
    std::vector<std::filesystem::path> recent() const;

private:
    struct Slot;
    using Slots = std::vector<std::pair<std::filesystem::path, std::shared_ptr<Slot>>>;

    Slots::const_iterator find(const std::filesystem::path& file) const;
    // The file's slot, moved to the most recent place: the kept one while
    // the file is unchanged since its load started, else a new load.
    std::shared_ptr<Slot> use(const std::filesystem::path& file);

    Loader loader_;
    size_t keep_;
    Slots slots_;  // the one used longest ago first
};

}  // namespace orv::ui
