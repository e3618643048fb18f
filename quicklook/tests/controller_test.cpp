// The request flow: the loading state and its "still reading" notice, the
// panel before the picture, overlapping requests, a controller gone mid-load.
// Zoomed to 100 %: the centre, kept from file to file, the edges, a region
// for a file passed, the caption for a small embedded preview.
// (A loader that throws: service_test.)
#include <QLayout>

#include "PhotoView.hpp"
#include "TestSupport.hpp"

using namespace orv;
using namespace orv::ui;

namespace {

// a.cr3 has a focus box centred at (50 %, 43.125 %) and says it is 6000 × 4000;
// gone.jpg cannot be read; any other file is a photo without a focus box.
LoadResult photoOrError(const std::filesystem::path& file, const InspectionReport&) {
    const std::string name = file.filename().string();
    const std::string text = name == "a.cr3"      ? test::envelope(test::fullFile())
                             : name == "gone.jpg" ? R"({"error":"No file"})"
                                                  : test::envelope(test::minimalFile());
    return LoadResult{DecodedImage{QImage(60, 40, QImage::Format_RGB32)}, Reader::outcomeOfEnvelope(text)};
}

// A controller whose photo view is laid out at 839 × 760, zoomed in before any file.
std::unique_ptr<PreviewViewController> zoomedController(const test::FakeZoom& zoom) {
    auto controller = std::make_unique<PreviewViewController>(photoOrError, nullptr, zoom.loader());
    controller->view()->resize(1180, 760);
    controller->view()->layout()->activate();
    controller->setZoomed(true);
    return controller;
}

}  // namespace

class ControllerTest : public QObject {
    Q_OBJECT

private slots:
    void aNewFileShowsItsLoadingStateAtOnce() {
        test::GatedLoader gates;
        gates.add("a.jpg", test::envelope(test::fullFile()), QImage(30, 20, QImage::Format_RGB32));
        gates.add("b.jpg", R"({"error":"No file"})", QImage(40, 30, QImage::Format_RGB32));
        PreviewViewController controller(gates.loader());
        controller.view();
        QCOMPARE(controller.photo().placeholder(), QString("Loading…"));
        QVERIFY(controller.stack().arrangedSubviews().isEmpty());

        gates.gate("a.jpg").release.release();
        controller.preparePreviewOfFile("/p/a.jpg");
        test::waitForPreview(controller);
        QVERIFY(controller.photo().focusPoint());

        // Before any event runs: nothing of a under b's name.
        controller.preparePreviewOfFile("/p/b.jpg");
        QVERIFY(controller.photo().image().isNull());
        QVERIFY(!controller.photo().focusPoint());
        QCOMPARE(controller.photo().placeholder(), QString("Loading…"));
        QCOMPARE(test::panelText(controller), QString("title|b.jpg|3"));

        // A request still reading after a moment says so.
        QTRY_COMPARE_WITH_TIMEOUT(controller.photo().placeholder(), QString("Reading the file…"), 60000);
        gates.gate("b.jpg").release.release();
        test::waitForPreview(controller);
        QCOMPARE(controller.photo().placeholder(), QString("No preview"));
        QCOMPARE(controller.photo().image().size(), QSize(40, 30));
        QCOMPARE(test::panelText(controller), QString("title|b.jpg|12 / note|No file|4"));
    }

