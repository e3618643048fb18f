// The interface's one set of colours: a dark, warm family for the window and
// panel, three text shades, a border shade and one amber accent. Every other
// module takes its colours from here (the focus box's black halo aside).
#pragma once

#include <QColor>

namespace orv::ui {

struct Palette {
    static const QColor& base();           // window and photo background
    static const QColor& panel();          // side-panel background
    static const QColor& borderSoft();     // divider, row separators
    static const QColor& textPrimary();    // file name, row values
    static const QColor& textSecondary();  // section captions, checkbox title
    static const QColor& textTertiary();   // row labels, subtitle, notes, footer, placeholder
    static const QColor& accentStrong();   // checkbox tint, focus box
};

}  // namespace orv::ui
