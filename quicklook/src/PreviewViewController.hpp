// The preview's principal object: builds the window content once (the photo
// on the left, a 1-point divider, the 340-point metadata panel on the right)
// and serves preview requests: the load runs on a background thread, its
// result is applied here on the main thread. Only the newest request counts:
// a user's load it supersedes is abandoned.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>

#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QTimer>

#include "BackgroundLoad.hpp"
#include "MetadataPanel.hpp"
#include "PhotoView.hpp"
#include "Reader.hpp"
#include "StackView.hpp"
#include "ZoomLoad.hpp"

class QScrollArea;

namespace orv::ui {

class PreviewViewController : public QObject {
    Q_OBJECT
public:
    static constexpr QSize kPreferredContentSize{1180, 760};
    static constexpr int kPanelWidth = 340;
    static constexpr int kDividerWidth = 1;

    // Runs on a background thread and must not touch views. The default is
    // Reader::loadFile; tests give their own to count or script core calls.
    using Loader = orv::ui::Loader;
    // A request still waiting this long says it is still reading.
    static constexpr std::chrono::milliseconds kReadingNotice{1000};

    explicit PreviewViewController(Loader loader = {}, QObject* parent = nullptr, ZoomLoader zoomLoader = {});
    ~PreviewViewController() override;

    // The root view, built by loadView on first use. The controller owns it.
    QWidget* view();
    void loadView();
    QSize preferredContentSize() const { return kPreferredContentSize; }

    // Starts a request and returns at once. At once the window shows the
    // file loading: no picture, no focus box, the placeholder "Loading…",
    // and the panel only the file's name. panelPrepared() follows when the
    // panel (and focus box) show the inspection, previewPrepared() when the
    // picture is there too. When requests overlap, only the most recent one
    // is applied: a slower, older load never replaces the file asked for last,
    // and the user's load it supersedes is dropped or abandoned. After
    // kReadingNotice without a result the placeholder says "Reading…".
    void preparePreviewOfFile(const std::filesystem::path& file);
    // The newest request is not shown in full yet.
    bool isPreparing() const { return applied_ != latest_; }

    // A request that shows a load started elsewhere (a kept or running
    // prefetch): at once what it has told, the loading state until then; it
    // is superseded like any other. A prefetch that failed (its deadline is
    // short) is not shown: the request loads the file itself.
    // `zoom`, a region of the file loaded ahead, is shown when zoomed at its
    // centre and size.
    void showLoad(const std::filesystem::path& file, std::shared_ptr<BackgroundLoad> load,
                  std::shared_ptr<ZoomLoad> zoom = {});

    // A request whose result is already at hand (a prefetched one, or a
    // message): applied at once, with no loading state in between.
    void showPreviewOfFile(const std::filesystem::path& file, LoadResult result);

    // The loader this controller's requests go through.
    const Loader& loader() const { return loader_; }
    const ZoomLoader& zoomLoader() const { return zoomLoader_; }

    // Zooming in shows the picture at 100 % centred on the focus box when the
    // file has one, else on the picture's centre (chosen once the file's
    // inspection is known); the centre then stays for the next files, so a
    // burst is compared at one place. Zooming out shows the fitted picture.
    bool isZoomed() const { return photo_ && photo_->isZoomed(); }
    void setZoomed(bool zoomed);
    void toggleZoom() { setZoomed(!isZoomed()); }
    // Leaves the zoom; false when not zoomed.
    bool leaveZoom();
    // The centre and size the view's regions are asked with; none unless
    // zoomed with a centre. For loading the neighbours' regions ahead.
    std::optional<ZoomWish> zoomWish() const;
    // Zoomed, and a region for the file shown is on its way.
    bool isZoomPending() const { return isZoomed() && zoomLoad_ != nullptr; }

    PhotoView& photo() const { return *photo_; }
    StackView& stack() const { return *stack_; }
    QScrollArea* scrollView() const { return scroll_; }

    // What the panel shows now.
    const PanelModel& panel() const { return panel_->model(); }

    // Blocks until every load started by any controller or prefetch has
    // finished; for a program about to end.
    static void finishLoads();

    // The title of a file's error panel: the last component of its path.
    static QString displayName(const std::filesystem::path& file);

signals:
    // The newest request's inspection is on the panel (and its focus box
    // set); its picture may still be loading.
    void panelPrepared();
    // The newest request is shown in full.
    void previewPrepared();
    // Zoomed in or out.
    void zoomChanged(bool zoomed);
    // A region for the newest request arrived (or the file has none).
    void zoomPrepared();
    // A region of `file` is loading for the view: worth keeping for a step back.
    void zoomLoadStarted(const std::filesystem::path& file, const std::shared_ptr<ZoomLoad>& load);

private:
    uint64_t beginRequest(const BackgroundLoad* next = nullptr);
    void centreZoom();
    void loadZoomRegion();
    void applyZoom(uint64_t request, const std::shared_ptr<ZoomLoad>& load);
    void dropZoomLoad();
    void follow(uint64_t request, const std::filesystem::path& file, std::shared_ptr<BackgroundLoad> load);
    void showLoading(const std::filesystem::path& file);
    void applyInspection(uint64_t request, const std::filesystem::path& file, const InspectionOutcome& outcome);
    void showOutcome(uint64_t request, const std::filesystem::path& file, const InspectionOutcome& outcome);
    void apply(uint64_t request, const std::filesystem::path& file, LoadResult result);

    Loader loader_;
    // The window's content. Made at once, so that it owns the photo and the
    // stack from the start; laid out on the first view().
    std::unique_ptr<QWidget> root_;
    bool viewLoaded_ = false;
    QPointer<PhotoView> photo_;
    QPointer<StackView> stack_;
    QScrollArea* scroll_ = nullptr;
    std::unique_ptr<MetadataPanel> panel_;
    uint64_t latest_ = 0;      // the request whose result the views are to show
    uint64_t panelShown_ = 0;  // the request whose inspection the panel shows
    uint64_t applied_ = 0;     // the request shown in full last
    std::shared_ptr<BackgroundLoad> load_;  // the newest request's, while it runs
    QTimer readingNotice_;
    ZoomLoader zoomLoader_;
    std::filesystem::path file_;               // the newest request's
    std::optional<int64_t> orientation_;       // from its inspection, once known
    QSize recordSize_;                         // its pixel size from the inspection, when given
    std::shared_ptr<ZoomLoad> zoomLoad_;       // its region on the way
    std::shared_ptr<ZoomLoad> zoomOffered_;    // its region loaded ahead
    bool zoomMissing_ = false;                 // it has no full-size picture: asked once
};

}  // namespace orv::ui
