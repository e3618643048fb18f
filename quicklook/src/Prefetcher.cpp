#include "Prefetcher.hpp"

#include <sys/stat.h>

#include <algorithm>

namespace orv::ui {

namespace fs = std::filesystem;

std::optional<FileStamp> FileStamp::of(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

Prefetcher::Prefetcher(Loader loader, size_t keep, ZoomLoader zoomLoader)
    : zoomLoader_(zoomLoader ? std::move(zoomLoader) : systemZoomLoader()),
      loader_(loader ? std::move(loader) : systemLoader()),
      keep_(std::max<size_t>(keep, 1)) {}

Prefetcher::Slots::const_iterator Prefetcher::find(const fs::path& file) const {
    return std::find_if(slots_.begin(), slots_.end(), [&](const auto& entry) { return entry.first == file; });
}

std::shared_ptr<BackgroundLoad> Prefetcher::use(const fs::path& file, BackgroundLoad::Kind kind) {
    // Taken before the load starts: a change during the load shows as a
    // change next time, never the other way round.
    std::optional<FileStamp> stamp = FileStamp::of(file);
    std::shared_ptr<BackgroundLoad> load;
    std::shared_ptr<ZoomLoad> zoom;
    if (const auto it = find(file); it != slots_.end()) {
        const Slot& kept = it->second;
        // An abandoned load never finishes; a failed prefetch may only have
        // run out of its short time, which a user's request does not share.
        const bool serves = !kept.load->isAbandoned() && !(kind == BackgroundLoad::Kind::Request && kept.load->failed());
        if (kept.stamp == stamp && serves) load = kept.load, zoom = kept.zoom;
        slots_.erase(it);
    }
    if (!load) {
        load = BackgroundLoad::start(loader_, file, kind);
        if (kind == BackgroundLoad::Kind::Prefetch)
            connect(load.get(), &BackgroundLoad::finished, this, [this, file, raw = load.get()] {
                if (raw->failed()) failed_.insert(file);
            });
    }
    slots_.emplace_back(file, Slot{std::move(stamp), load, std::move(zoom)});
    if (slots_.size() > keep_) slots_.erase(slots_.begin(), slots_.end() - static_cast<ptrdiff_t>(keep_));
    for (size_t i = 0; i + kKeptZooms < slots_.size(); ++i) slots_[i].second.zoom.reset();
    return load;
}

void Prefetcher::show(const fs::path& file, PreviewViewController& controller) {
    const std::shared_ptr<BackgroundLoad> load = use(file, BackgroundLoad::Kind::Request);
    controller.showLoad(file, load, zoomOf(file));
}

void Prefetcher::prefetch(const std::vector<fs::path>& files, const std::optional<ZoomWish>& zoom) {
    for (const fs::path& file : files) {
        if (failed_.contains(file)) continue;
        use(file, BackgroundLoad::Kind::Prefetch);
        if (zoom) zoomAhead(file, *zoom);
    }
}

void Prefetcher::zoomAhead(const fs::path& file, const ZoomWish& wish) {
    const auto it = std::find_if(slots_.begin(), slots_.end(), [&](const auto& entry) { return entry.first == file; });
    if (it == slots_.end() || (it->second.zoom && it->second.zoom->wish() == wish)) return;
    const std::shared_ptr<BackgroundLoad>& load = it->second.load;
    // The region needs the orientation the inspection tells.
    const std::optional<InspectionOutcome>& outcome =
        load->inspection() ? load->inspection() : load->result() ? std::optional(load->result()->outcome) : std::nullopt;
    if (!outcome) {
        const auto later = [this, file, wish, raw = load.get()] {
            if (const auto kept = find(file); kept != slots_.end() && kept->second.load.get() == raw) zoomAhead(file, wish);
        };
        connect(load.get(), &BackgroundLoad::inspected, this, later, Qt::SingleShotConnection);
        connect(load.get(), &BackgroundLoad::finished, this, later, Qt::SingleShotConnection);
        return;
    }
    if (const auto* summary = std::get_if<InspectedFile>(&*outcome))
        it->second.zoom = ZoomLoad::start(zoomLoader_, file, summary->orientation, wish, BackgroundLoad::Kind::Prefetch);
}

void Prefetcher::keepZoom(const fs::path& file, const std::shared_ptr<ZoomLoad>& zoom) {
    const auto it = std::find_if(slots_.begin(), slots_.end(), [&](const auto& entry) { return entry.first == file; });
    if (it != slots_.end()) it->second.zoom = zoom;
}

std::shared_ptr<ZoomLoad> Prefetcher::zoomOf(const fs::path& file) const {
    const auto it = find(file);
    return it == slots_.end() ? nullptr : it->second.zoom;
}

void Prefetcher::retain(const std::vector<fs::path>& files) {
    std::erase_if(slots_, [&](const auto& entry) {
        return std::find(files.begin(), files.end(), entry.first) == files.end();
    });
}

bool Prefetcher::isLoaded(const fs::path& file) const {
    const auto it = find(file);
    return it != slots_.end() && it->second.load->isFinished();
}

std::vector<fs::path> Prefetcher::recent() const {
    std::vector<fs::path> files;
    for (const auto& entry : slots_) files.push_back(entry.first);
    return files;
}

}  // namespace orv::ui
