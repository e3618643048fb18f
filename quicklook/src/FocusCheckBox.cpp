#include "FocusCheckBox.hpp"

#include <algorithm>
#include <cmath>

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QSettings>

#include "Palette.hpp"
#include "Typography.hpp"

namespace orv::ui {

namespace {

// Where the choice is kept across previews.
const QString kSettingsOrganisation = QStringLiteral("Orvanta");
const QString kSettingsApplication = QStringLiteral("Preview");
const QString kShowFocusKey = QStringLiteral("showFocusPoint");

constexpr qreal kIndicator = 14;
constexpr qreal kIndicatorGap = 6;

}  // namespace

bool storedShowFocusPoint() {
    const QVariant stored = QSettings(kSettingsOrganisation, kSettingsApplication).value(kShowFocusKey);
    // Settings files keep booleans as the words true and false; anything else
    // stored under the key is not a boolean and counts as true.
    if (stored.typeId() == QMetaType::Bool) return stored.toBool();
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == QLatin1String("false")) return false;
    }
    return true;
}

void storeShowFocusPoint(bool on) {
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.setValue(kShowFocusKey, on);
    settings.sync();
}

FocusCheckBox::FocusCheckBox(const QString& title, QWidget* parent) : QCheckBox(title, parent) {
    setFont(Typography::system(12));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize FocusCheckBox::sizeHint() const {
    const QFontMetricsF fm(font());
    const int w = static_cast<int>(std::ceil(kIndicator + kIndicatorGap + fm.horizontalAdvance(text())));
    const int h = static_cast<int>(std::ceil(std::max<qreal>(kIndicator + 4, fm.height() + 2)));
    return QSize(w, h);
}

QSize FocusCheckBox::minimumSizeHint() const { return sizeHint(); }

bool FocusCheckBox::hitButton(const QPoint& pos) const {
    return QRect(QPoint(0, 0), QSize(std::min(width(), sizeHint().width()), height())).contains(pos);
}

void FocusCheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal top = (height() - kIndicator) / 2.0;
    const QRectF box(0.5, top + 0.5, kIndicator - 1, kIndicator - 1);
    if (isChecked()) {
        p.setPen(Qt::NoPen);
        p.setBrush(Palette::accentStrong());
        p.drawRoundedRect(box.adjusted(-0.5, -0.5, 0.5, 0.5), 3, 3);
        QPainterPath tick;
        tick.moveTo(box.left() + 3, box.top() + 6.5);
        tick.lineTo(box.left() + 5.5, box.top() + 9);
        tick.lineTo(box.left() + 10, box.top() + 3.5);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Palette::base(), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tick);
    } else {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Palette::textTertiary(), 1));
        p.drawRoundedRect(box, 3, 3);
    }
    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Palette::accentStrong(), 1));
        p.drawRoundedRect(box.adjusted(-2, -2, 2, 2), 4, 4);
    }
    p.setPen(Palette::textSecondary());
    p.setFont(font());
    p.drawText(QRectF(kIndicator + kIndicatorGap, 0, width() - kIndicator - kIndicatorGap, height()),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
}

}  // namespace orv::ui
