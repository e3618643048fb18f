// The background half of every preview request: one load of one file on a
// pool thread, its inspection and then its result handed back as signals on
// the main thread. The controller's own requests and the host's prefetches
// both go through here, so they share one failure rule, one way to be
// abandoned and one wait at the end of the program.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include <QObject>

#include "Reader.hpp"

namespace orv::ui {

// Runs on a background thread and must not touch views. The default is
// Reader::loadFile; tests give their own to count or script core calls. A
// loader may tell `report` what the inspection found as soon as it is known,
// before the picture is decoded, so the panel need not wait for the picture;
// the outcome reported is the one the request shows. `report` does not
// return when the load was abandoned meanwhile: the loader unwinds there.
using Loader = std::function<LoadResult(const std::filesystem::path& file, const InspectionReport& report)>;

Loader systemLoader();

// One load of one file. Created and used on the main thread; shared by the
// requests that show it (a prefetch a user's request adopts, say), and alive
// while anyone holds it.
class BackgroundLoad : public QObject, public std::enable_shared_from_this<BackgroundLoad> {
    Q_OBJECT
public:
    // Whose load it is. A user's request runs at once, on its own threads,
    // with the core's long deadline, and is abandoned when the user moves
    // on. A prefetch runs on threads and ExifTool processes of its own with
    // a short deadline, so it never delays a request; it is never abandoned.
    enum class Kind { Request, Prefetch };

    // Starts loader(file) and returns at once. A load that throws reads as
    // an unreadable file (or as what it had already reported).
    static std::shared_ptr<BackgroundLoad> start(const Loader& loader, const std::filesystem::path& file, Kind kind);
    ~BackgroundLoad() override;

    Kind kind() const { return kind_; }
    // What the load has told so far.
    const std::optional<InspectionOutcome>& inspection() const { return inspection_; }
    const std::optional<LoadResult>& result() const { return result_; }
    bool isFinished() const { return result_.has_value(); }
    // Finished with an error: the file's own, a deadline passed, a throw.
    bool failed() const;

    // Nobody wants this load any more. One not begun never begins; a running
    // one is cut short (the core's user requests in progress fail at once)
    // and tells nothing more. Either way it never finishes.
    void abandon();
    bool isAbandoned() const;

signals:
    // At most once, always before finished(), and only when the loader
    // reported.
    void inspected(const InspectionOutcome& outcome);
    void finished(const LoadResult& result);

private:
    struct Shared;
    BackgroundLoad(Kind kind, std::shared_ptr<Shared> shared);
    void deliverInspection(const InspectionOutcome& outcome);
    void deliverResult(LoadResult result);

    Kind kind_;
    std::shared_ptr<Shared> shared_;  // with the pool thread that runs it
    std::optional<InspectionOutcome> inspection_;
    std::optional<LoadResult> result_;
};

// Runs `work` on the prefetch pool; the function it returns then runs on the
// main thread (an empty one, or a throwing `work`, means nothing to do).
using BackgroundTask = std::function<std::function<void()>()>;
void startTask(BackgroundTask work);
// The same for work that calls the core on behalf of a `kind` of load: a
// user's on the request pool, a prefetch on the prefetch pool as background
// work of the core.
void startCoreTask(BackgroundLoad::Kind kind, BackgroundTask work);

// Blocks until every load and task started so far has finished or been
// dropped; for a program about to end, and for tests.
void finishLoads();

}  // namespace orv::ui
