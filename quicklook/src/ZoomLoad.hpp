// One load of a place of a file's picture at full size, on a pool thread,
// its result handed back as a signal on the main thread. Shared by whoever
// shows it (a region loaded ahead for a neighbour, adopted when the user
// steps to it) and alive while anyone holds it. Main thread only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include <QObject>

#include "BackgroundLoad.hpp"
#include "Reader.hpp"

namespace orv::ui {

// Runs on a background thread and must not touch views. The default is
// Reader::loadZoom; tests give their own.
using ZoomLoader =
    std::function<ZoomRegion(const std::filesystem::path& file, int64_t orientation, const ZoomWish& wish)>;

ZoomLoader systemZoomLoader();

class ZoomLoad : public QObject, public std::enable_shared_from_this<ZoomLoad> {
    Q_OBJECT
public:
    // Starts loader(file, orientation, wish) and returns at once. A loader
    // that throws gives no region.
    static std::shared_ptr<ZoomLoad> start(const ZoomLoader& loader, const std::filesystem::path& file,
                                           int64_t orientation, const ZoomWish& wish, BackgroundLoad::Kind kind);

    const ZoomWish& wish() const { return wish_; }
    const std::optional<ZoomRegion>& result() const { return result_; }

signals:
    void finished();

private:
    explicit ZoomLoad(const ZoomWish& wish) : wish_(wish) {}

    ZoomWish wish_;
    std::optional<ZoomRegion> result_;
};

}  // namespace orv::ui
