#include "Service.hpp"

#include <array>

#include <QApplication>
#include <QPointer>
#include <QWindow>

#include "BackgroundLoad.hpp"
#include "FileKind.hpp"
#include "FileUri.hpp"
#include "FolderOrder.hpp"
#include "Keys.hpp"
#include "WaylandParent.hpp"
#include "Window.hpp"

namespace orv::ui::host {

namespace fs = std::filesystem;

std::optional<unsigned long> x11Window(const QString& handle) {
    if (!handle.startsWith(QLatin1String("x11:"))) return std::nullopt;
    QString digits = handle.mid(4);
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) digits = digits.mid(2);
    bool ok = false;
    const qulonglong id = digits.toULongLong(&ok, 16);
    // X11 window ids are 29 bits wide; anything else is not one.
    if (!ok || id == 0 || id > 0x1fffffffULL) return std::nullopt;
    return static_cast<unsigned long>(id);
}

std::vector<fs::path> neighboursToPrefetch(const fs::path& file, bool forwardFirst) {
    const FolderOrder::Neighbours near =
        FolderOrder::neighboursOf(file, [](const fs::path& other) { return !FileKind::cardOf(other); });
    std::vector<fs::path> files;
    for (const auto& side : forwardFirst ? std::array{near.after, near.before} : std::array{near.before, near.after})
        if (side) files.push_back(*side);
    return files;
}

PreviewService::PreviewService(Loader loader, std::chrono::milliseconds idleExit,
                               std::optional<DesktopPreviewer::Command> desktopPreviewer)
    : controller_(FileKind::cardsForOtherFiles(loader ? std::move(loader) : systemLoader(),
                                               [hint = hintDesktopPreviewer_] {
                                                   return *hint ? QString::fromLatin1(DesktopPreviewer::kInstallHint)
                                                                : QString();
                                               })),
      prefetcher_(controller_.loader(), kKeptResults, controller_.zoomLoader()),
      desktop_(std::move(desktopPreviewer)) {
    // The service outlives its window: closing it only hides it.
    QApplication::setQuitOnLastWindowClosed(false);
    window_ = controller_.view();
    // A window that belongs to the file manager's: as a dialog it can be
    // kept above that window (X11 marks only dialogs as transient), with
    // the buttons of an ordinary window.
    window_->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    window_->setAttribute(Qt::WA_QuitOnClose, false);
    window_->setMinimumSize(kMinimumWindowSize);
    window_->installEventFilter(this);  // its showing, hiding and minimising
    // Left and Up ask the file manager for an earlier file, Right and Down
    // for a later one; the next neighbours load in that direction first.
    // Z and Shift with the arrows zoom as in the window of our own.
    bindKeys(*window_,
             {KeyCommand::Close, KeyCommand::Escape, KeyCommand::Up, KeyCommand::Down, KeyCommand::Left,
              KeyCommand::Right, KeyCommand::Zoom, KeyCommand::PanLeft, KeyCommand::PanRight, KeyCommand::PanUp,
              KeyCommand::PanDown},
             [this](KeyCommand command) {
                 if (handleZoomKey(command, controller_)) return;
                 switch (command) {
                     case KeyCommand::Close:
                     case KeyCommand::Escape: close(); return;
                     case KeyCommand::Up: forward_ = false; emit selectionEvent(Up); return;
                     case KeyCommand::Down: forward_ = true; emit selectionEvent(Down); return;
                     case KeyCommand::Left: forward_ = false; emit selectionEvent(Left); return;
                     case KeyCommand::Right: forward_ = true; emit selectionEvent(Right); return;
                     default: return;
                 }
             });

    // The neighbours load only once the file asked for is on screen, so they
    // never compete with it for ExifTool.
    connect(&controller_, &PreviewViewController::previewPrepared, this, [this] {
        if (shown_) prefetchAround(*shown_);
    });
    connect(&controller_, &PreviewViewController::zoomLoadStarted, &prefetcher_, &Prefetcher::keepZoom);
    // Zoomed in, the neighbours' regions at the same place load ahead too.
    connect(&controller_, &PreviewViewController::zoomChanged, this, [this](bool zoomed) {
        if (zoomed && shown_ && !controller_.isPreparing()) prefetchAround(*shown_);
    });

    // The file manager hears of the desktop previewer's window and arrow
    // keys as of ours. A file it cannot take after all gets its card.
    connect(&desktop_, &DesktopPreviewer::visibleChanged, this, &PreviewService::updateVisible);
    connect(&desktop_, &DesktopPreviewer::selectionEvent, this, &PreviewService::selectionEvent);
    connect(&desktop_, &DesktopPreviewer::unavailable, this, [this](const QString& uri, const QString& windowHandle) {
        *hintDesktopPreviewer_ = true;
        showFile(uri, windowHandle, false);
    });
    *hintDesktopPreviewer_ = !desktop_.isAvailable();

    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(idleExit);
    connect(&idleTimer_, &QTimer::timeout, this, &PreviewService::idle);
    idleTimer_.start();
}

