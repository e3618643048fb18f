#include "Prefetcher.hpp"

#include <sys/stat.h>

#include <algorithm>

namespace orv::ui {

namespace fs = std::filesystem;

std::optional<FileStamp> FileStamp::of(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    return FileStamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim};
}

// One file's load: running until `result` is set. Shared with the load
// itself, so a slot dropped mid-load still hands its inspection and result
// to the requests waiting for it.
struct Prefetcher::Slot {
    std::optional<FileStamp> stamp;  // the file as its load started
    std::optional<InspectionOutcome> inspected;
    std::optional<LoadResult> result;
    std::vector<PreviewViewController::Completion> waiting;
};

Prefetcher::Prefetcher(Loader loader, size_t keep)
    : loader_(loader ? std::move(loader) : systemLoader()), keep_(std::max<size_t>(keep, 1)) {}

Prefetcher::Slots::const_iterator Prefetcher::find(const fs::path& file) const {
    return std::find_if(slots_.begin(), slots_.end(), [&](const auto& entry) { return entry.first == file; });
}

std::shared_ptr<Prefetcher::Slot> Prefetcher::use(const fs::path& file) {
    // Taken before the load starts: a change during the load shows as a
    // change next time, never the other way round.
    std::optional<FileStamp> stamp = FileStamp::of(file);
    std::shared_ptr<Slot> slot;
    if (const auto it = find(file); it != slots_.end()) {
        if (it->second->stamp == stamp) slot = it->second;
        slots_.erase(it);
    }
    if (!slot) {
        slot = std::make_shared<Slot>();
        slot->stamp = std::move(stamp);
        startLoad(loader_, file,
                  LoadListener{[slot](const InspectionOutcome& outcome) {
                                   slot->inspected = outcome;
                                   // A copy: a request it completes may start another.
                                   for (auto& request : std::vector(slot->waiting)) request.inspected(outcome);
                               },
                               [slot](LoadResult result) {
                                   slot->result = std::move(result);
                                   // Every request that adopted this load completes;
                                   // superseded ones only count themselves done.
                                   for (auto& request : std::exchange(slot->waiting, {})) request.done(*slot->result);
                               }});
    }
    slots_.emplace_back(file, slot);
    if (slots_.size() > keep_) slots_.erase(slots_.begin(), slots_.end() - static_cast<ptrdiff_t>(keep_));
    return slot;
}

void Prefetcher::show(const fs::path& file, PreviewViewController& controller) {
    const std::shared_ptr<Slot> slot = use(file);
    if (slot->result) {
        controller.showPreviewOfFile(file, *slot->result);
        return;
    }
    PreviewViewController::Completion request = controller.beginPreviewOfFile(file);
    if (slot->inspected) request.inspected(*slot->inspected);  // the panel need not wait for the picture
    slot->waiting.push_back(std::move(request));
}

void Prefetcher::prefetch(const std::vector<fs::path>& files) {
    for (const fs::path& file : files) use(file);
}

void Prefetcher::retain(const std::vector<fs::path>& files) {
    std::erase_if(slots_, [&](const auto& entry) {
        return std::find(files.begin(), files.end(), entry.first) == files.end();
    });
}

bool Prefetcher::isLoaded(const fs::path& file) const {
    const auto it = find(file);
    return it != slots_.end() && it->second->result.has_value();
}

std::vector<fs::path> Prefetcher::recent() const {
    std::vector<fs::path> files;
    for (const auto& entry : slots_) files.push_back(entry.first);
    return files;
}

}  // namespace orv::ui
