// The left part of the window: the picture fitted and centred on the base
// colour, the camera's focus box over it, or a one-line placeholder when
// there is no usable picture. Draws everything itself; no subviews.
#pragma once

#include <optional>

#include <QImage>
#include <QRectF>
#include <QString>
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
    std::optional<QRectF> pictureRect() const;
    std::optional<QRectF> focusBoxRect() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    std::optional<FocusPoint> focus_;
    bool showFocus_ = true;
    bool enlarges_ = true;
    QString placeholder_;
};

}  // namespace orv::ui
