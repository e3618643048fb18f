#include "Headless.hpp"

#include <deque>
#include <memory>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QImageWriter>
#include <QLayout>
#include <QPixmap>
#include <QWidget>

#include "Dump.hpp"

namespace orv::ui::host {

namespace fs = std::filesystem;

namespace {

// Loads in flight ahead of the one being written out: enough to overlap
// inspection with output, few enough that finished pictures don't pile up.
constexpr size_t kLoadsAhead = 4;

// Lets layout requests and resizes posted by the last changes run, so the
// grab shows the settled window.
void settle() {
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
}

// Each controller serves one request: once it is no longer preparing, and
// zoomed, has its region, its file is shown in full.
void waitUntilPrepared(const PreviewViewController& controller) {
    QEventLoop loop;
    QObject::connect(&controller, &PreviewViewController::previewPrepared, &loop, &QEventLoop::quit);
    QObject::connect(&controller, &PreviewViewController::zoomPrepared, &loop, &QEventLoop::quit);
    while (controller.isPreparing() || controller.isZoomPending()) loop.exec();
}

}  // namespace

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
    std::deque<std::unique_ptr<PreviewViewController>> active;
    const size_t count = options.files.size();
    size_t next = 0;
    int status = 0;
    for (size_t index = 0; index < count; ++index) {
        // Overlapping requests: later files load while earlier ones are written.
        while (next < count && active.size() < kLoadsAhead) {
            auto& controller = active.emplace_back(std::make_unique<PreviewViewController>(loader));
            controller->view()->resize(options.size);
            if (options.zoom) {
                // The region asked for is sized by the photo view: laid out first.
                if (QLayout* layout = controller->view()->layout()) layout->activate();
                controller->setZoomed(true);
            }
            controller->preparePreviewOfFile(options.files[next++]);
        }
        const std::unique_ptr<PreviewViewController> current = std::move(active.front());
        active.pop_front();
        waitUntilPrepared(*current);
        if (options.zoom) {
            settle();  // a view laid out otherwise asks for another region
            waitUntilPrepared(*current);
        }

        if (options.renderTo) {
            const fs::path target = renderPath(*options.renderTo, index, count);
            const QImage image = renderImage(*current, options.size);
            QImageWriter writer(QFile::decodeName(QByteArray::fromStdString(target.native())), "png");
            if (!writer.write(image)) {
                std::fprintf(streams.err, "orvanta-preview: cannot write %s: %s\n", target.c_str(),
                             qPrintable(writer.errorString()));
                status = 1;
            }
        }
        if (options.dump) printDump(*current, streams.out);
    }
    return status;
}

}  // namespace orv::ui::host
