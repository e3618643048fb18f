// The bridge to the core: strict decoding of the envelope, the order and
// pairing of core calls in a load, and the fallback picture.
#include <cstdlib>
#include <cstring>

#include <QBuffer>
#include <QColorSpace>

#include "TestSupport.hpp"

using namespace orv;
using namespace orv::ui;
using test::json;

namespace {

QString messageOf(const InspectionOutcome& outcome) {
    const auto* error = std::get_if<ReadError>(&outcome);
    return error ? error->message : QStringLiteral("<summary>");
}

QByteArray encoded(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

// A stand-in core that logs every call, releases included, in order.
struct FakeCore {
    explicit FakeCore(std::string text = {}) : envelopeText(std::move(text)) {}

    std::string envelopeText;
    bool inspectReturnsNull = false;
    QByteArray previewBytes;  // empty: no preview
    orv_ql_zoom_region zoomAnswer{};  // the fields the zoom fills in; its bytes are 1, 2, 3, ...
    std::vector<std::string> calls;

    Reader::Core core() {
        return Reader::Core{
            [this](const char* path) -> char* {
                calls.push_back(std::string("inspect ") + path);
                return inspectReturnsNull ? nullptr : strdup(envelopeText.c_str());
            },
            [this](const char*, int64_t orientation, size_t* length) -> uint8_t* {
                calls.push_back("preview " + std::to_string(orientation));
                if (previewBytes.isEmpty()) return nullptr;
                *length = static_cast<size_t>(previewBytes.size());
                return static_cast<uint8_t*>(std::memcpy(std::malloc(*length), previewBytes.constData(), *length));
            },
            [this](char* text) { calls.push_back("free string"), std::free(text); },
            [this](uint8_t* bytes, size_t length) {
                calls.push_back("free bytes " + std::to_string(length)), std::free(bytes);
            },
            {},   // runAsPrefetch and abandonRequests: a load itself calls neither
            {},
            [this](const char*, int64_t orientation, orv_ql_zoom_region* region, size_t* length) -> uint8_t* {
                calls.push_back(QString("zoom %1 %2,%3 %4x%5")
                                    .arg(orientation).arg(region->centre_x).arg(region->centre_y)
                                    .arg(region->width).arg(region->height).toStdString());
                const orv_ql_zoom_region wanted = *region;
                *region = zoomAnswer;
                region->centre_x = wanted.centre_x, region->centre_y = wanted.centre_y;
                region->width = wanted.width, region->height = wanted.height;
                *length = 3 * size_t{zoomAnswer.region_width} * zoomAnswer.region_height;
                auto* bytes = static_cast<uint8_t*>(std::malloc(*length + 1));
                for (size_t i = 0; i < *length; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
                return bytes;
            }};
    }
};

// Applies a patch to a summary: a member set to "<absent>" is removed, an
// object is merged into the member's object (where null removes), anything
// else replaces the member (null included).
json patched(json file, const json& patch) {
    for (const auto& [key, value] : patch.items()) {
        if (value == "<absent>")
            file.erase(key);
        else if (value.is_object() && file[key].is_object())
            file[key].merge_patch(value);
        else
            file[key] = value;
    }
    return file;
}

// A progressive JPEG of a few hundred bytes that claims `side` × `side`
// pixels: the tables and frame header a decoder needs, a first DC scan, and
// then the data simply ends (libjpeg fills the rest in).
QByteArray progressiveJpegHeader(int side) {
    const QByteArray quantTable = "FFDB0043" "00" + QByteArray("01").repeated(64);
    const QByteArray dcTable = "FFC40014" "00" "01" + QByteArray("00").repeated(15) + "00";
    const QByteArray size = QByteArray::number(side, 16).rightJustified(4, '0');
    const QByteArray frame = "FFC20011" "08" + size + size + "03" "012200" "021100" "031100";
    const QByteArray scan = "FFDA000C" "03" "0100" "0200" "0300" "000000" + QByteArray("00").repeated(16);
    return QByteArray::fromHex("FFD8" + quantTable + dcTable + frame + scan + "FFD9");
}

}  // namespace

class ReaderTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    std::filesystem::path writeImage(const char* name, const QImage& image, const char* format) {
        const QString path = dir.filePath(name);
        image.save(path, format);
        return path.toStdString();
    }

private slots:
    void outcomeOfAnEnvelope_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        // Decoding is all or nothing: each patch is merged into a full summary.
        const auto summary = [](const char* name, const char* patch, const char* expected) {
            const json file = patched(test::fullFile(), json::parse(patch));
            QTest::newRow(name) << QString::fromStdString(test::envelope(file)) << expected;
        };
        const char* unreadable = "The file couldn't be read";
        summary("keywords missing", R"({"keywords": "<absent>"})", unreadable);
        summary("orientation null", R"({"orientation": null})", unreadable);
        summary("negative file size", R"({"fileSize": -1})", unreadable);
        summary("text for a number", R"({"aperture": "2.8"})", unreadable);
        summary("fraction for an integer", R"({"iso": 100.5})", unreadable);
        summary("beyond signed 64 bits", R"({"width": 9223372036854775808})", unreadable);
        summary("focus box without h", R"({"makerNotes": {"focus": {"h": null}}})", unreadable);
        summary("field without value", R"({"makerNotes": {"fields": [{"label": "x"}]}})", unreadable);
        summary("keyword not text", R"({"keywords": ["a", 3]})", unreadable);
        summary("shutter count as text", R"({"shutterCount": "many"})", unreadable);
        summary("largest file size", R"({"fileSize": 18446744073709551615})", "<summary>");
        summary("integer for a float", R"({"aperture": 4})", "<summary>");
        // Envelopes without a summary.
        QTest::newRow("error kept unchanged") << R"({"error":"No file"})" << "No file";
        // (escaped strings here: moc misreads raw strings holding \" or a lone ")
        QTest::newRow("error with a quote") << "{\"error\":\"failed to run exiftool: \\\"x\\\"\"}"
                                            << "failed to run exiftool: \"x\"";
        QTest::newRow("neither member") << "{}" << unreadable;
        QTest::newRow("error not text") << R"({"error":5})" << unreadable;
        QTest::newRow("not an object") << "[]" << unreadable;
        QTest::newRow("truncated") << "{\"error\":\"No f" << unreadable;
    }
    void outcomeOfAnEnvelope() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(messageOf(Reader::outcomeOfEnvelope(text.toStdString())), expected);
    }

    void successPassesItsOrientationToThePreviewAndReleasesEverything() {
        json file = test::fullFile();
        file["orientation"] = 6;
        FakeCore fake{test::envelope(file)};
        fake.previewBytes = encoded(QImage(40, 30, QImage::Format_RGB32), "JPEG");
        // The inspection is told before the picture is asked for.
        const LoadResult result = Reader::loadFile("/x/a.cr3", true, fake.core(), [&](const InspectionOutcome& outcome) {
            fake.calls.push_back("reported " + messageOf(outcome).toStdString());
        });
        QVERIFY(std::holds_alternative<InspectedFile>(result.outcome));
        QCOMPARE(result.picture.image.size(), QSize(40, 30));
        const std::vector<std::string> expected = {"inspect /x/a.cr3", "free string", "reported <summary>", "preview 6",
                                                   "free bytes " + std::to_string(fake.previewBytes.size())};
        QVERIFY(fake.calls == expected);
    }

    void undecodablePreviewBytesAreReleasedAndTheFileIsDecodedHere() {
        const auto path = writeImage("wide.png", QImage(4000, 1000, QImage::Format_RGB32), "PNG");
        FakeCore fake{test::envelope(test::minimalFile())};
        fake.previewBytes = "not a picture";
        const LoadResult result = Reader::loadFile(path, true, fake.core());
        QCOMPARE(fake.calls.back(), "free bytes 13");
        QCOMPARE(result.picture.image.size(), QSize(1800, 450));  // whole image, longer side 1800
    }

    void failedInspectionNeverAsksForThePreview() {
        FakeCore fake{R"({"error":"No file"})"};
        const auto path = writeImage("small.png", QImage(64, 48, QImage::Format_RGB32), "PNG");
        const LoadResult result = Reader::loadFile(path, true, fake.core());
        QCOMPARE(messageOf(result.outcome), QString("No file"));
        QCOMPARE(result.picture.image.size(), QSize(64, 48));  // the file's own picture instead
        QVERIFY(fake.calls == std::vector<std::string>({"inspect " + path.string(), "free string"}));

        FakeCore silent;
        silent.inspectReturnsNull = true;
        QCOMPARE(messageOf(Reader::loadFile(path, true, silent.core()).outcome),
                 QString("The file couldn't be read"));
        QCOMPARE(silent.calls.size(), size_t(1));

        // A core that is not ready is not called at all; its message is known at once.
        QString reported;
        const LoadResult unready =
            Reader::loadFile(path, false, fake.core(), [&](const InspectionOutcome& o) { reported = messageOf(o); });
        QCOMPARE(messageOf(unready.outcome), QString("Orvanta couldn't load the system Perl library"));
        QCOMPARE(reported, messageOf(unready.outcome));
        QCOMPARE(fake.calls.size(), size_t(2));
        QVERIFY(!unready.picture.image.isNull());
    }

    void zoomRegionsBecomeImagesInTheirPlace() {
        FakeCore fake;
        fake.zoomAnswer = orv_ql_zoom_region{0, 0, 0, 0, 6000, 4000, 5998, 3999, 2, 1, true};
        // Wishes out of the core's range are brought into it.
        const ZoomRegion region = Reader::loadZoom("/x/a.cr3", 6, ZoomWish{{1.5, 0.25}, {9000, 0}}, true, fake.core());
        QCOMPARE(fake.calls, (std::vector<std::string>{"zoom 6 1,0.25 8192x1", "free bytes 6"}));
        QCOMPARE(region.rect, QRect(5998, 3999, 2, 1));
        QCOMPARE(region.full, QSize(6000, 4000));
        QVERIFY(region.embedded);
        QCOMPARE(region.image.pixel(0, 0), qRgb(1, 2, 3));
        QCOMPARE(region.image.pixel(1, 0), qRgb(4, 5, 6));

        // A region that says it lies past the picture's edge is not shown, but still released.
        fake.calls.clear();
        fake.zoomAnswer.x = 5999;
        QVERIFY(Reader::loadZoom("/x/a.cr3", 1, ZoomWish{{0.5, 0.5}, {2, 1}}, true, fake.core()).image.isNull());
        QCOMPARE(fake.calls.back(), "free bytes 6");
    }

    void fallbackTurnsThePictureByItsOwnOrientation() {
        // Stored 450 × 600 with orientation 6: shown upright, 600 × 450.
        const std::filesystem::path file = ORVQL_CORPUS_DIR "/exif-samples/jpg/orientation/landscape_6.jpg";
        if (!std::filesystem::exists(file)) QSKIP("corpus not available");
        QCOMPARE(Reader::systemThumbnail(file).size(), QSize(600, 450));
    }

    void fallbackShowsAnAdobeRgbPictureInSrgb() {
        // The same red stored in Adobe RGB (1998) with its profile: read as
        // stored, it would show duller than it is.
        const QRgb red = qRgb(200, 60, 50);
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(red);
        image.setColorSpace(QColorSpace::SRgb);
        image.convertToColorSpace(QColorSpace::AdobeRgb);
        QVERIFY(qAbs(qRed(image.pixel(0, 0)) - qRed(red)) > 10);
        const QString path = dir.filePath("adobe.png");
        QVERIFY(image.save(path));
        const QImage shown = Reader::systemThumbnail(path.toStdString());
        QVERIFY(!shown.isNull());
        const QRgb got = shown.pixel(32, 24);
        QVERIFY2(qAbs(qRed(got) - qRed(red)) <= 2 && qAbs(qGreen(got) - qGreen(red)) <= 2 &&
                     qAbs(qBlue(got) - qBlue(red)) <= 2,
                 qPrintable(QString::number(got, 16)));
    }

    void fallbackRefusesAPictureTooLargeToDecode_data() {
        QTest::addColumn<int>("side");
        QTest::addColumn<bool>("decoded");
        // The same few bytes decode at a modest claimed size, so the refusal
        // is the limit's, not the file's.
        QTest::newRow("1400 x 1400") << 1400 << true;
        QTest::newRow("14000 x 14000") << 14000 << false;  // 588 MB of coefficients
    }
    void fallbackRefusesAPictureTooLargeToDecode() {
        QFETCH(int, side);
        QFETCH(bool, decoded);
        const QString path = dir.filePath(QString("claims-%1.jpg").arg(side));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(progressiveJpegHeader(side)) < 1024);
        file.close();
        const QImage image = Reader::systemThumbnail(path.toStdString());
        QCOMPARE(!image.isNull(), decoded);
        if (decoded) QCOMPARE(image.size(), QSize(1400, 1400));
    }
};

ORV_QUICKLOOK_TEST_MAIN(ReaderTest)
#include "reader_test.moc"
