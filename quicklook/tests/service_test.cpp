// The previewer service without the bus: what a URI names, inspection or
// file card, the neighbours loaded ahead, requests the user moved past, a
// failing loader, Space, Esc, a minimised window, and the idle exit.
#include <stdexcept>

#include <QBuffer>
#include <QSemaphore>
#include <QSignalSpy>

#include "FileKind.hpp"
#include "FileUri.hpp"
#include "Service.hpp"
#include "TestSupport.hpp"

using namespace orv;
using namespace orv::ui;
using namespace orv::ui::host;
using test::json;

namespace {

QString fileUri(const QString& path) { return QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded); }

std::vector<std::string> outline(PreviewService& service) {
    test::waitForPreview(service.controller());
    return test::panelOutline(dumpLines(service.controller()));
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// The whole folder listing, then the neighbours it chose, loaded.
void settle(PreviewService& service) {
    test::waitForPreview(service.controller());
    test::finishLoads();
    test::finishLoads();
}

// Counts through `counts` and answers with a summary titled with the file's
// name: a load ahead that failed would not be shown.
Loader summaries(const test::CountingLoader& counts) {
    return [count = counts.loader()](const std::filesystem::path& file, const InspectionReport& report) {
        count(file, report);
        test::json summary = test::minimalFile();
        summary["filename"] = file.filename().string();
        return LoadResult{DecodedImage{}, Reader::outcomeOfEnvelope(test::envelope(summary))};
    };
}

// A key as the user presses it: on the active window.
void press(QWidget* window, Qt::Key key) {
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, key);
}

QStringList namesOf(const std::vector<std::filesystem::path>& files) {
    QStringList names;
    for (const auto& file : files) names << QString::fromStdString(file.filename().native());
    return names;
}

}  // namespace

class ServiceTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void fileUrisBecomePathsByteForByte_data() {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("escapes and non-ASCII") << "file:///home/ada/%C3%89t%C3%A9%20%C3%A0%20Paris%2001.CR2"
                                               << QByteArray("/home/ada/\xC3\x89t\xC3\xA9 \xC3\xA0 Paris 01.CR2");
        QTest::newRow("a name that is not UTF-8") << "file:///p/caf%E9.jpg" << QByteArray("/p/caf\xE9.jpg");
        QTest::newRow("escaped # and ?") << "file:///p/a%23b%3F.jpg" << QByteArray("/p/a#b?.jpg");
        QTest::newRow("localhost") << "file://localhost/p/a.jpg" << QByteArray("/p/a.jpg");
        QTest::newRow("scheme in capitals") << "FILE:///p/a.jpg" << QByteArray("/p/a.jpg");
        QTest::newRow("a stray percent") << "file:///p/100%.jpg" << QByteArray("/p/100%.jpg");
        QTest::newRow("a plain path") << "/p/a b.jpg" << QByteArray("/p/a b.jpg");
    }
    void fileUrisBecomePathsByteForByte() {
        QFETCH(QString, uri);
        QFETCH(QByteArray, path);
        const UriTarget target = resolveUri(uri);
        const auto* local = std::get_if<LocalFile>(&target);
        QVERIFY(local);
        QCOMPARE(QByteArray::fromStdString(local->path.native()), path);
    }

    void otherPlacesAreUnreachableAndSaySo_data() {
        QTest::addColumn<QString>("uri");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("words");
        QTest::newRow("smb") << "smb://nas/photos/My%20Shot.CR2" << "My Shot.CR2" << "(smb://)";
        QTest::newRow("sftp") << "sftp://ada@host/home/ada/a.nef" << "a.nef" << "(sftp://)";
        QTest::newRow("trash") << "trash:///a.jpg" << "a.jpg" << "Trash";
        QTest::newRow("recent") << "recent:///" << "recent:" << "Recent files";
        QTest::newRow("another computer") << "file://elsewhere/p/a.jpg" << "a.jpg" << "(elsewhere)";
        QTest::newRow("not an address") << "::" << "::" << "doesn't name a file";
        QTest::newRow("empty") << "" << "" << "doesn't name a file";
    }
    void otherPlacesAreUnreachableAndSaySo() {
        QFETCH(QString, uri);
        QFETCH(QString, title);
        QFETCH(QString, words);
        test::ScriptedLoader loads{test::envelope(test::minimalFile()), QImage()};
        PreviewService service(loads.loader());
        service.showFile(uri, {}, false);
        const auto panel = outline(service);
        QCOMPARE(panel.size(), size_t(2));
        QCOMPARE(QString::fromStdString(panel[0]), "title|" + title + "|12");
        QVERIFY2(QString::fromStdString(panel[1]).startsWith("note|") && QString::fromStdString(panel[1]).contains(words),
                 panel[1].c_str());
        QVERIFY(service.controller().photo().image().isNull());
        QCOMPARE(loads.calls->load(), 0);
    }

    // "" for kind: an inspection through the loader, not a card. Content is
    // not what makes a RAW file; a null content: no such file.
    void eachFileGetsAnInspectionOrACard_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("kind");
        QByteArray png;
        QBuffer buffer(&png);
        QImage(4, 3, QImage::Format_RGB32).save(&buffer, "PNG");
        QTest::newRow("png") << "Été à Paris 01.png" << png << "";
        for (const char* raw : {"shot.cr2", "SHOT.IIQ", "hero.gpr", "frame.x3f"})
            QTest::newRow(raw) << raw << QByteArray("not really a raw file\n") << "";
        QTest::newRow("a JPEG by content") << "photo.txt" << QByteArray::fromHex("FFD8FFE000104A46494600") << "";
        QTest::newRow("missing") << "gone.pdf" << QByteArray() << "";
        QTest::newRow("text") << "notes.txt" << QByteArray("shopping: film, batteries\n") << "plain text document";
        QTest::newRow("pdf") << "Report 2024.pdf" << QByteArray("%PDF-1.4\n1 0 obj<<>>endobj\ntrailer<<>>\n%%EOF\n")
                             << "PDF document";
        QTest::newRow("folder") << "Holiday.jpg" << QByteArray() << "folder";
    }
    void eachFileGetsAnInspectionOrACard() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, kind);
        // Alone in a folder: no picture beside it is loaded ahead.
        const QString path = dir.filePath(QString("alone %1/").arg(QTest::currentDataTag()) + name);
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        else if (!content.isNull())
            write(path, content);

        test::ScriptedLoader loads{test::envelope(test::minimalFile()), QImage()};
        PreviewService service(loads.loader());
        service.showFile(fileUri(path), {}, false);
        const auto panel = outline(service);
        QCOMPARE(loads.calls->load(), kind.isEmpty() ? 1 : 0);
        if (kind.isEmpty()) return;
        QCOMPARE(panel.size(), size_t(6));
        QCOMPARE(QString::fromStdString(panel[0]), "title|" + name + "|20");
        QCOMPARE(QString::fromStdString(panel[1]), QString("section|FILE|6"));
        QCOMPARE(QString::fromStdString(panel[2]), "row|Kind|" + kind + "|0");
        const QString size = content.isEmpty() ? "—" : QString("%1 B").arg(content.size());
        QCOMPARE(QString::fromStdString(panel[3]), "row|Size|" + size + "|mono|0");
        const QString modified = QFileInfo(path).lastModified().toString("yyyy-MM-dd HH:mm:ss");
        QCOMPARE(QString::fromStdString(panel[4]), "row|Modified|" + modified + "|mono|12");
        // No desktop previewer here: the card says how to get one.
        QCOMPARE(QString::fromStdString(panel[5]).section('|', 0, 1),
                 QString("note|For previews of documents and other files: sudo apt install gnome-sushi"));
        // The type's icon at its own size stands where the photo goes.
        const PhotoView& photo = service.controller().photo();
        QVERIFY(!photo.image().isNull());
        QVERIFY(!photo.enlargesImage());
        QVERIFY(photo.pictureRect()->width() <= photo.image().width());
    }

    void aPhotoAfterACardIsFittedAgain() {
        write(dir.filePath("readme.txt"), "hello\n");
        PreviewService service(test::ScriptedLoader{test::envelope(test::minimalFile()), QImage(40, 30, QImage::Format_RGB32)}.loader());
        service.widget()->resize(1180, 760);
        service.showFile(fileUri(dir.filePath("readme.txt")), {}, false);
        test::waitForPreview(service.controller());
        service.showFile(fileUri(dir.filePath("missing.jpg")), {}, false);
        test::waitForPreview(service.controller());
        QVERIFY(service.controller().photo().enlargesImage());
        QVERIFY(service.controller().photo().pictureRect()->width() > 40);
    }

    // IMG_1.jpg, IMG_2.jpg, IMG_10.jpg in the file manager's order, with
    // what it passes over between 2 and 10: a hidden file, a folder, a
    // file that gets a card.
    QString folderOfPhotos() {
        const QString folder = dir.filePath("photos");
        if (QDir(folder).exists()) return folder;
        QDir().mkpath(folder + "/IMG_4.jpg");
        for (const char* name : {"IMG_1.jpg", "IMG_2.jpg", "IMG_10.jpg", ".IMG_3.jpg"}) write(folder + "/" + name, "");
        write(folder + "/IMG_5.txt", "text\n");
        return folder;
    }

    void aNeighbourLoadedAheadIsShownWithoutAnotherLoad() {
        const QString folder = folderOfPhotos();
        test::CountingLoader loads;
        PreviewService service(summaries(loads));
        service.showFile(fileUri(folder + "/IMG_2.jpg"), {}, false);
        settle(service);
        for (const char* name : {".IMG_3.jpg", "IMG_4.jpg", "IMG_5.txt"}) QCOMPARE(loads.of(name), 0);

        // The file manager's next ShowFile, after the arrow key moved its selection.
        service.showFile(fileUri(folder + "/IMG_10.jpg"), {}, false);
        QVERIFY(!service.controller().isPreparing());  // shown during the call itself
        QCOMPARE(test::panelTitle(service.controller()), std::string("IMG_10.jpg"));
        settle(service);
        service.showFile(fileUri(folder + "/IMG_2.jpg"), {}, false);  // and back
        QVERIFY(!service.controller().isPreparing());
        settle(service);
        for (const char* name : {"IMG_1.jpg", "IMG_2.jpg", "IMG_10.jpg"}) QCOMPARE(loads.of(name), 1);
    }

    void theLastArrowSaysWhichNeighbourLoadsFirst_data() {
        QTest::addColumn<int>("key");  // 0: none pressed yet
        QTest::addColumn<QStringList>("order");
        const QStringList later = {"IMG_2.jpg", "IMG_10.jpg", "IMG_1.jpg"};
        const QStringList earlier = {"IMG_2.jpg", "IMG_1.jpg", "IMG_10.jpg"};
        QTest::newRow("no arrow yet") << 0 << later;
        QTest::newRow("Right") << int(Qt::Key_Right) << later;
        QTest::newRow("Down") << int(Qt::Key_Down) << later;
        QTest::newRow("Left") << int(Qt::Key_Left) << earlier;
        QTest::newRow("Up") << int(Qt::Key_Up) << earlier;
    }
    void theLastArrowSaysWhichNeighbourLoadsFirst() {
        QFETCH(int, key);
        QFETCH(QStringList, order);
        const QString folder = folderOfPhotos();
        test::CountingLoader loads;
        PreviewService service(summaries(loads));
        service.showFile("file:///p/elsewhere.jpg", {}, false);
        test::waitForPreview(service.controller());
        if (key) press(service.widget(), Qt::Key(key));
        service.showFile(fileUri(folder + "/IMG_2.jpg"), {}, false);
        settle(service);
        QCOMPARE(namesOf(service.prefetcher().recent()).mid(1), order);  // the one started last at the end
    }

    void aWindowClosedBeforeTheNeighboursAreFoundLoadsNone() {
        const QString folder = folderOfPhotos();
        test::CountingLoader loads;
        PreviewService service(summaries(loads));
        // Closed as soon as the file is shown, while its folder is being read.
        connect(&service.controller(), &PreviewViewController::previewPrepared, &service, [&] { service.close(); });
        service.showFile(fileUri(folder + "/IMG_2.jpg"), {}, false);
        settle(service);
        QVERIFY(!service.isVisible());
        QCOMPARE(loads.of("IMG_1.jpg") + loads.of("IMG_10.jpg"), 0);
    }

    void spaceFromTheFileManagerTogglesAndEscCloses() {
        test::ScriptedLoader script{R"({"error":"No file"})", QImage()};
        PreviewService service(script.loader());
        QSignalSpy changes(&service, &PreviewService::visibleChanged);
        service.showFile("file:///p/a.jpg", {}, true);  // nothing shown yet: Space opens
        QVERIFY(service.isVisible());
        QVERIFY(service.widget()->isVisible());
        test::waitForPreview(service.controller());
        service.showFile("file:///p/b.jpg", {}, false);  // the same window, the next file
        test::waitForPreview(service.controller());
        QCOMPARE(test::panelTitle(service.controller()), std::string("b.jpg"));
        QCOMPARE(service.widget()->windowTitle(), QString("b.jpg"));
        service.showFile("file:///p/b.jpg", {}, true);
        QVERIFY(!service.isVisible());
        QVERIFY(!service.widget()->isVisible());

        service.showFile("file:///p/c.jpg", {}, true);
        test::waitForPreview(service.controller());
        press(service.widget(), Qt::Key_Escape);
        QVERIFY(!service.isVisible());

        // A minimised window counts as closed: Space brings it back.
        service.showFile("file:///p/c.jpg", {}, true);
        test::waitForPreview(service.controller());
        service.widget()->setWindowState(Qt::WindowMinimized);
        QVERIFY(!service.isVisible());
        service.showFile("file:///p/c.jpg", {}, true);
        QVERIFY(service.isVisible());
        QVERIFY(!service.widget()->isMinimized());
        test::waitForPreview(service.controller());
        QList<bool> seen;
        for (const auto& change : changes) seen << change[0].toBool();
        // The platform may restore it on its own way too; each change reaches the bus.
        QCOMPARE(seen.mid(0, 6), (QList<bool>{true, false, true, false, true, false}));
        QCOMPARE(seen.last(), true);
        QCOMPARE(script.calls->load(), 5);
    }

    void onlyTheLastOfManyRequestsIsLoaded() {
        // An arrow key held down: a thousand requests while ExifTool is busy.
        auto loads = std::make_shared<std::atomic<int>>(0);
        auto busy = std::make_shared<QSemaphore>();
        PreviewService service([loads, busy](const std::filesystem::path& file, const InspectionReport&) {
            ++*loads;
            busy->acquire();
            busy->release();
            return LoadResult{DecodedImage{}, ReadError{QString::fromStdString(file.filename())}};
        });
        for (int i = 1; i <= 1000; ++i) service.showFile(QString("file:///p/%1.jpg").arg(i), {}, false);
        busy->release();
        test::waitForPreview(service.controller());
        QCOMPARE(test::panelTitle(service.controller()), std::string("1000.jpg"));
        test::finishLoads();
        QVERIFY2(*loads < 10, qPrintable(QString::number(loads->load())));  // those begun at once, and the last
    }

    void aFailingLoaderIsShownAndNotLoadedAheadAgain() {
        const QString folder = folderOfPhotos();
        test::CountingLoader loads;
        PreviewService service([count = loads.loader()](const std::filesystem::path& file,
                                                        const InspectionReport& report) -> LoadResult {
            count(file, report);
            throw std::runtime_error("out of luck");
        });
        service.showFile(fileUri(folder + "/IMG_2.jpg"), {}, false);
        settle(service);
        QCOMPARE(test::panelText(service.controller()), QString("title|IMG_2.jpg|12 / note|The file couldn't be read|4"));
        // The failed prefetch is not shown: the user's request loads again.
        service.showFile(fileUri(folder + "/IMG_10.jpg"), {}, false);
        QVERIFY(service.controller().isPreparing());
        settle(service);
        QCOMPARE(test::panelTitle(service.controller()), std::string("IMG_10.jpg"));
        service.showFile(fileUri(folder + "/IMG_2.jpg"), {}, false);  // IMG_10's neighbours again
        settle(service);
        QCOMPARE(loads.of("IMG_10.jpg"), 2);
        QCOMPARE(loads.of("IMG_1.jpg"), 1);
        QVERIFY(service.isVisible());
    }

    void itIdlesOutOnlyWithNoWindowShown() {
        test::ScriptedLoader script{R"({"error":"No file"})", QImage()};
        PreviewService service(script.loader(), std::chrono::milliseconds(0));
        QSignalSpy idle(&service, &PreviewService::idle);
        service.showFile("file:///p/a.jpg", {}, false);  // before the timer's first chance
        test::waitForPreview(service.controller());
        QCoreApplication::processEvents();
        QCOMPARE(idle.size(), 0);
        service.close();
        QVERIFY(idle.wait());
    }

    void windowHandles() {
        QCOMPARE(x11Window("x11:1e00007"), std::optional<unsigned long>(0x1e00007));
        QCOMPARE(x11Window("x11:0x2A"), std::optional<unsigned long>(42));
        for (const char* unusable : {"", "x11:", "x11:0", "x11:zz", "x11:123456789abc", "wayland:abc123", "1e00007"})
            QVERIFY2(!x11Window(unusable), unusable);
    }
};

ORV_QUICKLOOK_TEST_MAIN(ServiceTest)
#include "service_test.moc"
