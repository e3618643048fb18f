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

// One pixel the rendering must show in a colour.
struct Probe {
    int x, y;
    QColor colour;
    int tolerance = 6;
};

// Every probe checked; a failure names the pixel and what it holds.
void expectPixels(const QImage& image, std::initializer_list<Probe> probes) {
    for (const Probe& p : probes) {
        const QRgb got = image.pixel(p.x, p.y);
        const QByteArray message = QStringLiteral("pixel (%1, %2) is %3, expected %4")
                                       .arg(p.x)
                                       .arg(p.y)
                                       .arg(QColor(got).name(), p.colour.name())
                                       .toUtf8();
        QVERIFY2(near(got, p.colour, p.tolerance), message.constData());
    }
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
        const QColor base = Palette::base();
        expectPixels(rendered(QSize(1800, 1200), nullptr),
                     {{19, 380, base}, {20, 380, kPicture}, {818, 380, kPicture}, {819, 380, base},
                      {419, 112, base}, {419, 115, kPicture}, {419, 645, kPicture}, {419, 647, base}});
    }

    void smallPictureIsEnlargedToTheFullHeight() {
        // 100 × 100 becomes 720 × 720 from x 59.5.
        const QColor base = Palette::base();
        expectPixels(rendered(QSize(100, 100), nullptr),
                     {{58, 380, base}, {61, 380, kPicture}, {778, 380, kPicture}, {780, 380, base},
                      {419, 19, base}, {419, 20, kPicture}, {419, 739, kPicture}, {419, 740, base}});
    }

    void focusBoxHasAnAccentEdgeAndAMinimumSize() {
        // Centre (419.5, 343.4); 39.95 × 33.3 on screen, enlarged to 40 × 40.
        const json focus = {{"x", 47.5}, {"y", 40}, {"w", 5}, {"h", 6.25}};
        const QImage image = rendered(QSize(1800, 1200), focus);
        const QColor accent = Palette::accentStrong();
        expectPixels(image, {{400, 343, accent, 30},  // left edge band
                             {438, 343, accent, 30},  // right edge band
                             {419, 324, accent, 30},  // top edge band
                             {419, 362, accent, 30},  // bottom edge band
                             {419, 343, kPicture},    // the inside stays clear
                             {395, 343, kPicture}});  // nothing beyond the halo
        QVERIFY(qGray(image.pixel(398, 343)) < qGray(kPicture.rgb()) - 10);  // the dark halo outside

        expectPixels(rendered(QSize(1800, 1200), focus, false), {{400, 343, kPicture}, {419, 324, kPicture}});
    }

    void boxBeyondThePictureEdgeIsNotClipped() {
        // x 98, w 4 on the 100 × 100 picture: the box straddles its right edge.
        // Centre x 779.5 (the picture's right edge), 40 wide: accent band 797.5-799.5.
        const json focus = {{"x", 98}, {"y", 50}, {"w", 4}, {"h", 4}};
        const QColor accent = Palette::accentStrong();
        expectPixels(rendered(QSize(100, 100), focus), {{798, 394, accent, 30}, {760, 394, accent, 30}});
    }
};

ORV_QUICKLOOK_TEST_MAIN(RenderTest)
#include "render_test.moc"
