#include "Host.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <deque>
#include <memory>

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QImageWriter>
#include <QKeyEvent>
#include <QPixmap>
#include <QWidget>

#include "Dump.hpp"

namespace orv::ui::host {

namespace fs = std::filesystem;

namespace {

// Loads in flight ahead of the one being written out: enough to overlap
// inspection with output, few enough that finished pictures don't pile up.
constexpr size_t kLoadsAhead = 4;
constexpr int kMaxSide = 8192;

bool parseSize(const std::string& text, QSize& size) {
    const auto x = text.find('x');
    if (x == std::string::npos) return false;
    int w = 0, h = 0;
    const char* begin = text.data();
    const char* mid = begin + x;
    const char* end = begin + text.size();
    auto [p1, e1] = std::from_chars(begin, mid, w);
    auto [p2, e2] = std::from_chars(mid + 1, end, h);
    if (e1 != std::errc() || p1 != mid || e2 != std::errc() || p2 != end) return false;
    if (w < 1 || h < 1 || w > kMaxSide || h > kMaxSide) return false;
    size = QSize(w, h);
    return true;
}

fs::path absoluteOf(const fs::path& file) {
    std::error_code ec;
    fs::path absolute = fs::absolute(file, ec);
    return ec ? file : absolute;
}

// Lets layout requests and resizes posted by the last changes run, so the
// grab shows the settled window.
void settle() {
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

void waitUntilPrepared(const PreviewViewController& controller, const bool& prepared) {
    if (prepared) return;
    QEventLoop loop;
    QObject::connect(&controller, &PreviewViewController::previewPrepared, &loop, &QEventLoop::quit);
    while (!prepared) loop.exec();
}

std::FILE* messageStream = stderr;
bool dropPlatformNotices = false;

void printMessage(QtMsgType type, const QMessageLogContext&, const QString& message) {
    // Qt's note that it picked a runtime folder of its own is no news to the user.
    if (message.contains(QLatin1String("XDG_RUNTIME_DIR"))) return;
    if (dropPlatformNotices) {
        if (type == QtDebugMsg || type == QtInfoMsg) return;
        if (message.contains(QLatin1String("propagateSizeHints"))) return;
    }
    std::fprintf(messageStream, "orvanta-preview: %s\n", qPrintable(message));
    std::fflush(messageStream);
    if (type == QtFatalMsg) std::abort();
}

std::FILE* duplicate(int fd, std::FILE* fallback) {
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
    if (copy < 0) return fallback;
    std::FILE* stream = ::fdopen(copy, "w");
    if (!stream) ::close(copy);
    return stream ? stream : fallback;
}

}  // namespace

QString windowTitle(const fs::path& file, size_t index, size_t count) {
    // "[*]" in a window title is Qt's modified-marker; doubled, it shows as typed.
    QString title = PreviewViewController::displayName(file).replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    if (count > 1) title += QStringLiteral(" (%1/%2)").arg(index + 1).arg(count);
    return title;
}

PreviewWindow::PreviewWindow(std::vector<fs::path> files, PreviewViewController::Loader loader)
    : files_(std::move(files)), controller_(std::move(loader)), prefetcher_(controller_.loader()) {
    window_ = controller_.view();
    // The neighbours load only once the file asked for is on screen, so they
    // never compete with it for ExifTool.
    connect(&controller_, &PreviewViewController::previewPrepared, this,
            [this] { prefetcher_.prefetch(neighbours(index_)); });
    window_->setAttribute(Qt::WA_QuitOnClose, true);
    window_->setMinimumSize(480, 320);
    window_->resize(controller_.preferredContentSize());
    qApp->installEventFilter(this);
    showFile(0);
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !window_) return false;
    const auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Close) || key->matches(QKeySequence::Quit)) {
        window_->close();
        return true;
    }
    switch (key->key()) {
        case Qt::Key_Left:
            if (index_ > 0) showFile(index_ - 1);
            return true;
        case Qt::Key_Right:
            if (index_ + 1 < files_.size()) showFile(index_ + 1);
            return true;
        case Qt::Key_Space:
        case Qt::Key_Escape:
            window_->close();
            return true;
        default:
            return false;
    }
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

std::string usage() {
    return "usage: orvanta-preview [options] [--] FILE...\n"
           "       orvanta-preview --service [--dump]\n"
           "       orvanta-preview --register-previewer | --unregister-previewer\n"
           "\n"
           "Shows each photo with its metadata in a window: the picture with the\n"
           "camera's focus box on the left, the metadata panel on the right.\n"
           "With several files, Left and Right step through them; Space or Esc closes.\n"
           "\n"
           "  --render OUT.png  no window: write a PNG of the preview (with several\n"
           "                    files, OUT-1.png, OUT-2.png, ... in order)\n"
           "  --size WxH        size of the rendered window (default 1180x760)\n"
           "  --dump            no window: print the preview's final state as JSON\n"
           "                    Lines, one block per file\n"
           "  --service         be the desktop's previewer: show the files GNOME Files\n"
           "                    asks for (Space on a file) until 10 idle minutes pass\n"
           "  --register-previewer    make Space in GNOME Files open Orvanta preview\n"
           "                          (for this user; D-Bus starts --service on demand)\n"
           "  --unregister-previewer  undo --register-previewer\n"
           "  -h, --help        show this help\n"
           "  --version         show the version\n";
}

