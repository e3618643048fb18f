// The final state of one preview as JSON Lines: the photo first, then one
// line per element of the panel, in order. Scripts and tests read this; the
// shape is fixed.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace orv::ui {

class PreviewViewController;

// {"photo": {"image": [W, H] | null, "placeholder": TEXT,
//            "focus": {"x","y","w","h"} | null, "showFocus": BOOL,
//            "zoom": null | {"centre": [X, Y] | null, "full": [W, H] | null,
//                            "region": [X, Y, W, H] | null, "shown": [X, Y, W, H] | null,
//                            "embedded": BOOL, "note": TEXT}}}
// zoom: null when the picture is fitted; else the centre as fractions of the
// upright picture (null until chosen), the full-size picture's size, the
// region of it loaded and the part of it on screen, in its pixels (null
// while loading or when the file has none), whether it is a preview embedded
// in the file, and the caption shown ("" for none).
// then per element: "kind" (title, subtitle, section, row, checkbox, note,
// footer), "text" (all but rows; the checkbox's title), rows' "label",
// "value" (as displayed) and "mono", the checkbox's "on", and "gapAfter"
// (the gap below the element in points, 0 when none). A row and the
// separator line under it are one element; the gap below the line is the
// row's gapAfter. Made from the panel's model, as the widgets are, so a
// long text comes out shortened as the panel shows it.
std::vector<std::string> dumpLines(const PreviewViewController& controller);

// The same lines written to `out` and flushed, as --dump prints them.
void printDump(const PreviewViewController& controller, std::FILE* out);

}  // namespace orv::ui
