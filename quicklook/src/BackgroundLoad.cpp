#include "BackgroundLoad.hpp"

#include <algorithm>

#include <QCoreApplication>
#include <QPointer>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

namespace orv::ui {

namespace fs = std::filesystem;

namespace {

// Loads run here, at high priority. The pool belongs to the application
// object, whose end waits for loads still running. A few loads may overlap
// even on one core: a request never waits behind a slow file.
QThreadPool& previewPool() {
    static QPointer<QThreadPool> pool;
    if (!pool) {
        pool = new QThreadPool(QCoreApplication::instance());
        pool->setThreadPriority(QThread::HighPriority);
        pool->setMaxThreadCount(std::max(4, QThread::idealThreadCount()));
    }
    return *pool;
}

}  // namespace

Loader systemLoader() {
    return [](const fs::path& file) { return Reader::loadFile(file); };
}

void startLoad(const Loader& loader, const fs::path& file, LoadDone done) {
    // The task gets only the path and the loader and returns only values;
    // nothing it touches is shared with the main thread while it runs.
    QRunnable* task = QRunnable::create([loader, file, done = std::move(done)]() mutable {
        LoadResult result = [&] {
            try {
                return loader(file);
            } catch (...) {
                // A failed load is shown like an unreadable file, never thrown across the pool.
                const auto message = Reader::kUnreadableMessage;
                return LoadResult{DecodedImage{}, ReadError{QString::fromUtf8(message.data(), message.size())}};
            }
        }();
        QCoreApplication* app = QCoreApplication::instance();
        if (!app) return;  // the application is ending; nobody to show it to
        QMetaObject::invokeMethod(
            app, [done = std::move(done), result = std::move(result)]() mutable { done(std::move(result)); },
            Qt::QueuedConnection);
    });
    previewPool().start(task);
}

void finishLoads() { previewPool().waitForDone(); }

}  // namespace orv::ui
