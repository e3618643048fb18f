// Which files get an inspection and which a plain file card. The desktop's
// previewer is asked about every kind of file, and only pictures carry the
// camera metadata the panel is about; a document, a video or a folder gets a
// card with what the file system and the MIME database say about it.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>

#include <QImage>
#include <QString>

#include "BackgroundLoad.hpp"
#include "Reader.hpp"

namespace orv::ui::FileKind {

// Camera RAW formats by extension (lower case, no dot). Most systems' MIME
// databases know them, but not every database knows every camera, and a RAW
// file must never be taken for "not a picture".
bool isRawExtension(const QString& extension);

// The card of a file that is there but is not a picture; none for a picture
// and for a path that names nothing (its inspection says why). A picture is
// a file whose name or content the MIME database takes for an image type, or
// whose extension is a RAW format's. Runs on a background thread: it reads
// the start of the file, never blocking on a pipe or a device.
std::optional<FileCard> cardOf(const std::filesystem::path& file);

// A loader that answers with the card for anything but a picture and passes
// pictures on to `inner`, which is never called for the rest.
// `note`, when given, is asked for each card's closing line (empty for
// none), on the load's thread.
Loader cardsForOtherFiles(Loader inner, std::function<QString()> note = {});

// The type's icon, `side` pixels square at most: the desktop theme's when it
// has one, else a page (or a folder) drawn in the window's colours. Main
// thread only.
QImage iconOf(const FileCard& card, int side = 128);

}  // namespace orv::ui::FileKind