    void thePanelComesWithTheInspectionAndThePictureAfter() {
        test::GatedLoader gates;
        gates.reportsInspection = true;
        gates.add("a.cr3", test::envelope(test::fullFile()), QImage(30, 20, QImage::Format_RGB32));
        PreviewViewController controller(gates.loader());
        int panels = 0, previews = 0;
        connect(&controller, &PreviewViewController::panelPrepared, [&] { ++panels; });
        connect(&controller, &PreviewViewController::previewPrepared, [&] { ++previews; });
        controller.preparePreviewOfFile("/p/a.cr3");
        test::waitForPanel(controller);
        QCOMPARE(test::panelTitle(controller), std::string("IMG_0420.CR3"));
        QCOMPARE(controller.photo().focusPoint(), std::optional(FocusPoint{47.5, 40, 5, 6.25}));
        QVERIFY(controller.photo().image().isNull());
        QCOMPARE(controller.photo().placeholder(), QString("Loading…"));
        QVERIFY(controller.isPreparing());
        QCOMPARE(previews, 0);
        const QString panelBeforePicture = test::panelText(controller);
        const QPointer<QWidget> title = controller.stack().arrangedSubviews().first();

        gates.gate("a.cr3").release.release();
        test::waitForPreview(controller);
        QCOMPARE(panels, 1);
        QCOMPARE(previews, 1);
        QCOMPARE(controller.photo().image().size(), QSize(30, 20));
        QCOMPARE(controller.photo().placeholder(), QString("No preview"));
        QCOMPARE(test::panelText(controller), panelBeforePicture);
        QCOMPARE(controller.stack().arrangedSubviews().first(), title.data());  // kept, not rebuilt

        // The final state is the one a load that reports nothing early leaves.
        test::ScriptedLoader whole{test::envelope(test::fullFile()), QImage(30, 20, QImage::Format_RGB32)};
        PreviewViewController reference(whole.loader());
        reference.preparePreviewOfFile("/p/a.cr3");
        test::waitForPreview(reference);
        QVERIFY(dumpLines(controller) == dumpLines(reference));
    }

    void anOlderLoadNeverReplacesTheNewestInEitherStage() {
        // Loads ahead, which nobody abandons: both stages of a arrive after b was asked for.
        test::GatedLoader gates;
        gates.reportsInspection = true;
        gates.add("a.cr3", test::envelope(test::fullFile()), QImage(30, 20, QImage::Format_RGB32));
        test::json b = test::minimalFile();
        b["filename"] = "b.jpg";
        gates.add("b.jpg", test::envelope(b), QImage(40, 30, QImage::Format_RGB32));
        PreviewViewController controller;
        int panels = 0;
        connect(&controller, &PreviewViewController::panelPrepared, [&] { ++panels; });
        const auto aLoad = BackgroundLoad::start(gates.loader(), "/p/a.cr3", BackgroundLoad::Kind::Prefetch);
        const auto bLoad = BackgroundLoad::start(gates.loader(), "/p/b.jpg", BackgroundLoad::Kind::Prefetch);
        controller.showLoad("/p/a.cr3", aLoad);
        controller.showLoad("/p/b.jpg", bLoad);
        gates.gate("a.cr3").release.release();
        QTRY_VERIFY(aLoad->isFinished());
        gates.gate("b.jpg").release.release();
        QCOMPARE(test::panelTitle(controller), std::string("b.jpg"));  // loading, or b's inspection
        QVERIFY(!controller.photo().focusPoint());
        QVERIFY(controller.photo().image().isNull());
        test::waitForPreview(controller);
        QCOMPARE(controller.photo().image().size(), QSize(40, 30));
        QCOMPARE(panels, 1);
    }

    void aControllerGoneMidLoadIsLeftAlone() {
        // Fails by crashing (or, in a sanitizer build, by a use-after-free
        // report), or by finishLoads() returning before the load is done.
        test::GatedLoader gates;
        gates.reportsInspection = true;  // both stages reach for the gone controller
        gates.add("a.jpg", test::envelope(test::minimalFile()));
        auto controller = std::make_unique<PreviewViewController>(gates.loader());
        controller->preparePreviewOfFile("/p/a.jpg");
        gates.gate("a.jpg").started.acquire();
        controller.reset();
        gates.gate("a.jpg").release.release();
        PreviewViewController::finishLoads();
        QCOMPARE(gates.gate("a.jpg").release.available(), 0);  // the loader ran to its end
        QCoreApplication::sendPostedEvents();  // the result arrives for nobody
    }

