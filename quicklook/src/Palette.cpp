#include "Palette.hpp"

namespace orv::ui {

// QColor's RGB spec is sRGB; alpha defaults to opaque.
const QColor& Palette::base() { static const QColor c(27, 25, 23); return c; }
const QColor& Palette::panel() { static const QColor c(33, 30, 27); return c; }
const QColor& Palette::borderSoft() { static const QColor c(44, 40, 34); return c; }
const QColor& Palette::textPrimary() { static const QColor c(237, 231, 221); return c; }
const QColor& Palette::textSecondary() { static const QColor c(178, 170, 159); return c; }
const QColor& Palette::textTertiary() { static const QColor c(135, 125, 110); return c; }
const QColor& Palette::accentStrong() { static const QColor c(240, 180, 99); return c; }

}  // namespace orv::ui
