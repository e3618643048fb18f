// The desktop's previewer: one preview window that a file manager fills on
// request (Space on a file), reused for every file and hidden rather than
// destroyed, so the next request is instant. The arrow keys do not step
// through a list of our own; they ask the file manager to move its
// selection, which then asks for the neighbour. So that the neighbour is
// ready when asked for, the files next to the one shown in its folder (in
// the file manager's order) are loaded ahead, and the last few results are
// kept. Knows nothing of D-Bus: ServiceBus puts it on the bus.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "DesktopPreviewer.hpp"
#include "Prefetcher.hpp"
#include "PreviewViewController.hpp"

class QWindow;

namespace orv::ui::host {

// The X11 window a handle names ("x11:1e00007"), or none: Wayland handles
// and anything unreadable.
std::optional<unsigned long> x11Window(const QString& handle);

// The files to load ahead once `file` is shown: the nearest file on each side
// of it in its folder's order that gets a preview (folders and files that
// get a card are passed over), the one after it first when `forwardFirst`.
// Reads the folder: not for the main thread.
std::vector<std::filesystem::path> neighboursToPrefetch(const std::filesystem::path& file, bool forwardFirst);

class WaylandParent;

class PreviewService : public QObject {
    Q_OBJECT
public:
    // A service nobody has asked for a while gives its memory back; the bus
    // starts it again on the next request.
    static constexpr std::chrono::milliseconds kIdleExit = std::chrono::minutes(10);
    // Results kept for files shown or loaded ahead: a few steps back and forth.
    static constexpr size_t kKeptResults = 8;

    // The arrow keys as the file manager numbers them (GTK's directions).
    enum Direction : uint { Up = 2, Down = 3, Left = 4, Right = 5 };

    // Pictures go through `loader`; other files get their card without it,
    // or go to the desktop's own previewer when `desktopPreviewer` names one.
    explicit PreviewService(Loader loader = {}, std::chrono::milliseconds idleExit = kIdleExit,
                            std::optional<DesktopPreviewer::Command> desktopPreviewer = std::nullopt);
    ~PreviewService() override;

    // Shows the file a URI names in the window, creating nothing new: the
    // controller prepares it in place. With closeIfShown and the window
    // visible, closes it instead. Returns at once. `windowHandle` names the
    // caller's window, to keep ours above it where the platform allows.
    void showFile(const QString& uri, const QString& windowHandle, bool closeIfShown);
    void close();

    // Ours or the desktop previewer's window is up.
    bool isVisible() const { return visible_ || desktop_.isVisible(); }
    PreviewViewController& controller() { return controller_; }
    const Prefetcher& prefetcher() const { return prefetcher_; }
    QWidget* widget() const { return window_; }
    const DesktopPreviewer& desktopPreviewer() const { return desktop_; }

signals:
    void visibleChanged(bool visible);
    void selectionEvent(uint direction);
    // No window was shown for the idle time.
    void idle();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setVisible(bool visible);
    void updateVisible();
    void followWindow(const QString& windowHandle);
    void prefetchAround(const std::filesystem::path& file);

    // Whether file cards say how to get the desktop's previewer: read on
    // the loads' threads.
    std::shared_ptr<std::atomic<bool>> hintDesktopPreviewer_ = std::make_shared<std::atomic<bool>>(false);
    PreviewViewController controller_;
    Prefetcher prefetcher_;
    std::optional<std::filesystem::path> shown_;  // the file on this computer asked for last
    bool forward_ = true;                         // the last arrow key asked for a later file
    uint64_t search_ = 0;                         // the neighbour search that still counts
    QWidget* window_ = nullptr;
    std::unique_ptr<QWindow> caller_;  // the caller's window, when ours is transient for it
    QPointer<WaylandParent> waylandParent_;  // on Wayland: makes the caller's window our parent
    QTimer idleTimer_;
    bool visible_ = false;   // our window is up
    bool reported_ = false;  // the Visible the file manager was told
    bool sized_ = false;
    DesktopPreviewer desktop_;
};

}  // namespace orv::ui::host
