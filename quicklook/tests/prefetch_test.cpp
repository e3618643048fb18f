// Stepping through files: a neighbour loaded ahead is shown at once without
// another core call, a load still running is adopted, files no longer
// neighbours are dropped, a file changed since its load is loaded again, and
// a prefetcher that keeps a few drops the one used longest ago; zoomed, the
// neighbour's region at the same place is loaded ahead and shown at once.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdio>

#include "Prefetcher.hpp"
#include "TestSupport.hpp"
#include "Window.hpp"

using namespace orv;
using namespace orv::ui;

namespace {

std::vector<std::filesystem::path> paths(std::initializer_list<const char*> names) {
    std::vector<std::filesystem::path> files;
    for (const char* name : names) files.emplace_back(std::string("/p/") + name);
    return files;
}

// A key as the user presses it: on the active window.
void press(host::PreviewWindow& window, Qt::Key key) {
    window.widget()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.widget()));
    QTest::keyClick(window.widget(), key);
}

// A summary titled with the file's name: what a load ahead that succeeded gives.
std::string summaryOf(const std::string& name) {
    test::json summary = test::minimalFile();
    summary["filename"] = name;
    return test::envelope(summary);
}

// Counts through `counts`, and answers with summaryOf the file.
ui::Loader summaries(const test::CountingLoader& counts) {
    return [count = counts.loader()](const std::filesystem::path& file, const InspectionReport& report) {
        count(file, report);
        return LoadResult{DecodedImage{}, Reader::outcomeOfEnvelope(summaryOf(file.filename().string()))};
    };
}

void write(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly) {
    QFile file(path);
    QVERIFY(file.open(mode));
    QCOMPARE(file.write(bytes), bytes.size());
}

void setModified(const QString& path, const timespec& when) {
    const timespec times[2] = {when, when};
    QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

struct stat statOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st;
}

}  // namespace

class PrefetchTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void neighboursAreShownWithoutACoreCallUntilDropped() {
        test::CountingLoader loads;
        host::PreviewWindow window(paths({"a.jpg", "b.jpg", "c.jpg", "d.jpg"}), summaries(loads));
        window.widget()->show();
        test::waitForPreview(window.controller());
        test::finishLoads();
        QCOMPARE(loads.of("c.jpg"), 0);  // only the shown file's neighbours
        for (const char* name : {"b.jpg", "c.jpg"}) {
            press(window, Qt::Key_Right);
            // Applied during the key press itself: nothing left to wait for.
            QVERIFY(!window.controller().isPreparing());
            QCOMPARE(test::panelTitle(window.controller()), std::string(name));
            test::finishLoads();
        }
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"}) QCOMPARE(loads.of(name), 1);
        QCOMPARE(window.index(), size_t(2));
        QVERIFY(!window.prefetcher().holds("/p/a.jpg"));
        QCOMPARE(window.prefetcher().size(), size_t(3));  // b, c, d
        for (const char* name : {"b.jpg", "c.jpg", "d.jpg"}) QVERIFY(window.prefetcher().isLoaded(std::string("/p/") + name));

