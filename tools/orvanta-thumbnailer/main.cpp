// orvanta-thumbnailer: thumbnails for file managers, from the picture the
// core makes (for RAW files, the preview embedded in them), upright.
//
//   orvanta-thumbnailer -s SIZE INPUT OUTPUT
//
// Writes a PNG whose longer side is at most SIZE. On any failure it exits
// non-zero and leaves no OUTPUT behind.
#include <unistd.h>

#include <QByteArrayView>
#include <QFileInfo>
#include <QImage>
#include <QBuffer>
#include <QString>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "orv_ql.h"
#include "replace_file.hpp"

namespace {

constexpr const char* kUsage =
    "usage: orvanta-thumbnailer -s SIZE INPUT OUTPUT\n"
    "Writes a PNG thumbnail of INPUT (a photo or camera RAW file) whose longer\n"
    "side is at most SIZE pixels.\n";

std::filesystem::path bundled_exiftool() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return exe.parent_path().parent_path() / "share" / "orvanta" / "exiftool" / "exiftool";
}

// The file's orientation from its inspection (1 when it records none or the
// inspection fails), so the thumbnail comes out upright.
int64_t orientation_of(const std::string& path) {
    char* text = orv_ql_inspect(path.c_str());
    const auto doc = nlohmann::json::parse(text ? text : "", nullptr, false);
    orv_ql_free_string(text);
    if (doc.is_object() && doc.contains("file")) {
        const auto& o = doc["file"]["orientation"];
        if (o.is_number_integer()) return o.get<int64_t>();
    }
    return 1;
}

std::optional<QImage> upright_picture(const std::string& path) {
    size_t length = 0;
    uint8_t* bytes = orv_ql_preview(path.c_str(), orientation_of(path), &length);
    if (!bytes) return std::nullopt;
    // The decoded picture owns its pixels; the core's bytes can go at once.
    const QImage image = QImage::fromData(QByteArrayView(bytes, static_cast<qsizetype>(length)), "JPEG");
    orv_ql_free_bytes(bytes, length);
    if (image.isNull()) return std::nullopt;
    return image;
}

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
    const std::string input = argv[3];

    orv_ql_init(bundled_exiftool().c_str());  // in-process when possible; else exiftool from PATH
    auto picture = upright_picture(input);
    if (!picture) return fail("no picture in ", input);

    QImage thumb = *picture;
    if (thumb.width() > size || thumb.height() > size) {
        thumb = thumb.scaled(static_cast<int>(size), static_cast<int>(size), Qt::KeepAspectRatio,
                             Qt::SmoothTransformation);
    }
    QByteArray png;
    QBuffer buffer(&png);
    if (!buffer.open(QIODevice::WriteOnly) || !thumb.save(&buffer, "PNG")) return fail("cannot encode ", argv[4]);
    // A new file under the name, never written through a link planted there,
    // and never half a PNG for the file manager to cache.
    if (const int err = orv::tools::replace_file(argv[4], {png.constData(), static_cast<size_t>(png.size())})) {
        return fail("cannot write ", std::string(argv[4]) + ": " + std::strerror(err));
    }
    return 0;
}
