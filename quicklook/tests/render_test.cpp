// Pixels of the rendered photo view: the fitted picture and the focus box
// with its minimum size, shown and hidden; zoomed, the region pixel for
// pixel with the box at its place. (The window's backgrounds are checked on
// the program's own --render output.)
#include <QLayout>

#include "Headless.hpp"
#include "Palette.hpp"
#include "TestSupport.hpp"

using namespace orv;
using namespace orv::ui;
using test::json;

namespace {

const QColor kPicture(30, 60, 200);

// One pixel the rendering must show in a colour.
struct Probe {
    int x, y;
    QColor colour;
    int tolerance = 6;
};

// Every probe checked; a failure names the pixel and what it holds.
void expectPixels(const QImage& image, std::initializer_list<Probe> probes) {
    for (const Probe& p : probes) {
        const QColor got = image.pixelColor(p.x, p.y);
        const bool near = std::abs(got.red() - p.colour.red()) <= p.tolerance &&
                          std::abs(got.green() - p.colour.green()) <= p.tolerance &&
                          std::abs(got.blue() - p.colour.blue()) <= p.tolerance;
        const QString where = QString("pixel (%1, %2) is %3, expected %4").arg(p.x).arg(p.y);
        QVERIFY2(near, qPrintable(where.arg(got.name(), p.colour.name())));
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
    void pictureIsFittedAndCentred_data() {
        QTest::addColumn<QSize>("picture");
        // The last base pixel and the first picture pixel at each edge:
        // left and right on row 380, top and bottom in column 419.
        QTest::addColumn<QList<int>>("edges");
        // A is 799 × 720; s = 0.4439; R is 799 × 532.7 from y 113.7.
        QTest::newRow("wide landscape fills the width")
            << QSize(1800, 1200) << QList<int>{19, 20, 819, 818, 112, 115, 647, 645};
        // 100 × 100 becomes 720 × 720 from x 59.5.
        QTest::newRow("small picture enlarged to the height")
            << QSize(100, 100) << QList<int>{58, 61, 780, 778, 19, 20, 740, 739};
    }
    void pictureIsFittedAndCentred() {
        QFETCH(QSize, picture);
        QFETCH(QList<int>, edges);
        const QColor base = Palette::base();
        const QList<int>& e = edges;
        expectPixels(rendered(picture, nullptr), {{e[0], 380, base}, {e[1], 380, kPicture}, {e[2], 380, base},
                                                  {e[3], 380, kPicture}, {419, e[4], base}, {419, e[5], kPicture},
                                                  {419, e[6], base}, {419, e[7], kPicture}});
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

    void zoomedViewShowsTheRegionPixelForPixelWithTheBoxInPlace() {
        // The box's centre, picture pixel (3000, 1725) of 6000 × 4000, lands
        // on (419.5, 380) rounded to a whole pixel: screen (x, y) shows
        // picture pixel (x + 2581, y + 1345), black where x + y is even.
        json file = test::minimalFile();
        file["makerNotes"]["focus"] = {{"x", 47.5}, {"y", 40}, {"w", 5}, {"h", 6.25}};
        QImage fitted(1800, 1200, QImage::Format_RGB32);
        fitted.fill(kPicture);
        test::ScriptedLoader script{test::envelope(file), fitted};
        test::FakeZoom zoom;
        PreviewViewController controller(script.loader(), nullptr, zoom.loader());
        controller.view()->resize(1180, 760);
        controller.view()->layout()->activate();
        controller.setZoomed(true);
        controller.preparePreviewOfFile("/p/a.jpg");
        test::waitForZoom(controller);
        const QImage image = host::renderImage(controller, QSize(1180, 760));
        const QColor black(0, 0, 0), accent = Palette::accentStrong();
        // The box, 300 × 250 from (269, 255): its accent bands left and right.
        expectPixels(image, {{100, 100, black, 0}, {101, 100, zoom.colour, 0}, {100, 101, zoom.colour, 0},
                             {838, 759, zoom.colour, 0}, {270, 380, accent, 30}, {567, 380, accent, 30}});
    }
};

ORV_QUICKLOOK_TEST_MAIN(RenderTest)
#include "render_test.moc"
