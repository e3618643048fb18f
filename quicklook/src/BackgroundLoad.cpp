#include "BackgroundLoad.hpp"

#include <algorithm>
#include <atomic>

#include <QCoreApplication>
#include <QPointer>
#include <QRunnable>
#include <QThread>
#include <QThreadPool>

namespace orv::ui {

namespace fs = std::filesystem;

namespace {

// A pool that belongs to the application object, whose end waits for the
// work still running.
QThreadPool& pool(QPointer<QThreadPool>& slot, int threads, QThread::Priority priority) {
    if (!slot) {
        slot = new QThreadPool(QCoreApplication::instance());
        slot->setThreadPriority(priority);
        slot->setMaxThreadCount(threads);
    }
    return *slot;
}

// A user's requests, at high priority. A few may overlap even on one core:
// a request never waits behind a slow file.
QThreadPool& requestPool() {
    static QPointer<QThreadPool> slot;
    return pool(slot, std::max(4, QThread::idealThreadCount()), QThread::HighPriority);
}

// Prefetches and folder reads: never a thread a request could want.
QThreadPool& prefetchPool() {
    static QPointer<QThreadPool> slot;
    return pool(slot, 2, QThread::LowPriority);
}

// Queued calls from one thread run in the order they were posted, so a
// load's inspection always reaches the main thread before its result.
void onMainThread(std::function<void()> call) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;  // the application is ending; nobody to tell
    QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
}

// Thrown out of a loader's report when its load was abandoned meanwhile:
// the picture of a file nobody wants is never decoded.
struct Abandoned {};

// Background work for the core while it lives, a user's request again after.
class PrefetchScope {
public:
    explicit PrefetchScope(bool prefetch) : prefetch_(prefetch) {
        if (prefetch_) Reader::systemCore().runAsPrefetch(true);
    }
    ~PrefetchScope() {
        if (prefetch_) Reader::systemCore().runAsPrefetch(false);
    }
    PrefetchScope(const PrefetchScope&) = delete;
    PrefetchScope& operator=(const PrefetchScope&) = delete;

private:
    bool prefetch_;
};

}  // namespace

// What the pool thread and the main thread both touch: only this state.
struct BackgroundLoad::Shared {
    enum State : int { Waiting, Running, Done, Abandoned };
    std::atomic<int> state{Waiting};
};

Loader systemLoader() {
    return [](const fs::path& file, const InspectionReport& report) { return Reader::loadFile(file, report); };
}

BackgroundLoad::BackgroundLoad(Kind kind, std::shared_ptr<Shared> shared) : kind_(kind), shared_(std::move(shared)) {}

BackgroundLoad::~BackgroundLoad() = default;

std::shared_ptr<BackgroundLoad> BackgroundLoad::start(const Loader& loader, const fs::path& file, Kind kind) {
    auto shared = std::make_shared<Shared>();
    std::shared_ptr<BackgroundLoad> load(new BackgroundLoad(kind, shared));
    // The task gets the path, the loader and the shared state, and hands
    // back only values; the load object itself is reached on the main
    // thread alone, through a weak reference.
    const std::weak_ptr<BackgroundLoad> self = load;
    QRunnable* task = QRunnable::create([loader, file, kind, shared, self] {
        int waiting = Shared::Waiting;
        if (!shared->state.compare_exchange_strong(waiting, Shared::Running)) return;  // dropped before it began
        const PrefetchScope scope(kind == Kind::Prefetch);
        bool reported = false;
        const InspectionReport report = [&](const InspectionOutcome& outcome) {
            if (shared->state.load() == Shared::Abandoned) throw Abandoned{};
            if (reported) return;  // the first word is final
            reported = true;
            onMainThread([self, outcome] {
                if (const auto load = self.lock()) load->deliverInspection(outcome);
            });
        };
        LoadResult result;
        try {
            result = loader(file, report);
        } catch (const Abandoned&) {
            return;
        } catch (...) {
            // A failed load is shown like an unreadable file, never thrown across the pool.
            const auto message = Reader::kUnreadableMessage;
            result = LoadResult{DecodedImage{}, ReadError{QString::fromUtf8(message.data(), message.size())}};
        }
        int running = Shared::Running;
        if (!shared->state.compare_exchange_strong(running, Shared::Done)) return;  // abandoned meanwhile
        onMainThread([self, result = std::move(result)]() mutable {
            if (const auto load = self.lock()) load->deliverResult(std::move(result));
        });
    });
    (kind == Kind::Prefetch ? prefetchPool() : requestPool()).start(task);
    return load;
}

bool BackgroundLoad::failed() const { return result_ && std::holds_alternative<ReadError>(result_->outcome); }

bool BackgroundLoad::isAbandoned() const { return shared_->state.load() == Shared::Abandoned; }

void BackgroundLoad::abandon() {
    int state = shared_->state.load();
    while (state == Shared::Waiting || state == Shared::Running) {
        if (shared_->state.compare_exchange_weak(state, Shared::Abandoned)) {
            // Only the core can stop a call it is in; a prefetch holds no
            // user's ExifTool and runs to its short deadline.
            if (state == Shared::Running && kind_ == Kind::Request) Reader::systemCore().abandonRequests();
            return;
        }
    }
}

void BackgroundLoad::deliverInspection(const InspectionOutcome& outcome) {
    if (isAbandoned() || inspection_) return;
    inspection_ = outcome;
    const auto keep = shared_from_this();  // a receiver may let go of the last reference
    emit inspected(*inspection_);
}

void BackgroundLoad::deliverResult(LoadResult result) {
    if (isAbandoned() || result_) return;
    // What the panel already shows stays: the result carries the same outcome.
    if (inspection_) result.outcome = *inspection_;
    result_ = std::move(result);
    const auto keep = shared_from_this();
    emit finished(*result_);
}

namespace {

// Runs a task's work here and its follow-up on the main thread.
void runTask(const BackgroundTask& work) {
    std::function<void()> then;
    try {
        then = work();
    } catch (...) {
        return;  // nothing learnt, nothing to do
    }
    if (then) onMainThread(std::move(then));
}

}  // namespace

void startTask(BackgroundTask work) {
    prefetchPool().start(QRunnable::create([work = std::move(work)]() { runTask(work); }));
}

void startCoreTask(BackgroundLoad::Kind kind, BackgroundTask work) {
    const bool prefetch = kind == BackgroundLoad::Kind::Prefetch;
    (prefetch ? prefetchPool() : requestPool()).start(QRunnable::create([work = std::move(work), prefetch]() {
        const PrefetchScope scope(prefetch);
        runTask(work);
    }));
}

void finishLoads() {
    requestPool().waitForDone();
    prefetchPool().waitForDone();
}

}  // namespace orv::ui
