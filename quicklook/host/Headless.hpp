// orvanta-preview without a window: --render writes a PNG of the window,
// --dump prints its final state.
#pragma once

#include <filesystem>

#include <QImage>
#include <QSize>

#include "Options.hpp"
#include "PreviewViewController.hpp"
#include "Streams.hpp"

namespace orv::ui::host {

// Where --render writes file `index` (0-based) of `count`: OUT itself for one
// file, else OUT with -1, -2, ... before its extension.
std::filesystem::path renderPath(const std::filesystem::path& out, size_t index, size_t count);

// The window content as it is drawn at `size`, once its layout has settled.
QImage renderImage(PreviewViewController& controller, QSize size);

// Runs every file through its own controller, several loads at a time, and
// writes the results in the order of the files. Returns the exit status.
int runHeadless(const Options& options, const PreviewViewController::Loader& loader, const Streams& streams);

}  // namespace orv::ui::host
