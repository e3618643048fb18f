#include "Typography.hpp"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QScreen>

namespace orv::ui::Typography {

namespace {

QFont sized(QFont font, qreal points, QFont::Weight weight) {
    // Qt turns point sizes into pixels at the screen's logical DPI; ask for
    // the point size that comes out as `points` pixels.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    font.setPointSizeF(points * 72.0 / (dpi > 0 ? dpi : 96.0));
    font.setWeight(weight);
    font.setStyle(QFont::StyleNormal);
    return font;
}

}  // namespace

QFont system(qreal points, QFont::Weight weight) {
    return sized(QFontDatabase::systemFont(QFontDatabase::GeneralFont), points, weight);
}

QFont monospaced(qreal points, QFont::Weight weight) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    return sized(font, points, weight);
}

}  // namespace orv::ui::Typography
