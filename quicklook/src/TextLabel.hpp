// A read-only, selectable, wrapping text label. Plain text only (markup in a
// file's metadata is shown as typed), no frame, no background, no scrolling
// of its own: it takes the height its text needs at its width, and wheel
// events go on to the panel that scrolls.
#pragma once

#include <QColor>
#include <QFont>
#include <QTextEdit>
#include <QTextOption>

namespace orv::ui {

class TextLabel : public QTextEdit {
    Q_OBJECT
public:
    struct Style {
        QFont font;
        QColor color;
        QTextOption::WrapMode wrap = QTextOption::WrapAtWordBoundaryOrAnywhere;
        Qt::Alignment alignment = Qt::AlignLeft;
    };

    // How the text lays out at one width.
    struct Metrics {
        int height = 0;
        qreal firstBaseline = 0;  // from the top of the label
        qreal idealWidth = 0;     // the widest line
    };

    TextLabel(const QString& text, const Style& style, QWidget* parent = nullptr);

    QString text() const { return text_; }

    // The width beyond which the text wraps when nothing narrower is imposed.
    void setPreferredMaxLayoutWidth(int width);

    Metrics metricsForWidth(int width) const;
    // The narrowest width that shows the text as it wraps at the preferred maximum.
    int fittingWidth() const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    QString text_;
    Style style_;
    int preferredMax_ = 300;
    // The text never changes, so the fitting width is kept apart from the
    // one-width layout below: measuring at the preferred maximum must not
    // evict the layout at the width the label is actually given.
    mutable int fitting_ = -1;
    mutable int cachedWidth_ = -1;
    mutable Metrics cached_;
};

}  // namespace orv::ui
