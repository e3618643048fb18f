// orvanta-preview: the preview host. Shows one window per the preview
// controller (several files: the arrow keys step through them), or runs the
// same flow headless to write a PNG of the window (--render) or print its
// final state (--dump).
#pragma once

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include <QImage>
#include <QSize>

#include "Prefetcher.hpp"
#include "PreviewViewController.hpp"

namespace orv::ui::host {

struct Options {
    std::vector<std::filesystem::path> files;
    std::optional<std::filesystem::path> renderTo;
    QSize size = PreviewViewController::kPreferredContentSize;
    bool dump = false;
    bool help = false;
    bool version = false;
    bool service = false;              // the desktop's previewer on the session bus
    bool registerPreviewer = false;    // make it the user's previewer
    bool unregisterPreviewer = false;  // undo that

    bool headless() const { return renderTo.has_value() || dump; }
};

std::string usage();

// The command line after the program name, or a message saying what is wrong.
std::variant<Options, std::string> parseArguments(const std::vector<std::string>& args);

// Whether a window can be shown: a display is named, or the user picked a
// Qt platform explicitly.
bool hasDisplay();
std::string noDisplayMessage();

// Where --render writes file `index` (0-based) of `count`: OUT itself for one
// file, else OUT with -1, -2, ... before its extension.
std::filesystem::path renderPath(const std::filesystem::path& out, size_t index, size_t count);

// The window content as it is drawn at `size`, once its layout has settled.
QImage renderImage(PreviewViewController& controller, QSize size);

// A window's title for file `index` (0-based) of `count`: the file's name,
// and its place when there are several.
QString windowTitle(const std::filesystem::path& file, size_t index, size_t count);

// Standard output and error as they were when the program started. ExifTool
// runs inside this process and, while it runs, standard output and error are
// redirected to the core's capture files; text the host writes through these
// duplicates can neither get lost in a capture nor corrupt ExifTool's output.
struct Streams {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
};
Streams keepStandardStreams();

// Sends Qt's messages to `err`. Headless runs also drop the offscreen
// platform's notices; real warnings still get through.
void routeMessages(std::FILE* err, bool headless);

// Runs every file through its own controller, several loads at a time, and
// writes the results in the order of the files. Returns the exit status.
int runHeadless(const Options& options, const PreviewViewController::Loader& loader, const Streams& streams);

// One window for all the files: Left and Right step through them; Space or
// Esc closes, the keys people expect of a file previewer. Titled with the
// file's name. Once a file is shown, its neighbours in the list are loaded
// in the background, so a step shows them at once.
class PreviewWindow : public QObject {
public:
    explicit PreviewWindow(std::vector<std::filesystem::path> files, PreviewViewController::Loader loader = {});

    QWidget* widget() const { return window_; }
    PreviewViewController& controller() { return controller_; }
    const Prefetcher& prefetcher() const { return prefetcher_; }
    size_t index() const { return index_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

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
