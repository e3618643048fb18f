#include "PreviewViewController.hpp"

#include <climits>

#include <QCoreApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QPalette>
#include <QPointer>
#include <QProxyStyle>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

#include "FileKind.hpp"
#include "FocusCheckBox.hpp"
#include "Palette.hpp"
#include "PhotoView.hpp"
#include "StackView.hpp"

namespace orv::ui {

namespace fs = std::filesystem;

namespace {

void fill(QWidget* view, const QColor& color) {
    view->setAutoFillBackground(true);
    QPalette p = view->palette();
    p.setColor(QPalette::Window, color);
    view->setPalette(p);
}

// Scroll bars that float over the panel's content and fade when idle, so the
// column keeps its full width whether or not the panel scrolls.
class OverlayScrollBarStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_ScrollBar_Transient) return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        if (metric == PM_ScrollView_ScrollBarOverlap)
            return QProxyStyle::pixelMetric(PM_ScrollBarExtent, option, widget);
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
};

QStyle* overlayScrollBarStyle() {
    static QPointer<QStyle> style;
    if (!style) {
        style = new OverlayScrollBarStyle;
        style->setParent(QCoreApplication::instance());
    }
    return style;
}

}  // namespace

PreviewViewController::PreviewViewController(Loader loader, QObject* parent, ZoomLoader zoomLoader)
    : QObject(parent),
      loader_(loader ? std::move(loader) : systemLoader()),
      root_(std::make_unique<QWidget>()),
      photo_(new PhotoView(root_.get())),
      stack_(new StackView(root_.get())),
      panel_(std::make_unique<MetadataPanel>(*stack_, *photo_)),
      zoomLoader_(zoomLoader ? std::move(zoomLoader) : systemZoomLoader()) {
    connect(photo_, &PhotoView::zoomToggleRequested, this, &PreviewViewController::toggleZoom);
    connect(photo_, &PhotoView::zoomRegionWanted, this, &PreviewViewController::loadZoomRegion);
    readingNotice_.setSingleShot(true);
    readingNotice_.setInterval(kReadingNotice);
    connect(&readingNotice_, &QTimer::timeout, this, [this] {
        // The core is still at it: a slow disk, a huge file, an odd one.
        if (isPreparing() && photo_) photo_->setPlaceholder(QStringLiteral("Reading the file…"));
    });
}

PreviewViewController::~PreviewViewController() = default;

QWidget* PreviewViewController::view() {
    if (!viewLoaded_) loadView();
    return root_.get();
}

