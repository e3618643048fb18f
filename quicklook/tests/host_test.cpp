// orvanta-preview end to end: awkward files, no display, a program without
// its resources, --render, the command line, and real camera files whose
// --dump must match the panel built from the core's own envelope.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "Options.hpp"
#include "Palette.hpp"
#include "TestSupport.hpp"
#include "Window.hpp"

using namespace orv;
using namespace orv::ui;
using test::json;

namespace {

test::Run preview(const QStringList& args) { return test::run(ORVANTA_PREVIEW, args); }

// The --dump output split into one block of lines per file.
std::vector<std::vector<std::string>> blocks(const QString& out) {
    std::vector<std::vector<std::string>> result;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(R"({"photo")")) result.emplace_back();
        if (!result.empty()) result.back().push_back(line.toStdString());
    }
    return result;
}

QString field(const std::string& line, const char* key) {
    return QString::fromStdString(json::parse(line).value(key, std::string("<none>")));
}

}  // namespace

class HostTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void awkwardFilesEachGetTheirOwnPanelInOrder() {
        // Each also goes to the fallback decoder, which must not block on the
        // pipe nor read /dev/zero for ever.
        const QStringList files = {dir.filePath("empty.jpg"), dir.filePath("gone.cr2"), dir.filePath("folder.jpg"),
                                   dir.filePath("two\nlines.jpg"), dir.filePath("pipe.jpg"), "/dev/zero"};
        QFile(files[0]).open(QIODevice::WriteOnly);
        QFile(files[3]).open(QIODevice::WriteOnly);
        QDir().mkdir(files[2]);
        QCOMPARE(mkfifo(QFile::encodeName(files[4]).constData(), 0600), 0);

