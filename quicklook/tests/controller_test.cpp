// The request flow: the state before a result, overlapping requests, a
// controller that goes away mid-load, and the loader seam.
#include "PhotoView.hpp"
#include "TestSupport.hpp"

using namespace orv;
using namespace orv::ui;

class ControllerTest : public QObject {
    Q_OBJECT

private slots:
    void beforeTheResultThePhotoSaysLoadingAndThePanelIsEmpty() {
        test::GatedLoader gates;
        gates.add("a.jpg", test::envelope(test::minimalFile()));
        PreviewViewController controller(gates.loader());
        controller.view();
        QCOMPARE(controller.photo().placeholder(), QString("Loading…"));
        controller.preparePreviewOfFile("/p/a.jpg");
        gates.gate("a.jpg").started.acquire();
        QCoreApplication::processEvents();
        QVERIFY(controller.stack().arrangedSubviews().isEmpty());
        QCOMPARE(controller.photo().placeholder(), QString("Loading…"));
        gates.gate("a.jpg").release.release();
        test::waitForPreview(controller);
        QCOMPARE(controller.photo().placeholder(), QString("No preview"));
        QCOMPARE(test::panelTitle(controller), std::string("a.jpg"));
    }

    void aSlowEarlierRequestNeverReplacesTheLaterOne() {
        test::GatedLoader gates;
        gates.add("a.jpg", test::envelope(test::minimalFile()));
        gates.add("b.jpg", R"({"error":"No file"})");
        PreviewViewController controller(gates.loader());
        int shown = 0;
        connect(&controller, &PreviewViewController::previewPrepared, [&] { ++shown; });
        controller.preparePreviewOfFile("/p/a.jpg");
        controller.preparePreviewOfFile("/p/b.jpg");
        gates.gate("b.jpg").release.release();
        QEventLoop loop;  // a is still loading: wait for b's result itself
        connect(&controller, &PreviewViewController::previewPrepared, &loop, &QEventLoop::quit);
        loop.exec();
        QCOMPARE(shown, 1);
        QCOMPARE(test::panelTitle(controller), std::string("b.jpg"));
        gates.gate("a.jpg").release.release();  // a finishes last
        PreviewViewController::finishLoads();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(shown, 1);
        QCOMPARE(test::panelTitle(controller), std::string("b.jpg"));
        QVERIFY(!controller.isPreparing());
    }

    void aControllerGoneMidLoadIsLeftAlone() {
        // Fails by crashing (or, in a sanitizer build, by a use-after-free report).
        test::GatedLoader gates;
        gates.add("a.jpg", test::envelope(test::minimalFile()));
        auto controller = std::make_unique<PreviewViewController>(gates.loader());
        controller->preparePreviewOfFile("/p/a.jpg");
        gates.gate("a.jpg").started.acquire();
        controller.reset();
        gates.gate("a.jpg").release.release();
        PreviewViewController::finishLoads();
        QCoreApplication::sendPostedEvents();  // the result arrives for nobody
    }

    void everyRequestGoesThroughTheGivenLoaderOnce() {
        test::ScriptedLoader script{test::envelope(test::fullFile()), QImage(30, 20, QImage::Format_RGB32)};
        PreviewViewController controller(script.loader());
        for (const char* file : {"/p/1.jpg", "/p/2.jpg", "/p/3.jpg"}) {
            controller.preparePreviewOfFile(file);
            test::waitForPreview(controller);
        }
        QCOMPARE(script.calls->load(), 3);
        QCOMPARE(controller.photo().image().size(), QSize(30, 20));
        QCOMPARE(controller.photo().focusPoint(), std::optional(FocusPoint{47.5, 40, 5, 6.25}));
    }

    void theFileNameOfAPath() {
        QCOMPARE(PreviewViewController::displayName("/a/b/c.nef"), QString("c.nef"));
        QCOMPARE(PreviewViewController::displayName("/a/folder/"), QString("folder"));
        QCOMPARE(PreviewViewController::displayName("/"), QString("/"));
    }
};

ORV_QUICKLOOK_TEST_MAIN(ControllerTest)
#include "controller_test.moc"
