// orvanta-thumbnailer: thumbnails for file managers, from the picture the
// core makes (for RAW files, the preview embedded in them), upright.
//
//   orvanta-thumbnailer -s SIZE INPUT OUTPUT
//
// Writes a PNG whose longer side is at most SIZE. On any failure it exits
// non-zero and leaves no OUTPUT behind; an OUTPUT that names something other
// than a regular file or a symbolic link (which is replaced) is refused.
#include <QBuffer>
#include <QByteArrayView>
#include <QImage>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "exiftool_mode.hpp"
#include "orv_ql.h"
#include "own_location.hpp"
#include "replace_file.hpp"

namespace {

constexpr const char* kUsage =
    "usage: orvanta-thumbnailer -s SIZE INPUT OUTPUT\n"
    "Writes a PNG thumbnail of INPUT (a photo or camera RAW file) whose longer\n"
    "side is at most SIZE pixels.\n";

int fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "orvanta-thumbnailer: %s%s\n", what, detail.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 5 || std::strcmp(argv[1], "-s") != 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    char* end = nullptr;
    const long size = std::strtol(argv[2], &end, 10);
    if (*argv[2] == '\0' || *end != '\0' || size < 1 || size > 4096) {
        std::fprintf(stderr, "orvanta-thumbnailer: SIZE must be a number of pixels from 1 to 4096\n%s", kUsage);
        return 2;
    }
    const char* input = argv[3];
    const std::string output = argv[4];
    // Checked before any work: a FIFO nobody reads would hold the writer
    // for ever, and a device is no place for a thumbnail.
    if (orv::tools::is_special(output)) return fail("not a regular file: ", output);

    // A child per run, never in-process: a file that makes ExifTool loop
    // must be stoppable, since the file manager starts several of us at once
    // and waits for each. One thumbnail per process: no resident to keep.
    orv::tools::start_exiftool(orv::tools::ExifToolMode::Child, orv::tools::exiftool_script().string());
    size_t length = 0;
    uint8_t* jpeg = orv_ql_thumbnail(input, static_cast<uint32_t>(size), &length);
    if (!jpeg) return fail("no picture in ", input);
    const QImage thumb = QImage::fromData(QByteArrayView(jpeg, static_cast<qsizetype>(length)), "JPEG");
    orv_ql_free_bytes(jpeg, length);
    if (thumb.isNull()) return fail("no picture in ", input);

    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !thumb.save(&buffer, "PNG")) return fail("cannot encode ", output);
    // A new file under the name, never written through a link planted there,
    // and never half a PNG for the file manager to cache.
    if (const int err = orv::tools::replace_file(output, {png.constData(), static_cast<size_t>(png.size())},
                                                 orv::tools::Special::Refuse)) {
        return fail("cannot write ", output + ": " + std::strerror(err));
    }
    return 0;
}
