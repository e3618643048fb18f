#include "Reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cmath>
#include <limits>
#include <string>

#include <QColorSpace>
#include <QFile>
#include <QImageReader>

#include <nlohmann/json.hpp>

#include "exiftool_mode.hpp"
#include "orv_ql.h"
#include "own_location.hpp"

namespace orv::ui::Reader {

namespace fs = std::filesystem;
using json = nlohmann::json;

namespace {

// Decoding is all or nothing: the first broken member abandons the envelope.
struct Malformed {};

[[noreturn]] void malformed() { throw Malformed{}; }

QString qtext(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString asText(const json& v) {
    if (!v.is_string()) malformed();
    return QString::fromStdString(v.get_ref<const std::string&>());
}

bool asBool(const json& v) {
    if (!v.is_boolean()) malformed();
    return v.get<bool>();
}

uint64_t asUnsigned64(const json& v) {
    if (!v.is_number_unsigned()) malformed();  // a negative integer or a float is the wrong type
    return v.get<uint64_t>();
}

int64_t asSigned64(const json& v) {
    if (v.is_number_unsigned()) {
        const uint64_t u = v.get<uint64_t>();
        if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) malformed();
        return static_cast<int64_t>(u);
    }
    if (!v.is_number_integer()) malformed();
    return v.get<int64_t>();
}

double asFloat64(const json& v) {
    if (!v.is_number()) malformed();
    const double d = v.get<double>();
    if (!std::isfinite(d)) malformed();
    return d;
}

// A member's value, or null when the key is absent or holds null.
const json* member(const json& object, const char* key) {
    const auto it = object.find(key);
    return it == object.end() || it->is_null() ? nullptr : &*it;
}

template <typename Read>
decltype(auto) required(const json& object, const char* key, Read read) {
    const json* v = member(object, key);
    if (!v) malformed();
    return read(*v);
}

template <typename Read>
auto optional(const json& object, const char* key, Read read) -> std::optional<decltype(read(object))> {
    const json* v = member(object, key);
    if (!v) return std::nullopt;
    return read(*v);
}

const json& asObject(const json& v) {
    if (!v.is_object()) malformed();
    return v;
}

const json& asArray(const json& v) {
    if (!v.is_array()) malformed();
    return v;
}

FocusPoint asFocusPoint(const json& v) {
    const json& o = asObject(v);
    return FocusPoint{required(o, "x", asFloat64), required(o, "y", asFloat64),
                      required(o, "w", asFloat64), required(o, "h", asFloat64)};
}

MakerNoteField asField(const json& v) {
    const json& o = asObject(v);
    return MakerNoteField{required(o, "label", asText), required(o, "value", asText)};
}

MakerNotes asMakerNotes(const json& v) {
    const json& o = asObject(v);
    MakerNotes notes;
    notes.brand = optional(o, "brand", asText);
    for (const json& field : required(o, "fields", asArray)) notes.fields.push_back(asField(field));
    notes.focus = optional(o, "focus", asFocusPoint);
    return notes;
}

QStringList asTextList(const json& v) {
    QStringList list;
    for (const json& item : asArray(v)) list.push_back(asText(item));
    return list;
}

InspectedFile asInspectedFile(const json& v) {
    const json& o = asObject(v);
    InspectedFile f;
    f.path = required(o, "path", asText);
    f.filename = required(o, "filename", asText);
    f.extension = required(o, "extension", asText);
    f.fileSize = optional(o, "fileSize", asUnsigned64);
    f.make = optional(o, "make", asText);
    f.model = optional(o, "model", asText);
    f.lens = optional(o, "lens", asText);
    f.dateTaken = optional(o, "dateTaken", asText);
    f.gpsLat = optional(o, "gpsLat", asFloat64);
    f.gpsLon = optional(o, "gpsLon", asFloat64);
    f.aperture = optional(o, "aperture", asFloat64);
    f.shutterSpeed = optional(o, "shutterSpeed", asFloat64);
    f.iso = optional(o, "iso", asSigned64);
    f.focalLength = optional(o, "focalLength", asFloat64);
    f.width = optional(o, "width", asSigned64);
    f.height = optional(o, "height", asSigned64);
    f.orientation = required(o, "orientation", asSigned64);
    f.copyright = optional(o, "copyright", asText);
    f.artist = optional(o, "artist", asText);
    f.title = optional(o, "title", asText);
    f.caption = optional(o, "caption", asText);
    f.rating = optional(o, "rating", asSigned64);
    f.colorLabel = optional(o, "colorLabel", asText);
    f.shutterCount = optional(o, "shutterCount", asSigned64);
    f.lookName = optional(o, "lookName", asText);
    f.hasSerialNumbers = required(o, "hasSerialNumbers", asBool);
    f.keywords = required(o, "keywords", asTextList);
    f.makerNotes = required(o, "makerNotes", asMakerNotes);
    f.hasSidecar = required(o, "hasSidecar", asBool);
    return f;
}

// Never hand the view more than kMaxPictureSide pixels on the longer side.
QSize boundedSize(QSize size) {
    const int longer = std::max(size.width(), size.height());
    if (longer <= kMaxPictureSide) return size;
    const double s = static_cast<double>(kMaxPictureSide) / longer;
    return QSize(std::max(1, static_cast<int>(std::lround(size.width() * s))),
                 std::max(1, static_cast<int>(std::lround(size.height() * s))));
}

QImage bounded(QImage image) {
    const QSize target = boundedSize(image.size());
    if (target == image.size()) return image;
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace

const Core& systemCore() {
    static const Core core{&orv_ql_inspect,     &orv_ql_preview,         &orv_ql_free_string,
                           &orv_ql_free_bytes,  &orv_ql_run_as_prefetch, &orv_ql_abandon_requests,
                           &orv_ql_zoom};
    return core;
}

bool ready() {
    // A function-local static: initialised once, thread-safely, on first use.
    static const bool isReady = [] {
        using tools::ExifToolMode;
        const char* setting = std::getenv("ORVANTA_EXIFTOOL");
        auto mode = setting && *setting ? tools::parse_exiftool_mode(setting) : ExifToolMode::Resident;
        if (!mode) {
            qWarning("ORVANTA_EXIFTOOL=%s is none of resident, in-process, child; ExifTool stays resident", setting);
            mode = ExifToolMode::Resident;
        }
        const fs::path script = tools::exiftool_script();
        std::error_code ec;
        if (*mode != ExifToolMode::Path && !fs::is_regular_file(script, ec)) return false;
        const auto start = tools::start_exiftool(*mode, script.string());
        if (!start.note.empty()) qWarning("%s", start.note.c_str());
        return start.ready;
    }();
    return isReady;
}

std::optional<InspectResult> decodeEnvelope(std::string_view text) {
    const json doc = json::parse(text.begin(), text.end(), nullptr, /*allow_exceptions=*/false);
    if (doc.is_discarded()) return std::nullopt;
    try {
        const json& envelope = asObject(doc);
        InspectResult result;
        result.file = optional(envelope, "file", asInspectedFile);
        result.error = optional(envelope, "error", asText);
        return result;
    } catch (const Malformed&) {
        return std::nullopt;
    } catch (const json::exception&) {
        return std::nullopt;
    }
}

InspectionOutcome outcomeOfEnvelope(std::string_view text) {
    std::optional<InspectResult> result = decodeEnvelope(text);
    if (!result) return ReadError{qtext(kUnreadableMessage)};
    if (result->file) return std::move(*result->file);
    if (result->error) return ReadError{*result->error};
    return ReadError{qtext(kUnreadableMessage)};
}

LoadResult loadFile(const fs::path& file, const InspectionReport& report) {
    return loadFile(file, ready(), systemCore(), report);
}

LoadResult loadFile(const fs::path& file, bool isReady, const Core& core, const InspectionReport& report) {
    InspectionOutcome outcome = ReadError{qtext(kNoPerlMessage)};
    if (isReady) {
        if (char* text = core.inspect(file.c_str())) {
            const std::string copy(text);
            core.freeString(text);
            outcome = outcomeOfEnvelope(copy);
        } else {
            outcome = ReadError{qtext(kUnreadableMessage)};
        }
    }
    if (report) report(outcome);
    // The picture follows the inspection: the core's preview needs the
    // orientation it reports, and after a failure there is none.
    std::optional<int64_t> orientation;
    if (const auto* f = std::get_if<InspectedFile>(&outcome)) orientation = f->orientation;
    return LoadResult{DecodedImage{decodePreview(file, orientation, isReady, core)}, std::move(outcome)};
}

QImage decodePreview(const fs::path& file, std::optional<int64_t> orientation) {
    return decodePreview(file, orientation, ready(), systemCore());
}

QImage decodePreview(const fs::path& file, std::optional<int64_t> orientation, bool isReady, const Core& core) {
    if (isReady && orientation) {
        size_t length = 0;
        if (uint8_t* bytes = core.preview(file.c_str(), *orientation, &length)) {
            QImage image;
            if (length > 0 && length <= static_cast<size_t>(INT_MAX))
                image = QImage::fromData(bytes, static_cast<int>(length));
            core.freeBytes(bytes, length);
            if (!image.isNull()) return bounded(std::move(image));
        }
    }
    return systemThumbnail(file);
}

ZoomRegion loadZoom(const fs::path& file, int64_t orientation, const ZoomWish& wish) {
    return loadZoom(file, orientation, wish, ready(), systemCore());
}

ZoomRegion loadZoom(const fs::path& file, int64_t orientation, const ZoomWish& wish, bool isReady, const Core& core) {
    if (!isReady || !core.zoom) return {};
    constexpr int kMaxZoomSide = 8192;  // the most the core gives either way
    orv_ql_zoom_region region{};
    region.centre_x = std::clamp(std::isfinite(wish.centre.x()) ? wish.centre.x() : 0.5, 0.0, 1.0);
    region.centre_y = std::clamp(std::isfinite(wish.centre.y()) ? wish.centre.y() : 0.5, 0.0, 1.0);
    region.width = static_cast<uint32_t>(std::clamp(wish.size.width(), 1, kMaxZoomSide));
    region.height = static_cast<uint32_t>(std::clamp(wish.size.height(), 1, kMaxZoomSide));
    size_t length = 0;
    uint8_t* bytes = core.zoom(file.c_str(), orientation, &region, &length);
    if (!bytes) return {};
    ZoomRegion result;
    const uint64_t w = region.region_width, h = region.region_height;
    // Only a region that is what it says it is, inside the picture it names.
    const bool sound = w > 0 && h > 0 && w <= kMaxZoomSide && h <= kMaxZoomSide && length == 3 * w * h &&
                       region.full_width <= INT_MAX && region.full_height <= INT_MAX &&
                       uint64_t{region.x} + w <= region.full_width && uint64_t{region.y} + h <= region.full_height;
    if (sound) {
        const QImage wrapped(bytes, static_cast<int>(w), static_cast<int>(h), static_cast<qsizetype>(3 * w),
                             QImage::Format_RGB888);
        // Converted once here, off the main thread: drawn as is, every paint.
        result.image = wrapped.convertToFormat(QImage::Format_RGB32);
        result.full = QSize(static_cast<int>(region.full_width), static_cast<int>(region.full_height));
        result.rect = QRect(static_cast<int>(region.x), static_cast<int>(region.y), static_cast<int>(w),
                            static_cast<int>(h));
        result.embedded = region.embedded;
    }
    core.freeBytes(bytes, length);
    return result;
}

bool openRegularFile(const fs::path& file, QFile& device, struct stat* opened) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !device.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    if (opened) *opened = st;
    return true;
}

QImage systemThumbnail(const fs::path& file) {
    // Process-wide in Qt; set once, before the first decode.
    static const bool limited = [] {
        QImageReader::setAllocationLimit(static_cast<int>(kMaxDecodeBytes >> 20));
        return true;
    }();
    (void)limited;

    QFile device;
    if (!openRegularFile(file, device)) return {};
    QImageReader reader(&device);
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
    // Decode the whole first image (never an embedded thumbnail), scaling
    // while decoding where the format can.
    const QSize stored = reader.size();
    if (stored.isValid()) {
        const int64_t pixels = int64_t{stored.width()} * stored.height();
        if (pixels > kMaxStoredPixels) return {};
        if (reader.format() == "jpeg" && pixels * 3 > kMaxDecodeBytes) return {};
    }
    if (stored.isValid() && !stored.isEmpty()) reader.setScaledSize(boundedSize(stored));
    QImage image = reader.read();
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return {};
    image = bounded(std::move(image));
    // Shown as sRGB, like the core's pictures: a picture in another space
    // (its own profile) is converted, after scaling, so fewer pixels are.
    const QColorSpace space = image.colorSpace();
    if (space.isValid() && space != QColorSpace(QColorSpace::SRgb)) image.convertToColorSpace(QColorSpace::SRgb);
    return image;
}

}  // namespace orv::ui::Reader