PreviewService::~PreviewService() {
    // The window goes after the rest of this object: it must not report its hiding here then.
    if (window_) window_->removeEventFilter(this);
    if (window_ && window_->windowHandle()) window_->windowHandle()->setTransientParent(nullptr);
}

void PreviewService::showFile(const QString& uri, const QString& windowHandle, bool closeIfShown) {
    if (closeIfShown && isVisible()) {
        close();
        return;
    }
    ++search_;  // the neighbours of a file asked for earlier are no longer wanted
    // One window at a time. The desktop previewer is asked before ours
    // goes, so the file manager sees no gap; a photo never waits for it.
    if (desktop_.takes(uri)) {
        shown_.reset();
        desktop_.showFile(uri, windowHandle, closeIfShown);
        window_->hide();
        return;
    }
    const UriTarget target = resolveUri(uri);
    if (const auto* local = std::get_if<LocalFile>(&target)) {
        window_->setWindowTitle(windowTitle(local->path, 0, 1));
        shown_ = local->path;
        prefetcher_.show(local->path, controller_);  // a kept result is shown at once
    } else {
        const auto& away = std::get<UnreachableFile>(target);
        window_->setWindowTitle(windowTitle(away.name, 0, 1));
        shown_.reset();
        controller_.showPreviewOfFile(away.name, LoadResult{DecodedImage{}, ReadError{away.message}});
    }
    if (!sized_) {
        window_->resize(controller_.preferredContentSize());
        sized_ = true;
    }
    const bool wasVisible = visible_;
    followWindow(windowHandle);
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    // Brought forward when it was hidden or minimised. A window already up
    // is kept above the file manager's by its parent; asking again for
    // attention would only earn a "ready" notice. A window drawn off screen
    // has nothing to come forward from.
    if (!wasVisible && QGuiApplication::platformName() != QLatin1String("offscreen")) {
        window_->raise();
        window_->activateWindow();
    }
    desktop_.close();  // after ours is up
}

void PreviewService::close() {
    window_->close();
    desktop_.close();
}

void PreviewService::prefetchAround(const fs::path& file) {
    const uint64_t search = ++search_;
    const QPointer<PreviewService> self(this);
    // The folder is read on the preview pool: a folder of thousands of
    // files never holds up the window.
    startTask([self, search, file, forward = forward_]() -> std::function<void()> {
        std::vector<fs::path> files = neighboursToPrefetch(file, forward);
        if (files.empty()) return {};
        return [self, search, files = std::move(files)] {
            if (self && self->search_ == search) self->prefetcher_.prefetch(files, self->controller_.zoomWish());
        };
    });
}

void PreviewService::followWindow(const QString& windowHandle) {
    // X11 lets one program name another's window by number; Wayland only
    // through a handle the file manager exported (xdg-foreign).
    const QString platform = QGuiApplication::platformName();
    const bool wayland = platform == QLatin1String("wayland");
    if (!wayland && platform != QLatin1String("xcb")) return;
    window_->winId();  // gives the widget its platform window
    QWindow* own = window_->windowHandle();
    if (!own) return;
    if (wayland) {
        if (!waylandParent_) waylandParent_ = new WaylandParent(*own);  // the window's child
        waylandParent_->follow(windowHandle);
        return;
    }
    std::unique_ptr<QWindow> caller;
    if (const auto id = x11Window(windowHandle)) caller.reset(QWindow::fromWinId(static_cast<WId>(*id)));
    own->setTransientParent(caller.get());
    caller_ = std::move(caller);  // the previous caller's window is let go only now
}

void PreviewService::setVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (!visible) ++search_;  // nobody steps on from a closed window
    updateVisible();
}

void PreviewService::updateVisible() {
    if (isVisible() == reported_) return;
    reported_ = isVisible();
    if (reported_)
        idleTimer_.stop();
    else
        idleTimer_.start();
    emit visibleChanged(reported_);
}

bool PreviewService::eventFilter(QObject* watched, QEvent* event) {
    // Spontaneous ones too. A minimised window counts as closed, so the
    // file manager's next Space brings it back rather than closing it.
    const QEvent::Type type = event->type();
    if (watched == window_ && (type == QEvent::Show || type == QEvent::Hide || type == QEvent::WindowStateChange))
        setVisible(window_->isVisible() && !window_->isMinimized());
    return false;
}

}  // namespace orv::ui::host