void PreviewViewController::loadView() {
    if (viewLoaded_) return;
    viewLoaded_ = true;

    // The photo takes the width left of a 1-point divider and the
    // fixed-width panel, which stay pinned to the right edge.
    QWidget* root = root_.get();
    fill(root, Palette::base());
    auto* divider = new QWidget;
    fill(divider, Palette::borderSoft());
    divider->setFixedWidth(kDividerWidth);
    auto* sidePanel = new QWidget;
    fill(sidePanel, Palette::panel());
    sidePanel->setFixedWidth(kPanelWidth);
    auto* rootLayout = new QHBoxLayout(root);
    rootLayout->setContentsMargins(0, 0, 0, 0);
    rootLayout->setSpacing(0);
    rootLayout->addWidget(photo_, 1);
    rootLayout->addWidget(divider);
    rootLayout->addWidget(sidePanel);
    root->resize(kPreferredContentSize);

    scroll_ = new QScrollArea(sidePanel);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->verticalScrollBar()->setStyle(overlayScrollBarStyle());
    scroll_->setWidgetResizable(true);
    scroll_->setAutoFillBackground(false);
    scroll_->viewport()->setAutoFillBackground(false);  // the panel's colour shows through
    auto* panelLayout = new QVBoxLayout(sidePanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(0);
    panelLayout->addWidget(scroll_);

    // The stack hangs from the top of the document; a short panel leaves
    // the space below it empty rather than stretching.
    stack_->setEdgeInsets(18, 20, 24, 20);
    auto* document = new QWidget;
    auto* documentLayout = new QVBoxLayout(document);
    documentLayout->setContentsMargins(0, 0, 0, 0);
    documentLayout->setSpacing(0);
    documentLayout->addWidget(stack_, 0, Qt::AlignTop);
    scroll_->setWidget(document);
    document->setAutoFillBackground(false);

    photo_->setShowFocus(storedShowFocusPoint());
}

void PreviewViewController::preparePreviewOfFile(const fs::path& file) {
    const uint64_t request = beginRequest();
    file_ = file;
    showLoading(file);
    follow(request, file, BackgroundLoad::start(loader_, file, BackgroundLoad::Kind::Request));
}

void PreviewViewController::showLoad(const fs::path& file, std::shared_ptr<BackgroundLoad> load,
                                     std::shared_ptr<ZoomLoad> zoom) {
    const uint64_t request = beginRequest(load.get());
    file_ = file;
    zoomOffered_ = std::move(zoom);
    if (!load->result()) showLoading(file);
    follow(request, file, std::move(load));
}

void PreviewViewController::follow(uint64_t request, const fs::path& file, std::shared_ptr<BackgroundLoad> load) {
    // A prefetch's failure may only be its short deadline: never shown.
    const bool mayFail = load->kind() == BackgroundLoad::Kind::Request;
    if (load->failed() && !mayFail) {
        follow(request, file, BackgroundLoad::start(loader_, file, BackgroundLoad::Kind::Request));
        return;
    }
    if (load_) disconnect(load_.get(), nullptr, this, nullptr);  // a failed prefetch, replaced
    load_ = load;
    const BackgroundLoad* raw = load.get();
    connect(raw, &BackgroundLoad::inspected, this, [this, request, file, mayFail](const InspectionOutcome& outcome) {
        if (mayFail || !std::holds_alternative<ReadError>(outcome)) applyInspection(request, file, outcome);
    });
    connect(raw, &BackgroundLoad::finished, this, [this, request, file, raw](const LoadResult& result) {
        if (request != latest_) return;
        if (raw->failed() && raw->kind() != BackgroundLoad::Kind::Request) {
            follow(request, file, BackgroundLoad::start(loader_, file, BackgroundLoad::Kind::Request));
            return;
        }
        apply(request, file, result);
    });
    if (load->result())
        apply(request, file, *load->result());
    else if (load->inspection() && (mayFail || !std::holds_alternative<ReadError>(*load->inspection())))
        applyInspection(request, file, *load->inspection());  // the panel need not wait for the picture
}

void PreviewViewController::showPreviewOfFile(const fs::path& file, LoadResult result) {
    const uint64_t request = beginRequest();
    file_ = file;
    apply(request, file, std::move(result));
}

uint64_t PreviewViewController::beginRequest(const BackgroundLoad* next) {
    view();
    // The user has moved past the newest request: its own load, unless the
    // next request shows the same one, is no longer wanted.
    if (load_) {
        disconnect(load_.get(), nullptr, this, nullptr);
        if (load_.get() != next && load_->kind() == BackgroundLoad::Kind::Request) load_->abandon();
        load_.reset();
    }
    readingNotice_.stop();
    // The zoom stays, at its place; the region of the file passed goes.
    dropZoomLoad();
    zoomOffered_.reset();
    zoomMissing_ = false;
    orientation_.reset();
    recordSize_ = QSize();
    if (photo_) {
        photo_->setZoomRegion(std::nullopt);
        photo_->setZoomNote(QString());
    }
    return ++latest_;
}

void PreviewViewController::setZoomed(bool zoomed) {
    if (!photo_ || zoomed == isZoomed()) return;
    photo_->setZoomed(zoomed);
    if (zoomed) {
        if (latest_ != 0 && panelShown_ == latest_) centreZoom();  // else once a file's inspection is known
    } else {
        dropZoomLoad();
    }
    emit zoomChanged(zoomed);
}

bool PreviewViewController::leaveZoom() {
    if (!isZoomed()) return false;
    setZoomed(false);
    return true;
}

std::optional<ZoomWish> PreviewViewController::zoomWish() const {
    if (!isZoomed() || !photo_->zoomCentre()) return std::nullopt;
    return ZoomWish{*photo_->zoomCentre(), photo_->zoomWishSize()};
}

void PreviewViewController::centreZoom() {
    QPointF centre(0.5, 0.5);
    if (const auto& f = photo_->focusPoint()) centre = QPointF((f->x + f->w * 0.5) / 100.0, (f->y + f->h * 0.5) / 100.0);
    photo_->setZoomCentre(centre);  // asks for its region
    loadZoomRegion();               // (or finds it loaded already)
}

void PreviewViewController::loadZoomRegion() {
    // Without an orientation there is no picture of the core's to zoom into.
    if (!photo_ || !orientation_ || zoomMissing_ || zoomLoad_ || !zoomWish() || photo_->zoomCovered()) return;
    const ZoomWish wish = *zoomWish();
    std::shared_ptr<ZoomLoad> load = std::move(zoomOffered_);
    if (!load || load->wish() != wish) {
        load = ZoomLoad::start(zoomLoader_, file_, *orientation_, wish, BackgroundLoad::Kind::Request);
        emit zoomLoadStarted(file_, load);
    }
    zoomLoad_ = load;
    if (load->result()) {
        applyZoom(latest_, load);
        return;
    }
    connect(load.get(), &ZoomLoad::finished, this, [this, request = latest_, raw = load.get()] {
        if (zoomLoad_.get() == raw) applyZoom(request, zoomLoad_);
    });
}

void PreviewViewController::applyZoom(uint64_t request, const std::shared_ptr<ZoomLoad>& load) {
    if (request != latest_ || !photo_ || load != zoomLoad_ || !load->result()) return;
    const std::shared_ptr<ZoomLoad> done = load;  // zoomLoad_ is let go below
    dropZoomLoad();
    const ZoomRegion& region = *done->result();
    photo_->setZoomRegion(region);
    QString note;
    if (region.image.isNull()) {
        zoomMissing_ = true;
        note = QStringLiteral("No full-size picture");
    } else if (region.embedded && recordSize_.isValid() &&
               std::max(region.full.width(), region.full.height()) <
                   std::max(recordSize_.width(), recordSize_.height())) {
        // The camera kept a smaller picture than it took: 100 % of that is all there is.
        note = QStringLiteral("largest embedded preview: %1 × %2").arg(region.full.width()).arg(region.full.height());
    }
    photo_->setZoomNote(note);
    emit zoomPrepared();
    // Moved on while it loaded: the view may need another. Never twice for one wish.
    if (!region.image.isNull() && zoomWish() != done->wish()) loadZoomRegion();
}

void PreviewViewController::dropZoomLoad() {
    // A region nobody waits for finishes for nobody.
    if (zoomLoad_) disconnect(zoomLoad_.get(), nullptr, this, nullptr);
    zoomLoad_.reset();
}

void PreviewViewController::showLoading(const fs::path& file) {
    if (!photo_ || !stack_) return;
    // Nothing of the file shown before stays under the new name.
    photo_->setImage(QImage());
    photo_->setFocusPoint(std::nullopt);
    photo_->setPlaceholder(QStringLiteral("Loading…"));
    panel_->show(Panel::loading(displayName(file)));
    readingNotice_.start();
}

void PreviewViewController::applyInspection(uint64_t request, const fs::path& file, const InspectionOutcome& outcome) {
    if (request != latest_ || panelShown_ == request || !photo_ || !stack_) return;  // superseded
    showOutcome(request, file, outcome);
    emit panelPrepared();
}

void PreviewViewController::showOutcome(uint64_t request, const fs::path& file, const InspectionOutcome& outcome) {
    panelShown_ = request;
    if (const auto* summary = std::get_if<InspectedFile>(&outcome)) {
        photo_->setFocusPoint(summary->makerNotes.focus);
        panel_->show(Panel::summary(*summary, photo_->showFocus()));
        orientation_ = summary->orientation;
        if (summary->width && summary->height && *summary->width > 0 && *summary->height > 0 &&
            *summary->width <= INT_MAX && *summary->height <= INT_MAX)
            recordSize_ = QSize(static_cast<int>(*summary->width), static_cast<int>(*summary->height));
        if (isZoomed() && !photo_->zoomCentre())
            centreZoom();
        else
            loadZoomRegion();
    } else if (const auto* card = std::get_if<FileCard>(&outcome)) {
        photo_->setFocusPoint(std::nullopt);
        panel_->show(Panel::fileCard(displayName(file), *card));
    } else {
        photo_->setFocusPoint(std::nullopt);
        panel_->show(Panel::error(displayName(file), std::get<ReadError>(outcome).message));
    }
}

void PreviewViewController::apply(uint64_t request, const fs::path& file, LoadResult result) {
    if (request != latest_ || !photo_ || !stack_) return;  // superseded by a later request
    applied_ = request;
    readingNotice_.stop();
    if (load_) disconnect(load_.get(), nullptr, this, nullptr);
    load_.reset();  // done: nothing left to abandon
    // The panel stays as the inspection left it: the result carries the
    // same outcome, and rebuilding would only lose the reader's place.
    const bool panelNew = panelShown_ != request;
    if (panelNew) showOutcome(request, file, result.outcome);
    photo_->setImage(result.picture.image);
    photo_->setEnlargesImage(true);
    photo_->setPlaceholder(QStringLiteral("No preview"));  // drawn only without a picture
    if (const auto* card = std::get_if<FileCard>(&result.outcome)) {
        // Not a photo: the type's icon at its own size stands in for the picture.
        photo_->setImage(FileKind::iconOf(*card));
        photo_->setEnlargesImage(false);
    }
    if (panelNew) emit panelPrepared();
    if (request == latest_) emit previewPrepared();  // unless a slot of panelPrepared asked for another file
}

void PreviewViewController::finishLoads() { orv::ui::finishLoads(); }

QString PreviewViewController::displayName(const fs::path& file) {
    std::string text = file.native();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    std::string name = fs::path(text).filename().native();
    if (name.empty()) name = text;  // the root folder names itself
    return QFile::decodeName(QByteArray::fromStdString(name));
}

}  // namespace orv::ui