std::variant<Options, std::string> parseArguments(const std::vector<std::string>& args) {
    Options options;
    bool sizeGiven = false;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.empty() || a[0] != '-' || a == "-") {
            options.files.push_back(absoluteOf(a));
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
        } else if (a == "-h" || a == "--help") {
            options.help = true;
        } else if (a == "--version") {
            options.version = true;
        } else if (a == "--dump") {
            options.dump = true;
        } else if (a == "--service") {
            options.service = true;
        } else if (a == "--register-previewer") {
            options.registerPreviewer = true;
        } else if (a == "--unregister-previewer") {
            options.unregisterPreviewer = true;
        } else if (a == "--render" || a == "--size") {
            if (i + 1 >= args.size()) return a + " needs a value";
            const std::string& value = args[++i];
            if (a == "--render") {
                if (value.empty()) return std::string("--render needs a file name");
                options.renderTo = fs::path(value);
            } else {
                if (!parseSize(value, options.size))
                    return "--size needs WIDTHxHEIGHT in points, 1 to " + std::to_string(kMaxSide) + ", not \"" +
                           value + "\"";
                sizeGiven = true;
            }
        } else {
            return "unknown option \"" + a + "\"";
        }
    }
    if (options.help || options.version) return options;
    if (sizeGiven && !options.renderTo) return std::string("--size goes with --render");
    if (options.registerPreviewer || options.unregisterPreviewer) {
        const char* name = options.registerPreviewer ? "--register-previewer" : "--unregister-previewer";
        if (options.registerPreviewer && options.unregisterPreviewer)
            return std::string("--register-previewer and --unregister-previewer undo each other; give one");
        if (options.service || options.dump || options.renderTo || !options.files.empty())
            return std::string(name) + " goes alone";
        return options;
    }
    if (options.service) {
        if (options.renderTo) return std::string("--render does not go with --service");
        if (!options.files.empty()) return std::string("--service takes no FILE: the file manager names them");
        return options;
    }
    if (options.files.empty()) return std::string("no FILE given");
    return options;
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

fs::path renderPath(const fs::path& out, size_t index, size_t count) {
    if (count <= 1) return out;
    fs::path numbered = out;
    numbered.replace_filename(out.stem().native() + "-" + std::to_string(index + 1) + out.extension().native());
    return numbered;
}

QImage renderImage(PreviewViewController& controller, QSize size) {
    QWidget* root = controller.view();
    root->resize(size);
    if (!root->isVisible()) root->show();
    settle();
    return root->grab().toImage();
}

int runHeadless(const Options& options, const PreviewViewController::Loader& loader, const Streams& streams) {
    struct Active {
        std::unique_ptr<PreviewViewController> controller;
        std::unique_ptr<bool> prepared = std::make_unique<bool>(false);
    };
    std::deque<Active> active;
    const size_t count = options.files.size();
    size_t next = 0;
    int status = 0;
    for (size_t index = 0; index < count; ++index) {
        // Overlapping requests: later files load while earlier ones are written.
        while (next < count && active.size() < kLoadsAhead) {
            Active a;
            a.controller = std::make_unique<PreviewViewController>(loader);
            bool* prepared = a.prepared.get();
            QObject::connect(a.controller.get(), &PreviewViewController::previewPrepared,
                             [prepared] { *prepared = true; });
            a.controller->view()->resize(options.size);
            a.controller->preparePreviewOfFile(options.files[next++]);
            active.push_back(std::move(a));
        }
        Active current = std::move(active.front());
        active.pop_front();
        waitUntilPrepared(*current.controller, *current.prepared);

        if (options.renderTo) {
            const fs::path target = renderPath(*options.renderTo, index, count);
            const QImage image = renderImage(*current.controller, options.size);
            QImageWriter writer(QFile::decodeName(QByteArray::fromStdString(target.native())), "png");
            if (!writer.write(image)) {
                std::fprintf(streams.err, "orvanta-preview: cannot write %s: %s\n", target.c_str(),
                             qPrintable(writer.errorString()));
                status = 1;
            }
        }
        if (options.dump) {
            for (const std::string& line : dumpLines(*current.controller))
                std::fprintf(streams.out, "%s\n", line.c_str());
            std::fflush(streams.out);
        }
    }
    return status;
}

int runWindow(const Options& options) {
    PreviewWindow window(options.files);
    window.widget()->show();
    return QApplication::exec();
}

Streams keepStandardStreams() {
    std::fflush(stdout);
    std::fflush(stderr);
    return Streams{duplicate(STDOUT_FILENO, stdout), duplicate(STDERR_FILENO, stderr)};
}

void routeMessages(std::FILE* err, bool headless) {
    messageStream = err;
    dropPlatformNotices = headless;
    qInstallMessageHandler(printMessage);
}

}  // namespace orv::ui::host
