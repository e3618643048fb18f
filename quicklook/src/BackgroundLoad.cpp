#include "BackgroundLoad.hpp"

#include <algorithm>
#include <optional>

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

// Queued calls from one thread run in the order they were posted, so a
// load's inspection always reaches the main thread before its result.
void onMainThread(std::function<void()> call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;  // the application is ending; nobody to tell
    QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}

}  // namespace

Loader systemLoader() {
    return [](const fs::path& file, const InspectionReport& report) { return Reader::loadFile(file, report); };
}

void startLoad(const Loader& loader, const fs::path& file, LoadListener listener) {
    // The task gets only the path and the loader and returns only values;
    // nothing it touches is shared with the main thread while it runs.
    QRunnable* task = QRunnable::create([loader, file, listener = std::move(listener)]() mutable {
        std::optional<InspectionOutcome> reported;
        const InspectionReport report = [&](const InspectionOutcome& outcome) {
            if (reported) return;  // the first word is final
            reported = outcome;
            if (listener.inspected)
                onMainThread([inspected = std::move(listener.inspected), outcome]() { inspected(outcome); });
        };
        LoadResult result = [&] {
            try {
                return loader(file, report);
            } catch (...) {
                // A failed load is shown like an unreadable file, never thrown across the pool.
                const auto message = Reader::kUnreadableMessage;
                return LoadResult{DecodedImage{}, ReadError{QString::fromUtf8(message.data(), message.size())}};
            }
        }();
        // What the panel already shows stays: the result carries the same outcome.
        if (reported) result.outcome = std::move(*reported);
        onMainThread([done = std::move(listener.done), result = std::move(result)]() mutable { done(std::move(result)); });
    });
    previewPool().start(task);
}

void startTask(BackgroundTask work) {
    previewPool().start(QRunnable::create([work = std::move(work)]() {
        std::function<void()> then;
        try {
            then = work();
        } catch (...) {
            return;  // nothing learnt, nothing to do
        }
        if (then) onMainThread(std::move(then));
    }));
}

void finishLoads() { previewPool().waitForDone(); }

}  // namespace orv::ui
