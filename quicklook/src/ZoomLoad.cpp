#include "ZoomLoad.hpp"

namespace orv::ui {

ZoomLoader systemZoomLoader() {
    return [](const std::filesystem::path& file, int64_t orientation, const ZoomWish& wish) {
        return Reader::loadZoom(file, orientation, wish);
    };
}

std::shared_ptr<ZoomLoad> ZoomLoad::start(const ZoomLoader& loader, const std::filesystem::path& file,
                                          int64_t orientation, const ZoomWish& wish, BackgroundLoad::Kind kind) {
    std::shared_ptr<ZoomLoad> load(new ZoomLoad(wish));
    // The pool thread gets values only; the load is reached on the main
    // thread alone, and not at all once nobody holds it.
    const std::weak_ptr<ZoomLoad> self = load;
    startCoreTask(kind, [loader, file, orientation, wish, self]() -> std::function<void()> {
        ZoomRegion region;
        try {
            region = loader(file, orientation, wish);
        } catch (...) {
            region = {};  // shown as a file without a full-size picture
        }
        return [self, region = std::move(region)]() mutable {
            const auto load = self.lock();
            if (!load || load->result_) return;
            load->result_ = std::move(region);
            emit load->finished();
        };
    });
    return load;
}

}  // namespace orv::ui
