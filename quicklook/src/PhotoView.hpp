// The left part of the window: the picture fitted and centred on the base
// colour, the camera's focus box over it, or a one-line placeholder when
// there is no usable picture. Draws everything itself; no subviews.
//
// Zoomed, it shows the picture at 100 %: one pixel of the full-size picture
// per device pixel, around a centre given as fractions of the upright
// picture. The zoom's state lives here, because everything that changes it
// but the key (a drag, a double-click, a resize that moves the clamp at the
// edges) happens in this view and is measured in its device pixels; the
// controller only says which file's region is shown and loads the regions
// this view asks for.
#pragma once

#include <optional>

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QTimer>
#include <QWidget>

#include "Reader.hpp"

namespace orv::ui {

class PhotoView : public QWidget {
    Q_OBJECT
public:
    // Room kept free around the picture, in points.
    static constexpr qreal kInset = 20;
    // A focus box is never drawn smaller than this on screen.
    static constexpr qreal kMinimumBox = 40;

    explicit PhotoView(QWidget* parent = nullptr);

    // Setting any of these redraws the view.
    const QImage& image() const { return image_; }
    void setImage(const QImage& image);
    // A photo is fitted to the view, small ones enlarged too; a type icon is
    // drawn no larger than it is, so it stays crisp.
    bool enlargesImage() const { return enlarges_; }
    void setEnlargesImage(bool enlarges);
    // (Named apart from QWidget's keyboard focus.)
    const std::optional<FocusPoint>& focusPoint() const { return focus_; }
    void setFocusPoint(const std::optional<FocusPoint>& focus);
    bool showFocus() const { return showFocus_; }
    void setShowFocus(bool show);
    const QString& placeholder() const { return placeholder_; }
    void setPlaceholder(const QString& text);

    // The geometry one drawing pass uses, from the current bounds: where the
    // picture goes (none when it is not drawn) and the focus box (none when
    // not drawn). Exposed for the host's checks and for tests.
    // Zoomed: the whole full-size picture's place, most of it off the view.
    std::optional<QRectF> pictureRect() const;
    std::optional<QRectF> focusBoxRect() const;

    // Zoomed or fitted. Zooming in without a centre waits for one (the file's
    // focus box is not known yet): until then the picture stays fitted.
    bool isZoomed() const { return zoomed_; }
    void setZoomed(bool zoomed);
    const std::optional<QPointF>& zoomCentre() const { return centre_; }
    // Kept inside the picture's edges once its full size is known.
    void setZoomCentre(QPointF centre);
    // The region loaded for the file shown; none while it loads. Kept while
    // zoom is left and entered again on the same file.
    const std::optional<ZoomRegion>& zoomRegion() const { return region_; }
    void setZoomRegion(std::optional<ZoomRegion> region);
    // A caption shown while zoomed; empty for none.
    const QString& zoomNote() const { return note_; }
    void setZoomNote(const QString& note);
    // Moves the view by this many device pixels, or by steps of a quarter of
    // the view (Shift and the arrows), stopping at the picture's edges.
    void panZoom(QPointF devicePixels);
    void panZoomStep(int dx, int dy);
    // The region to ask for, in device pixels: the view and a margin.
    QSize zoomWishSize() const;
    // The part of the full-size picture on screen, in its pixels; none
    // while zoomed without a region.
    std::optional<QRect> zoomShown() const;
    // The region loaded covers what is on screen.
    bool zoomCovered() const;
    // "100 %", shown for a moment on zooming in.
    bool zoomLabelShown() const { return labelTimer_.isActive(); }

    QSize sizeHint() const override;

signals:
    // A double-click on the picture.
    void zoomToggleRequested();
    // Zoomed, the view has come to show more than the region loaded.
    void zoomRegionWanted();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Where pixel (0, 0) of the full-size picture is drawn, on a whole
    // device pixel; none unless zoomed with a known full size.
    std::optional<QPointF> zoomOrigin() const;
    QPointF clamped(QPointF centre) const;
    void zoomMoved();

    QImage image_;
    std::optional<FocusPoint> focus_;
    bool showFocus_ = true;
    bool enlarges_ = true;
    QString placeholder_;
    bool zoomed_ = false;
    std::optional<QPointF> centre_;
    std::optional<ZoomRegion> region_;
    QString note_;
    QTimer labelTimer_;
    QPointF dragFrom_;
};

}  // namespace orv::ui
