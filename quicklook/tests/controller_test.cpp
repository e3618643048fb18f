// The request flow: the loading state and its "still reading" notice, the
// panel before the picture, overlapping requests, a controller gone mid-load.
// (A loader that throws: service_test.)
#include "PhotoView.hpp"
#include "TestSupport.hpp"

using namespace orv;
using namespace orv::ui;

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

    void theFileNameOfAPath() {
        QCOMPARE(PreviewViewController::displayName("/a/folder/"), QString("folder"));
        QCOMPARE(PreviewViewController::displayName("/"), QString("/"));
    }
};

ORV_QUICKLOOK_TEST_MAIN(ControllerTest)
#include "controller_test.moc"