    void zoomCentresOnTheFocusBoxKeepsItsPlaceAndStopsAtTheEdges() {
        test::FakeZoom zoom;
        zoom.gate = std::make_shared<QSemaphore>(1);  // a's region only, for now
        const auto controller = zoomedController(zoom);
        PhotoView& photo = controller->photo();
        QVERIFY(!photo.zoomCentre());  // chosen once the focus box is known
        controller->preparePreviewOfFile("/p/a.cr3");
        test::waitForZoom(*controller);
        QCOMPARE(*photo.zoomCentre(), QPointF(0.5, 0.43125));
        // Picture pixel (3000, 1725) at the view's centre (419.5, 380), on a whole pixel.
        QCOMPARE(*photo.zoomShown(), QRect(2581, 1345, 839, 760));
        QCOMPARE(zoom.wishes().back().second.size, QSize(1259, 1140));  // a quarter of the view around it
        QCOMPARE(*photo.focusBoxRect(), QRectF(269, 255, 300, 250));   // 5 % × 6.25 % of 6000 × 4000

        // The next file keeps the place; a region of a file passed is never shown.
        controller->preparePreviewOfFile("/p/b.jpg");
        QTRY_COMPARE(zoom.wishes().size(), size_t(2));
        controller->preparePreviewOfFile("/p/gone.jpg");
        zoom.gate->release(1000);
        test::waitForZoom(*controller);
        test::finishLoads();
        QCOMPARE(zoom.wishes().back(), std::make_pair(std::string("b.jpg"), ZoomWish{{0.5, 0.43125}, {1259, 1140}}));
        QVERIFY(!photo.zoomRegion());
        QVERIFY(!controller->isZoomPending());

        // Zoomed again on a file without a focus box: its centre, then the
        // view pans until the picture's edges.
        controller->setZoomed(false);
        controller->preparePreviewOfFile("/p/c.jpg");
        test::waitForPreview(*controller);
        controller->setZoomed(true);
        QVERIFY(photo.zoomLabelShown());  // "100 %", for a moment
        QCOMPARE(*photo.zoomCentre(), QPointF(0.5, 0.5));
        test::waitForZoom(*controller);  // the picture's size, for the edges
        for (const auto& [dx, dy, corner] : {std::tuple{1, 1, QPoint(6000 - 839, 4000 - 760)}, {-1, -1, QPoint(0, 0)}}) {
            for (int step = 0; step < 40; ++step) photo.panZoomStep(dx, dy);
            test::waitForZoom(*controller);
            QCOMPARE(photo.zoomShown()->topLeft(), corner);
            QVERIFY(photo.zoomCovered());  // loaded anew where it went
        }
    }

    void zoomNamesASmallerEmbeddedPreview_data() {
        QTest::addColumn<QSize>("full");
        QTest::addColumn<bool>("embedded");
        QTest::addColumn<QString>("note");
        QTest::newRow("embedded, smaller than the file") << QSize(1620, 1080) << true
                                                         << "largest embedded preview: 1620 × 1080";
        QTest::newRow("embedded, full size") << QSize(6000, 4000) << true << "";
        QTest::newRow("the file's own") << QSize(1620, 1080) << false << "";
    }
    void zoomNamesASmallerEmbeddedPreview() {
        QFETCH(QSize, full);
        QFETCH(bool, embedded);
        QFETCH(QString, note);
        test::FakeZoom zoom;
        zoom.full = full;
        zoom.embedded = embedded;
        const auto controller = zoomedController(zoom);
        controller->preparePreviewOfFile("/p/a.cr3");
        test::waitForZoom(*controller);
        QCOMPARE(controller->photo().zoomNote(), note);
    }

    void theFileNameOfAPath() {
        QCOMPARE(PreviewViewController::displayName("/a/folder/"), QString("folder"));
        QCOMPARE(PreviewViewController::displayName("/"), QString("/"));
    }
};

ORV_QUICKLOOK_TEST_MAIN(ControllerTest)
#include "controller_test.moc"
