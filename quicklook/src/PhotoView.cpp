#include "PhotoView.hpp"

#include <cmath>

#include <QFontMetricsF>
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
        p.drawImage(*picture, image_);
        if (const std::optional<QRectF> box = focusBoxRect()) {
            // Three touching bands along the box edge: 1 point of halo just
            // outside, 2 points of accent just inside, then 1 point of halo.
            p.setRenderHint(QPainter::Antialiasing, true);
            strokeRounded(p, box->adjusted(-0.5, -0.5, 0.5, 0.5), 1, kHalo);
            strokeRounded(p, box->adjusted(1, 1, -1, -1), 2, Palette::accentStrong());
            strokeRounded(p, box->adjusted(2.5, 2.5, -2.5, -2.5), 1, kHalo);
        }
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
