#include "PhotoView.hpp"

#include <cmath>

#include <algorithm>

#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "Palette.hpp"
#include "Typography.hpp"

namespace orv::ui {

namespace {

// The halo that keeps the accent band visible on light and dark pictures.
constexpr QColor kHalo(0, 0, 0, 217);  // black at alpha 0.85

// Beyond this distance from the view a box is nowhere near the screen;
// coordinates that large only come from a corrupt record.
constexpr qreal kFarAway = 1e6;

// How long "100 %" stays up after zooming in.
constexpr int kZoomLabelMs = 1200;
// The core's largest region either way.
constexpr int kMaxZoomSide = 8192;
// The most pixels a zoomed region holds beyond the view: 32 MB as shown.
constexpr qreal kMaxZoomPixels = 8e6;

// A line of text on a dark rounded plate, centred on `centre`.
void drawLabel(QPainter& p, const QWidget* view, const QString& text, QPointF centre) {
    const QFont font = Typography::system(12.5);
    const QFontMetricsF metrics(font, view);
    const QSizeF size = metrics.size(Qt::TextSingleLine, text) + QSizeF(20, 10);
    const QRectF plate(centre.x() - size.width() * 0.5, centre.y() - size.height() * 0.5, size.width(),
                       size.height());
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(kHalo);
    p.drawRoundedRect(plate, 6, 6);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(plate, Qt::AlignCenter, text);
}

void strokeRounded(QPainter& p, const QRectF& rect, qreal lineWidth, const QColor& color) {
    QPainterPath path;
    path.addRoundedRect(rect, 2, 2);
    QPen pen(color, lineWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    p.strokePath(path, pen);
}

}  // namespace

PhotoView::PhotoView(QWidget* parent) : QWidget(parent), placeholder_(QStringLiteral("Loading…")) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    labelTimer_.setSingleShot(true);
    labelTimer_.setInterval(kZoomLabelMs);
    connect(&labelTimer_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

void PhotoView::setZoomed(bool zoomed) {
    if (zoomed == zoomed_) return;
    zoomed_ = zoomed;
    centre_.reset();  // each zoom starts where it is asked to
    labelTimer_.stop();
    setCursor(zoomed ? Qt::OpenHandCursor : Qt::ArrowCursor);
    update();
}

void PhotoView::setZoomCentre(QPointF centre) {
    if (!zoomed_) return;
    if (!centre_) labelTimer_.start();  // the zoom begins here
    centre_ = clamped(centre);
    zoomMoved();
}

void PhotoView::setZoomRegion(std::optional<ZoomRegion> region) {
    if (region && (region->image.isNull() || region->full.isEmpty())) region.reset();
    region_ = std::move(region);
    if (centre_) centre_ = clamped(*centre_);
    update();
}

void PhotoView::setZoomNote(const QString& note) {
    note_ = note;
    update();
}

QPointF PhotoView::clamped(QPointF centre) const {
    const auto axis = [](qreal f, qreal view, qreal full) {
        if (!std::isfinite(f)) return 0.5;
        if (full <= 0) return std::clamp(f, 0.0, 1.0);
        if (full <= view) return 0.5;  // all of it fits: centred
        const qreal half = view * 0.5 / full;
        return std::clamp(f, half, 1.0 - half);
    };
    const qreal dpr = devicePixelRatioF();
    const QSize full = region_ ? region_->full : QSize();
    return QPointF(axis(centre.x(), width() * dpr, full.width()), axis(centre.y(), height() * dpr, full.height()));
}

void PhotoView::panZoom(QPointF devicePixels) {
    if (!zoomed_ || !centre_ || !region_) return;
    const QSizeF full = region_->full;
    centre_ = clamped(*centre_ + QPointF(devicePixels.x() / full.width(), devicePixels.y() / full.height()));
    zoomMoved();
}

void PhotoView::panZoomStep(int dx, int dy) {
    const qreal dpr = devicePixelRatioF();
    panZoom(QPointF(dx * width() * dpr * 0.25, dy * height() * dpr * 0.25));
}

void PhotoView::zoomMoved() {
    update();
    if (zoomed_ && centre_ && !zoomCovered()) emit zoomRegionWanted();
}

QSize PhotoView::zoomWishSize() const {
    // The view and a quarter of it on every side, so that a Shift+arrow step
    // (a quarter of the view) shows pixels already there. A large view on a
    // HiDPI screen would ask for most of a 45 MP picture that way: the margin
    // shrinks to keep the region within kMaxZoomPixels, but never below the
    // view itself.
    const qreal dpr = devicePixelRatioF();
    const QSizeF view(width() * dpr, height() * dpr);
    QSizeF wish = view * 1.5;
    const qreal cap = std::max(kMaxZoomPixels, view.width() * view.height());
    if (wish.width() * wish.height() > cap) wish *= std::sqrt(cap / (wish.width() * wish.height()));
    const auto side = [](qreal pixels) { return std::clamp(static_cast<int>(std::ceil(pixels)), 1, kMaxZoomSide); };
    return QSize(side(wish.width()), side(wish.height()));
}

std::optional<QPointF> PhotoView::zoomOrigin() const {
    if (!zoomed_ || !centre_ || !region_) return std::nullopt;
    const qreal dpr = devicePixelRatioF();
    const qreal x = std::round(width() * dpr * 0.5 - centre_->x() * region_->full.width());
    const qreal y = std::round(height() * dpr * 0.5 - centre_->y() * region_->full.height());
    return QPointF(x, y) / dpr;
}

std::optional<QRect> PhotoView::zoomShown() const {
    const std::optional<QPointF> origin = zoomOrigin();
    if (!origin) return std::nullopt;
    const qreal dpr = devicePixelRatioF();
    const QRect view(QPoint(static_cast<int>(std::lround(-origin->x() * dpr)),
                            static_cast<int>(std::lround(-origin->y() * dpr))),
                     QSize(static_cast<int>(std::lround(width() * dpr)), static_cast<int>(std::lround(height() * dpr))));
    return view.intersected(QRect(QPoint(0, 0), region_->full));
}

bool PhotoView::zoomCovered() const {
    const std::optional<QRect> shown = zoomShown();
    return shown && region_->rect.contains(*shown);
}

void PhotoView::resizeEvent(QResizeEvent*) {
    if (centre_) centre_ = clamped(*centre_);
    zoomMoved();
}

void PhotoView::mousePressEvent(QMouseEvent* event) {
    dragFrom_ = event->position();
    if (zoomed_) setCursor(Qt::ClosedHandCursor);
}

void PhotoView::mouseReleaseEvent(QMouseEvent*) {
    if (zoomed_) setCursor(Qt::OpenHandCursor);
}

void PhotoView::mouseMoveEvent(QMouseEvent* event) {
    if (!zoomed_ || !(event->buttons() & Qt::LeftButton)) return;
    // The picture follows the pointer.
    const QPointF moved = event->position() - dragFrom_;
    dragFrom_ = event->position();
    panZoom(-moved * devicePixelRatioF());
}

void PhotoView::mouseDoubleClickEvent(QMouseEvent* event) {
    const std::optional<QRectF> picture = pictureRect();
    if (zoomed_ || (picture && picture->contains(event->position()))) emit zoomToggleRequested();
}

void PhotoView::setImage(const QImage& image) {
    image_ = image;
    update();
}

void PhotoView::setEnlargesImage(bool enlarges) {
    enlarges_ = enlarges;
    update();
}

void PhotoView::setFocusPoint(const std::optional<FocusPoint>& focus) {
    focus_ = focus;
    update();
}

void PhotoView::setShowFocus(bool show) {
    showFocus_ = show;
    update();
}

void PhotoView::setPlaceholder(const QString& text) {
    placeholder_ = text;
    update();
}

QSize PhotoView::sizeHint() const { return QSize(839, 760); }

std::optional<QRectF> PhotoView::pictureRect() const {
    if (const std::optional<QPointF> origin = zoomOrigin())
        return QRectF(*origin, QSizeF(region_->full) / devicePixelRatioF());
    const QRectF area = QRectF(rect()).adjusted(kInset, kInset, -kInset, -kInset);
    if (image_.isNull() || image_.width() <= 0 || image_.height() <= 0) return std::nullopt;
    if (area.width() <= 0 || area.height() <= 0) return std::nullopt;
    // Fit without limit either way (small pictures are enlarged too), unless
    // the image is an icon.
    qreal s = std::min(area.width() / image_.width(), area.height() / image_.height());
    if (!enlarges_) s = std::min<qreal>(s, 1.0 / image_.devicePixelRatio());
    const qreal w = image_.width() * s;
    const qreal h = image_.height() * s;
    return QRectF(area.center().x() - w * 0.5, area.center().y() - h * 0.5, w, h);
}

std::optional<QRectF> PhotoView::focusBoxRect() const {
    const std::optional<QRectF> picture = pictureRect();
    if (!picture || !showFocus_ || !focus_) return std::nullopt;
    const FocusPoint& f = *focus_;
    const QRectF& r = *picture;
    const qreal cx = r.left() + ((f.x + f.w * 0.5) / 100.0) * r.width();
    const qreal cy = r.top() + ((f.y + f.h * 0.5) / 100.0) * r.height();
    // A box too small to see is enlarged around its own centre.
    const qreal bw = std::max((f.w / 100.0) * r.width(), kMinimumBox);
    const qreal bh = std::max((f.h / 100.0) * r.height(), kMinimumBox);
    const QRectF box(cx - bw * 0.5, cy - bh * 0.5, bw, bh);
    // Not clipped to the picture; only absurd coordinates are left undrawn.
    for (qreal v : {box.left(), box.top(), box.right(), box.bottom()})
        if (!std::isfinite(v) || std::abs(v) > kFarAway) return std::nullopt;
    return box;
}

void PhotoView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Palette::base());