        const test::Run r = preview(QStringList{"--dump"} + files);
        QCOMPARE(r.status, 0);
        const auto result = blocks(r.out);
        QCOMPARE(result.size(), size_t(files.size()));
        for (size_t i = 0; i < result.size(); ++i) {
            // An error panel (name, message) or, for an empty file ExifTool
            // still reads, a summary; complete either way.
            const auto& block = result[i];
            QVERIFY(block.size() >= 3);
            QCOMPARE(field(block[1], "kind"), QString("title"));
            QCOMPARE(field(block[1], "text"), QFileInfo(files[i]).fileName());
            const QString last = field(block.back(), "kind");
            QVERIFY2(last == "footer" || (block.size() == 3 && last == "note"), block.back().c_str());
            const json photo = json::parse(block[0])["photo"];
            QVERIFY(photo["image"].is_null());
            QVERIFY(photo["placeholder"] == "No preview");
        }
    }

    void theCommandLine() {
        using host::Options;
        const auto parse = [](std::vector<std::string> args) { return host::parseArguments(args); };
        const auto names = [](const Options& o) {
            std::vector<std::string> result;
            for (const auto& file : o.files) {
                if (!file.is_absolute()) return std::vector<std::string>{"<relative>"};
                result.push_back(file.filename().native());
            }
            return result;
        };

        // Files come through byte for byte, whatever their encoding or look.
        const auto plain = parse({"--dump", "caf\xE9 1.jpg", "--", "-x.jpg", "--dump"});
        QVERIFY(std::holds_alternative<Options>(plain));
        QVERIFY(std::get<Options>(plain).dump);
        QCOMPARE(names(std::get<Options>(plain)), (std::vector<std::string>{"caf\xE9 1.jpg", "-x.jpg", "--dump"}));

        const auto rendered = parse({"--render=out \xFF.png", "--size", "800x600", "a.jpg"});
        QVERIFY(std::holds_alternative<Options>(rendered));
        QCOMPARE(std::get<Options>(rendered).renderTo->native(), std::string("out \xFF.png"));
        QCOMPARE(std::get<Options>(rendered).size, QSize(800, 600));

        // Each mistake is named.
        const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
            {{"--bogus", "a.jpg"}, "bogus"},
            {{"--render"}, "render"},
            {{"--render", "", "a.jpg"}, "--render needs a file name"},
            {{"--render", "o.png", "--size", "0x600", "a.jpg"}, "--size needs WIDTHxHEIGHT"},
            {{"--size", "800x600", "a.jpg"}, "--size goes with --render"},
            {{"--service", "a.jpg"}, "--service takes no FILE"},
            {{"--register-previewer", "--unregister-previewer"}, "undo each other"},
            {{"--dump"}, "no FILE given"},
            {{"--zoom", "a.jpg"}, "--zoom goes with --render or --dump"},
        };
        for (const auto& [args, words] : mistakes) {
            const auto parsed = parse(args);
            const auto* message = std::get_if<std::string>(&parsed);
            QVERIFY2(message && message->find(words) != std::string::npos, words.c_str());
        }
    }

    void withoutADisplayItSuggestsRender() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
        const test::Run r = test::run(ORVANTA_PREVIEW, {dir.filePath("x.jpg")}, env);
        QCOMPARE(r.status, 1);
        QVERIFY(r.err.contains("--render"));
    }

    void aProgramWithoutItsResourcesUsesTheSystemsExifTool() {
        // A copy of the program in a folder with no share/orvanta beside it,
        // as the Debian package installs it: Debian's ExifTool reads the file.
        if (!QFile::exists("/usr/bin/exiftool")) QSKIP("no /usr/bin/exiftool");
        QVERIFY(QDir().mkpath(dir.filePath("bare/bin")));
        const QString copy = dir.filePath("bare/bin/orvanta-preview");
        QVERIFY(QFile::copy(ORVANTA_PREVIEW, copy));
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner);
        const QString picture = dir.filePath("seen.png");
        QImage(320, 200, QImage::Format_RGB32).save(picture);
        const test::Run r = test::run(copy, {"--dump", picture});
        QCOMPARE(r.status, 0);
        const auto block = blocks(r.out).at(0);
        QCOMPARE(field(block.at(1), "text"), QString("seen.png"));
        QVERIFY(std::any_of(block.begin(), block.end(),
                            [](const std::string& line) { return line.find("CAMERA & LENS") != std::string::npos; }));
        // The core's picture, fitted to 1800, not the fallback decoder's.
        QVERIFY(json::parse(block[0])["photo"]["image"] == json::array({1800, 1125}));
    }

    void renderWritesTheWindowAsPng() {
        const QString out = dir.filePath("shot.png");
        QCOMPARE(preview({"--render", out, dir.filePath("none.jpg")}).status, 0);
        const QImage image(out);
        QCOMPARE(image.size(), QSize(1180, 760));
        QCOMPARE(QColor(image.pixel(10, 10)), Palette::base());
        QCOMPARE(QColor(image.pixel(839, 10)), Palette::borderSoft());
        QCOMPARE(QColor(image.pixel(1170, 750)), Palette::panel());

        const QString many = dir.filePath("many.png");
        QCOMPARE(preview({"--render", many, "--size", "900x500", dir.filePath("a.jpg"), dir.filePath("b.jpg")}).status, 0);
        QCOMPARE(QImage(dir.filePath("many-1.png")).size(), QSize(900, 500));
        QCOMPARE(QColor(QImage(dir.filePath("many-2.png")).pixel(900 - 341, 10)), Palette::borderSoft());
    }

    void zoomedAtTwiceTheDensityOnePicturePixelIsOneDevicePixel() {
        // A checkerboard of single pixels survives only when nothing is resampled.
        QImage board(3000, 2000, QImage::Format_RGB32);
        for (int y = 0; y < board.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(board.scanLine(y));
            for (int x = 0; x < board.width(); ++x) line[x] = (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        }
        const QString picture = dir.filePath("board.png"), out = dir.filePath("board-zoomed.png");
        QVERIFY(board.save(picture));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_SCALE_FACTOR", "2");
        const test::Run r = test::run(ORVANTA_PREVIEW, {"--render", out, "--dump", "--zoom", picture}, env);
        QCOMPARE(r.status, 0);
        // No focus box: the centre (1500, 1000) in the middle of 1678 × 1520 device
        // pixels; the region asked for is half as much again, cut to the picture.
        const json zoom = json::parse(blocks(r.out).at(0).at(0))["photo"]["zoom"];
        QCOMPARE(QString::fromStdString(zoom.dump()),
                 QString(R"({"centre":[0.5,0.5],"embedded":false,"full":[3000,2000],"note":"",)"
                         R"("region":[241,0,2517,2000],"shown":[661,240,1678,1520]})"));
        const QImage image(out);
        QCOMPARE(image.size(), QSize(2360, 1520));
        for (const QPoint& p : {QPoint(100, 100), QPoint(1000, 801), QPoint(1676, 1518)}) {
            const int here = qGray(image.pixel(p)), right = qGray(image.pixel(p + QPoint(1, 0)));
            QVERIFY2(std::abs(here - right) > 200, qPrintable(QString("at %1, %2: %3 then %4").arg(p.x()).arg(p.y()).arg(here).arg(right)));
            QCOMPARE(qGray(image.pixel(p + QPoint(1, 1))), here);
        }
    }

    void arrowKeysStepThroughTheFilesAndSpaceCloses() {
        test::ScriptedLoader script{"{\"error\":\"No file\"}", QImage()};
        host::PreviewWindow window({"/p/a.jpg", "/p/b [*].jpg", "/p/c.jpg"}, script.loader());
        QWidget* widget = window.widget();
        widget->show();
        test::waitForPreview(window.controller());
        QCOMPARE(widget->windowTitle(), QString("a.jpg (1/3)"));
        QTest::keyClick(widget, Qt::Key_Left);  // already at the first
        QCOMPARE(window.index(), size_t(0));
        QTest::keyClick(widget, Qt::Key_Right);
        test::waitForPreview(window.controller());
        QCOMPARE(widget->windowTitle(), QString("b [*][*].jpg (2/3)"));  // shown as typed
        QCOMPARE(QString::fromStdString(test::panelOutline(dumpLines(window.controller())).at(0)),
                 QString("title|b [*].jpg|12"));
        // Z zooms; Shift and an arrow pan rather than step; Esc leaves the zoom, then closes.
        QTest::keyClick(widget, Qt::Key_Z);
        QVERIFY(window.controller().isZoomed());
        QTest::keyClick(widget, Qt::Key_Right, Qt::ShiftModifier);
        QCOMPARE(window.index(), size_t(1));
        QTest::keyClick(widget, Qt::Key_Escape);
        QVERIFY(!window.controller().isZoomed());
        QVERIFY(widget->isVisible());
        QTest::keyClick(widget, Qt::Key_Escape);
        QVERIFY(!widget->isVisible());
        widget->show();
        widget->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(widget));
        QTest::keyClick(widget, Qt::Key_Space);
        QVERIFY(!widget->isVisible());
        // a, b prefetched as a's neighbour, b again (a failed prefetch is
        // never shown: the request reads the file itself), then c
        // prefetched as b's neighbour; a is still held.
        PreviewViewController::finishLoads();
        QCOMPARE(script.calls->load(), 4);
    }

    void cameraFilesMatchThePanelOfTheirEnvelope_data() {
        QTest::addColumn<QString>("file");
        // RAW files, a look, a sidecar, a position, a turned picture, and focus boxes turned and not.
        for (const char* f : {"exiftool-t/CanonRaw.cr2", "exiftool-t/FujiFilm.raf", "exiftool-t/XMP.jpg",
                              "exiftool-t/GPS.jpg", "exif-samples/jpg/orientation/portrait_6.jpg",
                              "exif-samples/jpg/hdr/canon_hdr_YES.jpg", "metadata-extractor/jpg/Canon PowerShot SD850 IS.jpg"})
            QTest::newRow(f) << QString(ORVQL_CORPUS_DIR "/") + f;
    }
    void cameraFilesMatchThePanelOfTheirEnvelope() {
        QFETCH(QString, file);
        if (!QFileInfo::exists(file)) QSKIP("corpus not available");
        const test::Run inspect = test::run(ORV_QL, {"--exiftool", "bundled", "inspect", file});
        QCOMPARE(inspect.status, 0);
        const std::string envelope = inspect.out.trimmed().toStdString();

        const test::Run shown = preview({"--dump", file});
        QCOMPARE(shown.status, 0);
        const auto block = blocks(shown.out).at(0);

        test::ScriptedLoader script{envelope, QImage()};
        PreviewViewController controller(script.loader());
        controller.preparePreviewOfFile(file.toStdString());
        test::waitForPreview(controller);
        const auto expected = dumpLines(controller);
        QCOMPARE(QString::fromStdString(json::parse(block[0])["photo"]["focus"].dump()),
                 QString::fromStdString(json::parse(expected[0])["photo"]["focus"].dump()));
        const std::vector<std::string> panel(block.begin() + 1, block.end());
        const std::vector<std::string> expectedPanel(expected.begin() + 1, expected.end());
        QCOMPARE(QString::fromStdString(json(panel).dump(1)), QString::fromStdString(json(expectedPanel).dump(1)));
    }
};

ORV_QUICKLOOK_TEST_MAIN(HostTest)
#include "host_test.moc"
