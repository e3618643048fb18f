#include "Service.hpp"

#include <array>

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWindow>

#include "BackgroundLoad.hpp"
#include "FileKind.hpp"
#include "FileUri.hpp"
#include "FolderOrder.hpp"
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

PreviewService::PreviewService(Loader loader, std::chrono::milliseconds idleExit)
    : controller_(FileKind::cardsForOtherFiles(loader ? std::move(loader) : systemLoader())),
      prefetcher_(controller_.loader(), kKeptResults) {
    // The service outlives its window: closing it only hides it.
    QApplication::setQuitOnLastWindowClosed(false);
    window_ = controller_.view();
    // A window that belongs to the file manager's: as a dialog it can be
    // kept above that window (X11 marks only dialogs as transient), with
    // the buttons of an ordinary window.
    window_->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    window_->setAttribute(Qt::WA_QuitOnClose, false);
    window_->setMinimumSize(480, 320);
    qApp->installEventFilter(this);  // the window's keys, whichever child has focus, and its showing

    // The neighbours load only once the file asked for is on screen, so they
    // never compete with it for ExifTool.
    connect(&controller_, &PreviewViewController::previewPrepared, this, [this] {
        if (shown_) prefetchAround(*shown_);
    });

    idleTimer_.setSingleShot(true);
    idleTimer_.setInterval(idleExit);
    connect(&idleTimer_, &QTimer::timeout, this, &PreviewService::idle);
    idleTimer_.start();
}

PreviewService::~PreviewService() {
    if (qApp) qApp->removeEventFilter(this);
    if (window_ && window_->windowHandle()) window_->windowHandle()->setTransientParent(nullptr);
}

void PreviewService::showFile(const QString& uri, const QString& windowHandle, bool closeIfShown) {
    if (closeIfShown && visible_) {
        close();
        return;
    }
    const UriTarget target = resolveUri(uri);
    ++search_;  // the neighbours of a file asked for earlier are no longer wanted
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
    followWindow(windowHandle);
    window_->setWindowState(window_->windowState() & ~Qt::WindowMinimized);
    window_->show();
    // Brought forward when it is behind the file manager's window; a window
    // drawn off screen has nothing to come forward from.
    if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
        window_->raise();
        window_->activateWindow();
    }
}

void PreviewService::close() { window_->close(); }

void PreviewService::prefetchAround(const fs::path& file) {
    const uint64_t search = ++search_;
    const QPointer<PreviewService> self(this);
    // The folder is read on the preview pool: a folder of thousands of
    // files never holds up the window.
    startTask([self, search, file, forward = forward_]() -> std::function<void()> {
        std::vector<fs::path> files = neighboursToPrefetch(file, forward);
        if (files.empty()) return {};
        return [self, search, files = std::move(files)] {
            if (self && self->search_ == search) self->prefetcher_.prefetch(files);
        };
    });
}

void PreviewService::followWindow(const QString& windowHandle) {
    // Only X11 lets one program name another's window by number; on Wayland
    // the window manager places ours by itself.
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
    window_->winId();  // gives the widget its platform window
    QWindow* own = window_->windowHandle();
    if (!own) return;
    std::unique_ptr<QWindow> caller;
    if (const auto id = x11Window(windowHandle)) caller.reset(QWindow::fromWinId(static_cast<WId>(*id)));
    own->setTransientParent(caller.get());
    caller_ = std::move(caller);  // the previous caller's window is let go only now
}

void PreviewService::setVisible(bool visible) {
    if (visible == visible_) return;
    visible_ = visible;
    if (visible) {
        idleTimer_.stop();
    } else {
        idleTimer_.start();
        ++search_;  // nobody steps on from a closed window
    }
    emit visibleChanged(visible);
}

bool PreviewService::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_) {
        // Spontaneous ones too: a minimised window counts as closed, so the
        // file manager's next Space brings it back rather than closing it.
        if (event->type() == QEvent::Show) setVisible(true);
        if (event->type() == QEvent::Hide) setVisible(false);
    }
    if (event->type() != QEvent::KeyPress) return false;
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Close) || key->matches(QKeySequence::Quit)) {
        close();
        return true;
    }
    // Left and Up ask the file manager for an earlier file, Right and Down
    // for a later one; the next neighbours load in that direction first.
    switch (key->key()) {
        case Qt::Key_Up: forward_ = false; emit selectionEvent(Up); return true;
        case Qt::Key_Down: forward_ = true; emit selectionEvent(Down); return true;
        case Qt::Key_Left: forward_ = false; emit selectionEvent(Left); return true;
        case Qt::Key_Right: forward_ = true; emit selectionEvent(Right); return true;
        case Qt::Key_Space:
        case Qt::Key_Escape: close(); return true;
        default: return false;
    }
}

}  // namespace orv::ui::host
