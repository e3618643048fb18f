// The bridge to the metadata core: initialises it once per process, turns one
// preview request into a decoded summary (or a message for the user) plus a
// picture, and owns the records the core's JSON envelope decodes into.
// Nothing here touches a view; loadFile runs on a background thread.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <variant>
#include <vector>

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QPointF>
#include <QRect>
#include <QString>
#include <QStringList>

#include "orv_ql.h"

namespace orv::ui {

// Percent (0-100) of the width and height of the picture as displayed; x, y
// is the top-left corner of the box, w, h its size.
struct FocusPoint {
    double x = 0, y = 0, w = 0, h = 0;
    friend bool operator==(const FocusPoint&, const FocusPoint&) = default;
};

struct MakerNoteField {
    QString label;
    QString value;
};

struct MakerNotes {
    std::optional<QString> brand;
    std::vector<MakerNoteField> fields;
    std::optional<FocusPoint> focus;
};

struct InspectedFile {
    QString path;
    QString filename;
    QString extension;
    std::optional<uint64_t> fileSize;
    std::optional<QString> make;
    std::optional<QString> model;
    std::optional<QString> lens;
    std::optional<QString> dateTaken;
    std::optional<double> gpsLat;
    std::optional<double> gpsLon;
    std::optional<double> aperture;
    std::optional<double> shutterSpeed;  // seconds
    std::optional<int64_t> iso;
    std::optional<double> focalLength;   // millimetres
    std::optional<int64_t> width;
    std::optional<int64_t> height;
    int64_t orientation = 1;
    std::optional<QString> copyright;
    std::optional<QString> artist;
    std::optional<QString> title;
    std::optional<QString> caption;
    std::optional<int64_t> rating;
    std::optional<QString> colorLabel;
    std::optional<int64_t> shutterCount;  // shutter actuations; also among the maker-note fields
    std::optional<QString> lookName;
    bool hasSerialNumbers = false;
    QStringList keywords;
    MakerNotes makerNotes;
    bool hasSidecar = false;
};

// The envelope: a summary, an error text, or (malformed but decodable) neither.
struct InspectResult {
    std::optional<InspectedFile> file;
    std::optional<QString> error;
};

// Why a request has no summary; shown as the body of the error panel.
struct ReadError {
    QString message;
};

// The picture handed from the background load to the main thread; a null
// image means there is none.
struct DecodedImage {
    QImage image;
};

// What a zoomed view asks for: the centre as fractions (0 to 1) of the
// upright picture's width and height, and the region's size in pixels.
struct ZoomWish {
    QPointF centre;
    QSize size;
    friend bool operator==(const ZoomWish&, const ZoomWish&) = default;
};

// One place of the file's picture at full size, one picture pixel per image
// pixel: `image` (null when the file has no full-size picture) covers
// `rect` of the upright full-size picture, `full` pixels in all. `embedded`:
// the full-size picture is a preview embedded in the file, not its own.
struct ZoomRegion {
    QImage image;
    QSize full;
    QRect rect;
    bool embedded = false;
};

// What is shown for a file that is not a picture (a document, a folder, a
// video): no inspection, only what the file system and the MIME database say.
struct FileCard {
    QString description;      // the type's own description: "PDF document"
    QString iconName;         // the type's icon in the desktop's theme
    QString genericIconName;  // the icon of its family, when the theme lacks the first
    QString label;            // a short type label for the drawn icon: "PDF"; empty for folders
    bool folder = false;
    std::optional<uint64_t> size;
    std::optional<QDateTime> modified;
    QString note;  // a closing line, or empty
};

using InspectionOutcome = std::variant<InspectedFile, ReadError, FileCard>;

struct LoadResult {
    DecodedImage picture;
    InspectionOutcome outcome;
};

// Told what a load's inspection found as soon as it is known, on the loading
// thread, while the picture is still to be decoded.
using InspectionReport = std::function<void(const InspectionOutcome& outcome)>;

namespace Reader {

inline constexpr std::string_view kUnreadableMessage = "The file couldn't be read";
inline constexpr std::string_view kNoPerlMessage = "Orvanta couldn't load the system Perl library";

// The fallback picture is decoded from the whole image and scaled so that its
// longer side is at most this many pixels.
inline constexpr int kMaxPictureSide = 1800;

// What the fallback decoder refuses, judged from the file's header before a
// pixel is decoded: a few hundred bytes may claim any size. A picture of more
// than kMaxStoredPixels, or a JPEG whose whole frame (three bytes a pixel)
// needs more than kMaxDecodeBytes: libjpeg holds every coefficient of a
// progressive JPEG at full size, however small the output is scaled. Qt's
// own buffer for the decoded image gets the same memory budget.
inline constexpr int64_t kMaxStoredPixels = 200'000'000;
inline constexpr int64_t kMaxDecodeBytes = int64_t{512} << 20;

// The core's entry points as the bridge uses them. The real ones by default;
// tests substitute their own to count and script the calls.
struct Core {
    std::function<char*(const char* path)> inspect;
    std::function<uint8_t*(const char* path, int64_t orientation, size_t* length)> preview;
    std::function<void(char* text)> freeString;
    std::function<void(uint8_t* bytes, size_t length)> freeBytes;
    // The calling thread's later calls are background work (true) or a
    // user's request again (false): orv_ql_run_as_prefetch.
    std::function<void(bool prefetch)> runAsPrefetch;
    // Every user's request in progress fails at once: orv_ql_abandon_requests.
    std::function<void()> abandonRequests;
    // A place of the picture at full size: orv_ql_zoom.
    std::function<uint8_t*(const char* path, int64_t orientation, orv_ql_zoom_region* region, size_t* length)> zoom;
};
const Core& systemCore();

// True when the core is initialised and can inspect files. Computed once per
// process, by whichever thread asks first (concurrent first callers wait for
// that one evaluation): finds the staged ExifTool beside the executable and
// initialises the core in the mode ORVANTA_EXIFTOOL chooses: "resident"
// (unset or empty too), "in-process", or "child" ("exiftool" from PATH, a
// process per run). A resident ExifTool that cannot start falls back to
// in-process, with one warning. A false value is final.
bool ready();

// Decodes an envelope strictly: a required member missing or null, or any
// member of the wrong type or out of its type's range, fails the whole text.
std::optional<InspectResult> decodeEnvelope(std::string_view json);

// What a request shows for an envelope text: the summary, or the message.
InspectionOutcome outcomeOfEnvelope(std::string_view json);

// The background unit of one request: inspection first, then the picture with
// the orientation the inspection reported. `report`, when given, hears the
// inspection's outcome before the picture is decoded.
LoadResult loadFile(const std::filesystem::path& file, const InspectionReport& report = {});
LoadResult loadFile(const std::filesystem::path& file, bool isReady, const Core& core,
                    const InspectionReport& report = {});

// The picture: the core's upright preview when the core is ready and the
// orientation is known, else the file decoded here (see systemThumbnail).
QImage decodePreview(const std::filesystem::path& file, std::optional<int64_t> orientation);
QImage decodePreview(const std::filesystem::path& file, std::optional<int64_t> orientation,
                     bool isReady, const Core& core);

// The region of the file's full-size picture around wish.centre, wish.size
// pixels wide and high (each cut to 1..8192), moved inside the picture by the
// core; `orientation` is the inspection's. A null image when the core is not
// ready or the file has no full-size picture.
ZoomRegion loadZoom(const std::filesystem::path& file, int64_t orientation, const ZoomWish& wish);
ZoomRegion loadZoom(const std::filesystem::path& file, int64_t orientation, const ZoomWish& wish, bool isReady,
                    const Core& core);

// The file's first image decoded in full, turned upright by its own
// orientation and scaled to at most kMaxPictureSide on the longer side. Only
// regular files are opened, so a pipe or device never blocks the load; a
// picture beyond the limits above is refused (a null image).
QImage systemThumbnail(const std::filesystem::path& file);

// Opens the file for reading into device when it is a regular file, checked
// on the open descriptor itself: the open never waits on a pipe, and a name
// swapped after an earlier stat cannot slip by. opened, when given, receives
// the descriptor's status.
bool openRegularFile(const std::filesystem::path& file, QFile& device, struct stat* opened = nullptr);

}  // namespace Reader

}  // namespace orv::ui
