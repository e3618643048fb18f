#include "RowView.hpp"

#include <algorithm>
#include <cmath>

#include <QFontMetricsF>

#include "Palette.hpp"
#include "TextLabel.hpp"
#include "Typography.hpp"

namespace orv::ui {

RowView::RowView(const QString& label, const QString& value, bool absent, bool mono, QWidget* parent)
    : QWidget(parent) {
    key_ = new QLabel(label, this);
    key_->setTextFormat(Qt::PlainText);
    key_->setFont(Typography::system(12));
    key_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    key_->setWordWrap(false);
    key_->setTextInteractionFlags(Qt::NoTextInteraction);
    QPalette kp = key_->palette();
    kp.setColor(QPalette::WindowText, Palette::textTertiary());
    key_->setPalette(kp);
    key_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);  // never truncated

    const QFont valueFont = mono ? Typography::monospaced(12.5) : Typography::system(12.5);
    const TextLabel::Style style{.font = valueFont,
                                 .color = absent ? Palette::textTertiary() : Palette::textPrimary(),
                                 .alignment = Qt::AlignRight};
    value_ = new TextLabel(value, style, this);
    value_->setPreferredMaxLayoutWidth(kValueMaxWidth);

    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int RowView::valueWidth(int rowWidth) const {
    // The value hugs its text up to 190 points and gives way to the key,
    // which keeps its full width, with at least 12 points between them.
    const int room = rowWidth - key_->sizeHint().width() - kGap;
    return std::max(1, std::min(value_->fittingWidth(), room));
}

int RowView::heightForWidth(int width) const {
    return value_->metricsForWidth(valueWidth(width)).height + 2 * kPadding;
}

QSize RowView::sizeHint() const { return QSize(kWidth, heightForWidth(kWidth)); }

QSize RowView::minimumSizeHint() const { return QSize(0, 0); }

void RowView::resizeEvent(QResizeEvent*) { place(); }

void RowView::place() {
    const int w = width();
    const int vw = valueWidth(w);
    const TextLabel::Metrics m = value_->metricsForWidth(vw);
    value_->setGeometry(w - vw, kPadding, vw, m.height);
    // Key and value share their first baseline; the key never rises above
    // the row's top padding.
    const qreal keyAscent = QFontMetricsF(key_->font()).ascent();
    const int keyTop = std::max<int>(kPadding, static_cast<int>(std::lround(kPadding + m.firstBaseline - keyAscent)));
    const QSize keySize = key_->sizeHint();
    key_->setGeometry(0, keyTop, keySize.width(), keySize.height());
}

}  // namespace orv::ui
