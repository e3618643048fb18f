// Fonts of the interface. Sizes are given in points of the layout, where one
// point is one device-independent pixel (the same unit as the 340-point panel
// and its 300-point column), so the text keeps its proportions to the layout
// whatever DPI the desktop reports.
#pragma once

#include <QFont>

namespace orv::ui::Typography {

QFont system(qreal points, QFont::Weight weight = QFont::Normal);
QFont monospaced(qreal points, QFont::Weight weight = QFont::Normal);

}  // namespace orv::ui::Typography