        press(window, Qt::Key_Left);
        press(window, Qt::Key_Left);  // a was dropped: it has to load again
        QVERIFY(window.controller().isPreparing());
        test::waitForPreview(window.controller());
        QCOMPARE(test::panelTitle(window.controller()), std::string("a.jpg"));
        QCOMPARE(loads.of("a.jpg"), 2);
        QVERIFY(!window.prefetcher().holds("/p/d.jpg"));
    }

    void zoomedNeighboursRegionsAreLoadedAheadAtTheSamePlace() {
        test::CountingLoader loads;
        test::FakeZoom zoom;
        host::PreviewWindow window(paths({"a.jpg", "b.jpg", "c.jpg"}), summaries(loads), zoom.loader());
        window.widget()->show();
        test::waitForPreview(window.controller());
        test::finishLoads();
        press(window, Qt::Key_Z);
        test::waitForZoom(window.controller());
        test::finishLoads();  // b's region, asked for on zooming in
        const ZoomWish wish = *window.controller().zoomWish();
        auto wishes = zoom.wishes();  // a's and b's run side by side, in either order
        std::sort(wishes.begin(), wishes.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
        QVERIFY(wishes == (std::vector{std::pair{std::string("a.jpg"), wish}, {"b.jpg", wish}}));

        press(window, Qt::Key_Right);
        QVERIFY(!window.controller().isZoomPending());  // shown during the key press
        QCOMPARE(window.controller().photo().zoomShown(), std::optional(QRect(2581, 1620, 839, 760)));
        // Then c's, as b's neighbour, once its inspection is known; a's is kept.
        QTRY_COMPARE(zoom.wishes().size(), size_t(3));
        QCOMPARE(zoom.wishes().back().first, std::string("c.jpg"));
    }

    void aPrefetchStillRunningIsAdoptedNotStartedTwice_data() {
        QTest::addColumn<bool>("inspected");  // b's prefetch has its inspection, not its picture
        QTest::newRow("nothing yet") << false;
        QTest::newRow("inspected") << true;
    }
    void aPrefetchStillRunningIsAdoptedNotStartedTwice() {
        QFETCH(bool, inspected);
        test::GatedLoader gates;
        gates.reportsInspection = inspected;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) gates.add(name, summaryOf(name));
        host::PreviewWindow window(paths({"a.jpg", "b.jpg", "c.jpg"}), gates.loader());
        window.widget()->show();
        gates.gate("a.jpg").release.release();
        test::waitForPreview(window.controller());
        gates.gate("b.jpg").started.acquire();  // b's prefetch is running
        QCoreApplication::sendPostedEvents();

        press(window, Qt::Key_Right);
        QVERIFY(window.controller().isPreparing());
        // b is loading: its name alone, nothing of a; or its inspection at once.
        QCOMPARE(test::panelText(window.controller()) == "title|b.jpg|3", !inspected);
        QCOMPARE(test::panelTitle(window.controller()), std::string("b.jpg"));
        QCOMPARE(window.controller().photo().placeholder(), QString("Loading…"));
        gates.gate("b.jpg").release.release();
        test::waitForPreview(window.controller());
        QCOMPARE(window.controller().photo().placeholder(), QString("No preview"));

        gates.gate("c.jpg").release.release();
        test::finishLoads();
        QCOMPARE(gates.gate("b.jpg").started.available(), 0);  // one load of b in all
        QCOMPARE(gates.gate("c.jpg").started.available(), 1);
    }

    void steppingAwayFromAFileStillLoadingAndBack() {
        test::GatedLoader gates;
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) gates.add(name, summaryOf(name));
        host::PreviewWindow window(paths({"a.jpg", "b.jpg", "c.jpg"}), gates.loader());
        window.widget()->show();
        gates.gate("a.jpg").release.release(2);  // a is dropped at c and loaded again as b's neighbour
        test::waitForPreview(window.controller());
        press(window, Qt::Key_Right);  // b, still loading
        press(window, Qt::Key_Right);  // c, while b loads
        gates.gate("c.jpg").release.release();
        QEventLoop loop;
        connect(&window.controller(), &PreviewViewController::previewPrepared, &loop, &QEventLoop::quit);
        loop.exec();
        QCOMPARE(test::panelTitle(window.controller()), std::string("c.jpg"));

        press(window, Qt::Key_Left);  // b again: two requests now wait for b's one load
        gates.gate("b.jpg").release.release();
        test::finishLoads();  // b's result
        test::finishLoads();  // and what showing b started
        QCOMPARE(test::panelTitle(window.controller()), std::string("b.jpg"));
        QVERIFY(!window.controller().isPreparing());  // every request that waited was completed
        QCOMPARE(gates.gate("b.jpg").started.available(), 1);
    }

    void aFileChangedSinceItsLoadIsLoadedAgain_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("unchanged") << "none";
        QTest::newRow("longer") << "append";
        QTest::newRow("same size, newer") << "touch";
        QTest::newRow("rewritten, time put back") << "rewrite";  // only the change time tells
        QTest::newRow("replaced by a twin") << "replace";  // same bytes, size and time; another file
        QTest::newRow("removed") << "remove";
    }
    void aFileChangedSinceItsLoadIsLoadedAgain() {
        QFETCH(QString, change);
        const QString path = dir.filePath(change + ".jpg");
        write(path, "first");
        const struct stat before = statOf(path);
        test::CountingLoader loads;
        Prefetcher prefetcher(summaries(loads));
        prefetcher.prefetch({path.toStdString()});
        test::finishLoads();

        if (change == "append") write(path, "!", QIODevice::Append);
        if (change == "touch") setModified(path, timespec{before.st_mtim.tv_sec + 1, before.st_mtim.tv_nsec});
        if (change == "rewrite") {
            write(path, "other");
            // Put back until the clock has moved on from the first write.
            do setModified(path, before.st_mtim);
            while (statOf(path).st_ctim.tv_sec == before.st_ctim.tv_sec && statOf(path).st_ctim.tv_nsec == before.st_ctim.tv_nsec);
            QCOMPARE(statOf(path).st_size, before.st_size);
            QCOMPARE(statOf(path).st_ino, before.st_ino);
        }
        if (change == "replace") {
            const QString twin = dir.filePath("twin");
            write(twin, "first");
            setModified(twin, before.st_mtim);
            QCOMPARE(std::rename(QFile::encodeName(twin).constData(), QFile::encodeName(path).constData()), 0);
            QCOMPARE(statOf(path).st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        }
        if (change == "remove") QVERIFY(QFile::remove(path));

        PreviewViewController controller;
        prefetcher.show(path.toStdString(), controller);
        QCOMPARE(controller.isPreparing(), change != "none");  // a kept result is shown at once
        test::finishLoads();
        QCOMPARE(loads.of((change + ".jpg").toStdString()), change == "none" ? 1 : 2);
        QVERIFY(!controller.isPreparing());
        QCOMPARE(prefetcher.size(), size_t(1));
    }

    void aPrefetcherThatKeepsAFewDropsTheFileUsedLongestAgo() {
        test::CountingLoader loads;
        Prefetcher prefetcher(summaries(loads), 3);
        PreviewViewController controller;
        prefetcher.prefetch(paths({"a.jpg", "b.jpg", "c.jpg"}));
        test::finishLoads();
        prefetcher.show("/p/a.jpg", controller);  // used again: b is now the oldest
        prefetcher.prefetch(paths({"c.jpg", "d.jpg"}));
        QVERIFY(prefetcher.recent() == paths({"a.jpg", "c.jpg", "d.jpg"}));
        test::finishLoads();
        prefetcher.show("/p/b.jpg", controller);
        test::finishLoads();
        QVERIFY(prefetcher.recent() == paths({"c.jpg", "d.jpg", "b.jpg"}));
        for (const auto& [name, count] : std::map<std::string, int>{{"a.jpg", 1}, {"b.jpg", 2}, {"c.jpg", 1}, {"d.jpg", 1}})
            QCOMPARE(loads.of(name), count);
    }
};

ORV_QUICKLOOK_TEST_MAIN(PrefetchTest)
#include "prefetch_test.moc"