    if (const std::optional<QRectF> picture = pictureRect()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform, true);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setOpacity(1.0);
        // Zoomed, the fitted picture stands in where no region is loaded (yet).
        if (!image_.isNull() && !zoomCovered()) p.drawImage(*picture, image_);
        if (zoomOrigin()) {
            // At one image pixel per device pixel, on whole device pixels: never resampled.
            const qreal dpr = devicePixelRatioF();
            QImage region = region_->image;  // shares the pixels
            region.setDevicePixelRatio(dpr);
            p.setRenderHint(QPainter::SmoothPixmapTransform, false);
            p.drawImage(picture->topLeft() + QPointF(region_->rect.topLeft()) / dpr, region);
        }
        if (const std::optional<QRectF> box = focusBoxRect()) {
            // Three touching bands along the box edge: 1 point of halo just
            // outside, 2 points of accent just inside, then 1 point of halo.
            p.setRenderHint(QPainter::Antialiasing, true);
            strokeRounded(p, box->adjusted(-0.5, -0.5, 0.5, 0.5), 1, kHalo);
            strokeRounded(p, box->adjusted(1, 1, -1, -1), 2, Palette::accentStrong());
            strokeRounded(p, box->adjusted(2.5, 2.5, -2.5, -2.5), 1, kHalo);
        }
        if (zoomed_ && centre_ && labelTimer_.isActive())
            drawLabel(p, this, QStringLiteral("100 %"), QPointF(width() * 0.5, 36));
        if (zoomed_ && centre_ && !note_.isEmpty()) drawLabel(p, this, note_, QPointF(width() * 0.5, height() - 30));
        return;
    }

    // No usable picture: the placeholder, one line, centred in the whole view.
    const QFont font = Typography::system(12.5);
    const QFontMetricsF metrics(font, this);
    const QSizeF size = metrics.size(Qt::TextSingleLine, placeholder_);
    const QPointF centre = QRectF(rect()).center();
    const QPointF topLeft(centre.x() - size.width() * 0.5, centre.y() - size.height() * 0.5);
    p.setFont(font);
    p.setPen(Palette::textTertiary());
    p.drawText(QRectF(topLeft, size), Qt::TextSingleLine | Qt::AlignLeft | Qt::AlignTop, placeholder_);
}

}  // namespace orv::ui
