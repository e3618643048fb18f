// The desktop's previewer: one preview window that a file manager fills on
// request (Space on a file), reused for every file and hidden rather than
// destroyed, so the next request is instant. The arrow keys do not step
// through a list of our own; they ask the file manager to move its
// selection, which then asks for the neighbour. Knows nothing of D-Bus:
// ServiceBus puts it on the bus.
#pragma once

#include <chrono>
#include <memory>
#include <optional>

#include <QObject>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "PreviewViewController.hpp"

class QWindow;

namespace orv::ui::host {

// The X11 window a handle names ("x11:1e00007"), or none: Wayland handles
// and anything unreadable.
std::optional<unsigned long> x11Window(const QString& handle);

class PreviewService : public QObject {
    Q_OBJECT
public:
    // A service nobody has asked for a while gives its memory back; the bus
    // starts it again on the next request.
    static constexpr std::chrono::milliseconds kIdleExit = std::chrono::minutes(10);

    // The arrow keys as the file manager numbers them (GTK's directions).
    enum Direction : uint { Up = 2, Down = 3, Left = 4, Right = 5 };

    // Pictures go through `loader`; other files get their card without it.
    explicit PreviewService(Loader loader = {}, std::chrono::milliseconds idleExit = kIdleExit);
    ~PreviewService() override;

    // Shows the file a URI names in the window, creating nothing new: the
    // controller prepares it in place. With closeIfShown and the window
    // visible, closes it instead. Returns at once. `windowHandle` names the
    // caller's window, to keep ours above it where the platform allows.
    void showFile(const QString& uri, const QString& windowHandle, bool closeIfShown);
    void close();

    bool isVisible() const { return visible_; }
    PreviewViewController& controller() { return controller_; }
    QWidget* widget() const { return window_; }

signals:
    void visibleChanged(bool visible);
    void selectionEvent(uint direction);
    // No window was shown for the idle time.
    void idle();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setVisible(bool visible);
    void followWindow(const QString& windowHandle);

    PreviewViewController controller_;
    QWidget* window_ = nullptr;
    std::unique_ptr<QWindow> caller_;  // the caller's window, when ours is transient for it
    QTimer idleTimer_;
    bool visible_ = false;
    bool sized_ = false;
};

}  // namespace orv::ui::host
