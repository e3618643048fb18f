// What the metadata panel shows, before any widget: its elements in order,
// each with the words it shows and the gap below it. Made from an
// inspection, an error, a file card or a file still loading; the panel's
// widgets and the host's --dump are both made from it.
#pragma once

#include <vector>

#include <QString>

#include "Reader.hpp"

namespace orv::ui {

struct PanelElement {
    enum class Kind { Title, Subtitle, Section, Row, Checkbox, Note, Footer };

    Kind kind;
    QString text{};       // a row's label; every other element's words (the checkbox's title)
    QString value{};      // a row's value as shown: "—" when it has none
    bool absent = false;  // the row has no value
    bool mono = false;    // the row's value is set in the monospaced face
    bool on = false;      // the checkbox is ticked
    qreal gapAfter = 0;   // points below the element; for a row, below the line under it
};

using PanelModel = std::vector<PanelElement>;

namespace Panel {

// The most of one text the panel lays out, in UTF-16 code units. A file's
// description can run to hundreds of thousands of characters without a
// space, and laying that out would hold up the window for minutes.
inline constexpr qsizetype kMaxShownLength = 2000;

// A text as the panel shows it: unchanged up to kMaxShownLength, else cut
// where a character ends at or before it, then "… (N more characters)".
// Every text of a panel model goes through it, so widgets and --dump agree.
QString shown(const QString& text);

// The file's name, then fixed sections of label-value rows, the focus
// checkbox (ticked by `showFocus`) where the maker notes have a focus box,
// notes and a footer.
PanelModel summary(const InspectedFile& file, bool showFocus);
PanelModel error(const QString& title, const QString& message);
// A file still loading: its name alone, so nothing of another file is ever
// shown under it.
PanelModel loading(const QString& title);
// A file that is not a picture: its name, then its kind, size and
// modification date.
PanelModel fileCard(const QString& title, const FileCard& card);

}  // namespace Panel

}  // namespace orv::ui
