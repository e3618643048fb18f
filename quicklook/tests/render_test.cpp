// Pixels of the rendered photo view: the fitted picture and the focus box
// with its minimum size, shown and hidden. (The window's backgrounds are
// checked on the program's own --render output.)
#include "Headless.hpp"
#include "Palette.hpp"
#include "TestSupport.hpp"

using namespace orv;
using namespace orv::ui;
using test::json;

namespace {

const QColor kPicture(30, 60, 200);

bool near(QRgb pixel, const QColor& color, int tolerance = 6) {
    return std::abs(qRed(pixel) - color.red()) <= tolerance && std::abs(qGreen(pixel) - color.green()) <= tolerance &&
           std::abs(qBlue(pixel) - color.blue()) <= tolerance;
}

// The window at 1180 × 760 (a photo view of 839 × 760) after one request.
QImage rendered(const QSize& picture, const json& focus, bool showFocus = true) {
    json file = test::minimalFile();
    file["makerNotes"]["focus"] = focus;
    QImage image;
    if (!picture.isEmpty()) {
        image = QImage(picture, QImage::Format_RGB32);
        image.fill(kPicture);
    }
    test::ScriptedLoader script{test::envelope(file), image};
    PreviewViewController controller(script.loader());
    controller.loadView();
    controller.photo().setShowFocus(showFocus);
    controller.preparePreviewOfFile("/p/a.jpg");
    test::waitForPreview(controller);
    return host::renderImage(controller, QSize(1180, 760));
}

}  // namespace

class RenderTest : public QObject {
    Q_OBJECT

private slots:

    void wideLandscapeFillsTheWidthCentredVertically() {
        // A is 799 × 720; s = 0.4439; R is 799 × 532.7 from y 113.7.
        const QImage image = rendered(QSize(1800, 1200), nullptr);
        QVERIFY(near(image.pixel(19, 380), Palette::base()));
        QVERIFY(near(image.pixel(20, 380), kPicture));
        QVERIFY(near(image.pixel(818, 380), kPicture));
        QVERIFY(near(image.pixel(819, 380), Palette::base()));
        QVERIFY(near(image.pixel(419, 112), Palette::base()));
        QVERIFY(near(image.pixel(419, 115), kPicture));
        QVERIFY(near(image.pixel(419, 645), kPicture));
        QVERIFY(near(image.pixel(419, 647), Palette::base()));
    }

    void smallPictureIsEnlargedToTheFullHeight() {
        // 100 × 100 becomes 720 × 720 from x 59.5.
        const QImage image = rendered(QSize(100, 100), nullptr);
        QVERIFY(near(image.pixel(58, 380), Palette::base()));
        QVERIFY(near(image.pixel(61, 380), kPicture));
        QVERIFY(near(image.pixel(778, 380), kPicture));
        QVERIFY(near(image.pixel(780, 380), Palette::base()));
        QVERIFY(near(image.pixel(419, 19), Palette::base()));
        QVERIFY(near(image.pixel(419, 20), kPicture));
        QVERIFY(near(image.pixel(419, 739), kPicture));
        QVERIFY(near(image.pixel(419, 740), Palette::base()));
    }

    void focusBoxHasAnAccentEdgeAndAMinimumSize() {
        // Centre (419.5, 343.4); 39.95 × 33.3 on screen, enlarged to 40 × 40.
        const json focus = {{"x", 47.5}, {"y", 40}, {"w", 5}, {"h", 6.25}};
        const QImage image = rendered(QSize(1800, 1200), focus);
        QVERIFY(near(image.pixel(400, 343), Palette::accentStrong(), 30));   // left edge band
        QVERIFY(near(image.pixel(438, 343), Palette::accentStrong(), 30));   // right edge band
        QVERIFY(near(image.pixel(419, 324), Palette::accentStrong(), 30));   // top edge band
        QVERIFY(near(image.pixel(419, 362), Palette::accentStrong(), 30));   // bottom edge band
        QVERIFY(qGray(image.pixel(398, 343)) < qGray(kPicture.rgb()) - 10);  // the dark halo outside
        QVERIFY(near(image.pixel(419, 343), kPicture));                     // the inside stays clear
        QVERIFY(near(image.pixel(395, 343), kPicture));                     // nothing beyond the halo

        const QImage hidden = rendered(QSize(1800, 1200), focus, false);
        QVERIFY(near(hidden.pixel(400, 343), kPicture));
        QVERIFY(near(hidden.pixel(419, 324), kPicture));
    }

    void boxBeyondThePictureEdgeIsNotClipped() {
        // x 98, w 4 on the 100 × 100 picture: the box straddles its right edge.
        const json focus = {{"x", 98}, {"y", 50}, {"w", 4}, {"h", 4}};
        const QImage image = rendered(QSize(100, 100), focus);
        // Centre x 779.5 (the picture's right edge), 40 wide: accent band 797.5-799.5.
        QVERIFY(near(image.pixel(798, 394), Palette::accentStrong(), 30));
        QVERIFY(near(image.pixel(760, 394), Palette::accentStrong(), 30));
    }
};

ORV_QUICKLOOK_TEST_MAIN(RenderTest)
#include "render_test.moc"
