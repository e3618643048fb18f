#include "Window.hpp"

#include <cstdlib>

#include <QApplication>
#include <QWidget>

#include "Keys.hpp"

namespace orv::ui::host {

namespace fs = std::filesystem;

QString windowTitle(const fs::path& file, size_t index, size_t count) {
    // "[*]" in a window title is Qt's modified-marker; doubled, it shows as typed.
    QString title = PreviewViewController::displayName(file).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    if (count > 1) title += QStringLiteral(" (%1/%2)").arg(index + 1).arg(count);
    return title;
}

PreviewWindow::PreviewWindow(std::vector<fs::path> files, PreviewViewController::Loader loader, ZoomLoader zoomLoader)
    : files_(std::move(files)),
      controller_(std::move(loader), nullptr, std::move(zoomLoader)),
      prefetcher_(controller_.loader(), Prefetcher::kKeepAll, controller_.zoomLoader()) {
    window_ = controller_.view();
    // The neighbours load only once the file asked for is on screen, so they
    // never compete with it for ExifTool.
    connect(&controller_, &PreviewViewController::previewPrepared, this,
            [this] { prefetcher_.prefetch(neighbours(index_), controller_.zoomWish()); });
    window_->setAttribute(Qt::WA_QuitOnClose, true);
    window_->setMinimumSize(kMinimumWindowSize);
    window_->resize(controller_.preferredContentSize());
    connect(&controller_, &PreviewViewController::zoomLoadStarted, &prefetcher_, &Prefetcher::keepZoom);
    // Zoomed in, the neighbours' regions at the same place load ahead too.
    connect(&controller_, &PreviewViewController::zoomChanged, this, [this](bool zoomed) {
        if (zoomed && !controller_.isPreparing()) prefetcher_.prefetch(neighbours(index_), controller_.zoomWish());
    });
    bindKeys(*window_,
             {KeyCommand::Close, KeyCommand::Escape, KeyCommand::Left, KeyCommand::Right, KeyCommand::Zoom,
              KeyCommand::PanLeft, KeyCommand::PanRight, KeyCommand::PanUp, KeyCommand::PanDown},
             [this](KeyCommand command) {
                 if (handleZoomKey(command, controller_)) return;
                 if (command == KeyCommand::Close || command == KeyCommand::Escape) window_->close();
                 if (command == KeyCommand::Left && index_ > 0) showFile(index_ - 1);
                 if (command == KeyCommand::Right && index_ + 1 < files_.size()) showFile(index_ + 1);
             });
    showFile(0);
}

void PreviewWindow::showFile(size_t index) {
    index_ = index;
    window_->setWindowTitle(windowTitle(files_[index], index, files_.size()));
    std::vector<fs::path> kept = neighbours(index);
    kept.push_back(files_[index]);
    prefetcher_.retain(kept);
    prefetcher_.show(files_[index], controller_);
}

std::vector<fs::path> PreviewWindow::neighbours(size_t index) const {
    std::vector<fs::path> around;
    if (index > 0) around.push_back(files_[index - 1]);
    if (index + 1 < files_.size()) around.push_back(files_[index + 1]);
    return around;
}

bool hasDisplay() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

std::string noDisplayMessage() {
    return "orvanta-preview: no display to open a window on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
           "To write the preview to a picture instead: orvanta-preview --render preview.png FILE\n";
}

int runWindow(const Options& options) {
    PreviewWindow window(options.files);
    window.widget()->show();
    return QApplication::exec();
}

}  // namespace orv::ui::host
