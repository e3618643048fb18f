// orvanta-preview's window: one window for all the files given.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "Options.hpp"
#include "Prefetcher.hpp"
#include "PreviewViewController.hpp"

namespace orv::ui::host {

// Whether a window can be shown: a display is named, or the user picked a
// Qt platform explicitly.
bool hasDisplay();
std::string noDisplayMessage();

// A window's title for file `index` (0-based) of `count`: the file's name,
// and its place when there are several.
QString windowTitle(const std::filesystem::path& file, size_t index, size_t count);

// One window for all the files: Left and Right step through them (zoomed,
// at the same place); Space or Esc closes, the keys people expect of a file
// previewer; Z zooms (see Keys.hpp). Titled with the
// file's name. Once a file is shown, its neighbours in the list are loaded
// in the background, so a step shows them at once.
class PreviewWindow : public QObject {
public:
    explicit PreviewWindow(std::vector<std::filesystem::path> files, PreviewViewController::Loader loader = {},
                           ZoomLoader zoomLoader = {});

    QWidget* widget() const { return window_; }
    PreviewViewController& controller() { return controller_; }
    const Prefetcher& prefetcher() const { return prefetcher_; }
    size_t index() const { return index_; }

private:
    void showFile(size_t index);
    std::vector<std::filesystem::path> neighbours(size_t index) const;

    std::vector<std::filesystem::path> files_;
    size_t index_ = 0;
    PreviewViewController controller_;
    Prefetcher prefetcher_;
    QWidget* window_ = nullptr;
};

int runWindow(const Options& options);

}  // namespace orv::ui::host
