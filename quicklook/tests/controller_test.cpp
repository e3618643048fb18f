// The request flow: the loading state, the panel before the picture,
// overlapping requests, a controller that goes away mid-load, and the
// loader seam.
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
        // Both stages of both requests in the order the test picks.
        const InspectionOutcome summary = Reader::outcomeOfEnvelope(test::envelope(test::fullFile()));
        const InspectionOutcome missing = ReadError{"No file"};
        const QImage aPicture(30, 20, QImage::Format_RGB32), bPicture(40, 30, QImage::Format_RGB32);
        const QString bLoading = "title|b.jpg|3", bShown = "title|b.jpg|12 / note|No file|4";
        PreviewViewController controller;
        int panels = 0;
        connect(&controller, &PreviewViewController::panelPrepared, [&] { ++panels; });
        auto outline = [&] { return test::panelText(controller); };

        auto a = controller.beginPreviewOfFile("/p/a.cr3");
        auto b = controller.beginPreviewOfFile("/p/b.jpg");
        a.inspected(summary);
        QCOMPARE(outline(), bLoading);
        QVERIFY(!controller.photo().focusPoint());
        a.done(LoadResult{DecodedImage{aPicture}, summary});
        QCOMPARE(outline(), bLoading);
        QVERIFY(controller.photo().image().isNull());
        b.inspected(missing);
        QCOMPARE(outline(), bShown);
        QVERIFY(controller.photo().image().isNull());
        b.done(LoadResult{DecodedImage{bPicture}, missing});
        QCOMPARE(controller.photo().image().size(), QSize(40, 30));
        QCOMPARE(panels, 1);
        QVERIFY(!controller.isPreparing());
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
