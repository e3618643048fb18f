// Loads kept ready for files about to be shown, so that stepping to a
// neighbour, or back to a file seen a moment ago, shows it without waiting.
// The host says which files to load and which to keep: the window keeps the
// shown file and its neighbours only; the desktop's previewer keeps the few
// it used last. A kept result is used only while its file is unchanged since
// its load started; a file changed since is loaded afresh. Loads ahead run
// as prefetches, behind every request; a file whose prefetch failed is not
// loaded ahead again. While the view is zoomed, the region at the view's
// place is loaded ahead as well, for the few files used last. Main thread only.
#pragma once

#include <sys/types.h>

#include <ctime>
#include <filesystem>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include <QObject>

#include "BackgroundLoad.hpp"
#include "PreviewViewController.hpp"
#include "ZoomLoad.hpp"

namespace orv::ui {

// What tells one state of a file from another without reading it: its
// identity, size, modification time and change time (which, unlike the
// modification time, nobody can set back).
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    // None when the path names nothing reachable; such a file changes by
    // appearing.
    static std::optional<FileStamp> of(const std::filesystem::path& file);
    friend bool operator==(const FileStamp& a, const FileStamp& b) {
        const auto same = [](const timespec& x, const timespec& y) {
            return x.tv_sec == y.tv_sec && x.tv_nsec == y.tv_nsec;
        };
        return a.device == b.device && a.inode == b.inode && a.size == b.size && same(a.modified, b.modified) &&
               same(a.changed, b.changed);
    }
};

class Prefetcher : public QObject {
public:
    static constexpr size_t kKeepAll = std::numeric_limits<size_t>::max();

    // Keeps at most `keep` files, dropping the one used longest ago first.
    // Regions at full size are kept for this many of the files used last
    // (the shown file and a neighbour on each side): each is several MB.
    static constexpr size_t kKeptZooms = 3;

    explicit Prefetcher(Loader loader, size_t keep = kKeepAll, ZoomLoader zoomLoader = {});

    // Shows `file` through the controller as one of its requests: a kept
    // result at once, a load still running when it ends (it is never
    // started twice), otherwise a load of its own, whose result is kept too.
    // A failed prefetch is not shown: the request loads the file itself.
    void show(const std::filesystem::path& file, PreviewViewController& controller);

    // Starts loads of those files not kept yet (or changed since their
    // load), in this order, but for files whose prefetch failed; each of
    // them counts as used now. With `zoom`, each file's region for it too,
    // once its inspection tells the orientation.
    void prefetch(const std::vector<std::filesystem::path>& files, const std::optional<ZoomWish>& zoom = {});

    // Drops every file but these. A dropped load runs to its end, but its
    // result is thrown away (a request showing it still gets it).
    void retain(const std::vector<std::filesystem::path>& files);

    bool holds(const std::filesystem::path& file) const { return find(file) != slots_.end(); }
    bool isLoaded(const std::filesystem::path& file) const;
    // Keeps `zoom` as the region of `file` when the file is kept.
    void keepZoom(const std::filesystem::path& file, const std::shared_ptr<ZoomLoad>& zoom);
    // The region kept for the file, loaded or on its way; none if none.
    std::shared_ptr<ZoomLoad> zoomOf(const std::filesystem::path& file) const;
    size_t size() const { return slots_.size(); }
    // The files kept, the one used last at the end.
    std::vector<std::filesystem::path> recent() const;

private:
    struct Slot {
        std::optional<FileStamp> stamp;  // the file as its load started
        std::shared_ptr<BackgroundLoad> load;
        std::shared_ptr<ZoomLoad> zoom;
    };
    using Slots = std::vector<std::pair<std::filesystem::path, Slot>>;

    Slots::const_iterator find(const std::filesystem::path& file) const;
    // The file's load, moved to the most recent place: the kept one while
    // the file is unchanged since its load started and the load can still
    // serve `kind`, else a new one.
    std::shared_ptr<BackgroundLoad> use(const std::filesystem::path& file, BackgroundLoad::Kind kind);
    void zoomAhead(const std::filesystem::path& file, const ZoomWish& wish);

    ZoomLoader zoomLoader_;
    Loader loader_;
    size_t keep_;
    Slots slots_;                             // the one used longest ago first
    std::set<std::filesystem::path> failed_;  // prefetched in vain
};

}  // namespace orv::ui
