#include "Prefetcher.hpp"

#include <algorithm>
#include <optional>

namespace orv::ui {

namespace fs = std::filesystem;

// One file's load: running until `result` is set. Shared with the load
// itself, so a slot dropped mid-load still hands its inspection and result
// to the requests waiting for it.
struct Prefetcher::Slot {
    std::optional<InspectionOutcome> inspected;
    std::optional<LoadResult> result;
    std::vector<PreviewViewController::Completion> waiting;
};

Prefetcher::Prefetcher(Loader loader) : loader_(loader ? std::move(loader) : systemLoader()) {}

std::shared_ptr<Prefetcher::Slot> Prefetcher::start(const fs::path& file) {
    auto slot = std::make_shared<Slot>();
    slots_[file] = slot;
    startLoad(loader_, file,
              LoadListener{[slot](const InspectionOutcome& outcome) {
                               slot->inspected = outcome;
                               for (auto& request : slot->waiting) request.inspected(outcome);
                           },
                           [slot](LoadResult result) {
                               slot->result = std::move(result);
                               // Every request that adopted this load completes;
                               // superseded ones only count themselves done.
                               for (auto& request : std::exchange(slot->waiting, {})) request.done(*slot->result);
                           }});
    return slot;
}

void Prefetcher::show(const fs::path& file, PreviewViewController& controller) {
    const auto it = slots_.find(file);
    const std::shared_ptr<Slot> slot = it != slots_.end() ? it->second : start(file);
    if (slot->result) {
        controller.showPreviewOfFile(file, *slot->result);
        return;
    }
    PreviewViewController::Completion request = controller.beginPreviewOfFile(file);
    if (slot->inspected) request.inspected(*slot->inspected);  // the panel need not wait for the picture
    slot->waiting.push_back(std::move(request));
}

void Prefetcher::prefetch(const std::vector<fs::path>& files) {
    for (const fs::path& file : files)
        if (!slots_.contains(file)) start(file);
}

void Prefetcher::retain(const std::vector<fs::path>& files) {
    std::erase_if(slots_, [&](const auto& entry) {
        return std::find(files.begin(), files.end(), entry.first) == files.end();
    });
}

bool Prefetcher::isLoaded(const fs::path& file) const {
    const auto it = slots_.find(file);
    return it != slots_.end() && it->second->result.has_value();
}

}  // namespace orv::ui
