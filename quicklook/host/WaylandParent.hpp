// Keeps the preview window above the file manager's on Wayland. A Wayland
// program cannot name another's window; the file manager instead exports
// its window through xdg-foreign and hands us the handle ("wayland:…").
// We import that handle and tell the compositor it is our window's parent,
// so the window opens over the file manager's and stays above it.
//
// Qt drops a hidden window's Wayland surface and makes a new one when it is
// shown again; the parent is set once more on each new surface. Outside a
// native Wayland session (X11, XWayland, offscreen) this does nothing, and
// so does a build without the protocol files.
#pragma once

#include <memory>
#include <optional>

#include <QObject>
#include <QString>

class QWindow;

namespace orv::ui::host {

// The exported handle a window handle names ("wayland:HANDLE" gives
// "HANDLE"), or none: X11 handles, an empty handle, anything else.
std::optional<QString> waylandHandle(const QString& handle);

class WaylandParent : public QObject {
    Q_OBJECT
public:
    // Watches `window` (ours) and lives as its child: a window Qt makes
    // anew needs a WaylandParent of its own.
    explicit WaylandParent(QWindow& window);
    ~WaylandParent() override;

    // Parents the window to the one `handle` names; another kind of handle,
    // or one the compositor no longer knows, leaves the window without one.
    void follow(const QString& handle);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Imported;
    void parentSurface();

    QWindow& window_;
    QString handle_;                     // the exported handle followed now
    std::unique_ptr<Imported> imported_; // the compositor's object for it
    void* parented_ = nullptr;           // the surface given that parent last
};

}  // namespace orv::ui::host
