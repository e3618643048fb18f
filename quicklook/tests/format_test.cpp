// The panel's value formats at the edges where rounding, locale or white
// space could go wrong. (The common examples are in the panel's outlines.)
#include <clocale>
#include <limits>

#include "Format.hpp"
#include "TestSupport.hpp"

using namespace orv::ui;

namespace {

InspectedFile camera(std::optional<QString> make, std::optional<QString> model) {
    InspectedFile f;
    f.make = std::move(make);
    f.model = std::move(model);
    return f;
}

}  // namespace

class FormatTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        // A locale with a decimal comma must not leak into the panel.
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) std::setlocale(LC_NUMERIC, "C.UTF-8");
    }

    void numberRoundsHalfAwayFromZeroAndDropsWholeDecimals() {
        QCOMPARE(Format::number(2.8, 1), QString("2.8"));
        QCOMPARE(Format::number(4.0, 1), QString("4"));
        QCOMPARE(Format::number(1.75, 1), QString("1.8"));
        QCOMPARE(Format::number(0.33, 1), QString("0.3"));
        QCOMPARE(Format::number(-0.25, 1), QString("-0.3"));
        QCOMPARE(Format::number(-0.04, 1), QString("0"));
        QCOMPARE(Format::number(1e20, 1), QString("100000000000000000000"));
        QCOMPARE(Format::number(std::numeric_limits<double>::max(), 1).size(), 309);
    }

    void exposureAndLens() {
        QCOMPARE(Format::focalLength(4.25), QString("4.3mm"));
        QCOMPARE(Format::aperture(4.0), QString("f/4"));
        QCOMPARE(Format::shutter(0.6), QString("1/2s"));
        QCOMPARE(Format::shutter(1), QString("1s"));
        QCOMPARE(Format::shutter(2.5), QString("2.5s"));
        QCOMPARE(Format::shutter(1.0 / 3), QString("1/3s"));
        QCOMPARE(Format::shutter(0), QString("0s"));  // no fraction form: the seconds
    }

    void captureDate() {
        QCOMPARE(Format::captureDate("2023:07:01"), QString("2023-07-01"));
        QCOMPARE(Format::captureDate("  2023:07:01  10:00"), QString("2023-07-01  10:00"));
        QCOMPARE(Format::captureDate("2023:07:01 "), QString("2023-07-01"));
        QCOMPARE(Format::captureDate("   "), QString("   "));
    }

    void positionSizeAndFormat() {
        QCOMPARE(Format::coordinate(48.85837), QString("48.8584"));
        QCOMPARE(Format::dimensions(6000, 4000), QString("6000 × 4000"));  // no thousands separator
        QCOMPARE(Format::size(999), QString("999 B"));
        QCOMPARE(Format::size(1000), QString("1.0 KB"));
        QCOMPARE(Format::size(999'999), QString("1000.0 KB"));
        QCOMPARE(Format::size(1'000'000), QString("1.0 MB"));
        QCOMPARE(Format::size(1'000'000'000), QString("1.00 GB"));
        QCOMPARE(Format::size(std::numeric_limits<uint64_t>::max()), QString("18446744073.71 GB"));
    }

    void cameraName() {
        QCOMPARE(Format::camera(camera("NIKON CORPORATION", "NIKON Z 6_2")), std::optional<QString>("NIKON Z 6_2"));
        QCOMPARE(Format::camera(camera(" FUJIFILM ", "X-T5")), std::optional<QString>("FUJIFILM X-T5"));
        QCOMPARE(Format::camera(camera("\tLeica\u00a0", std::nullopt)), std::optional<QString>("Leica"));
        QCOMPARE(Format::camera(camera(" ", "\t")), std::nullopt);
        // Line breaks are not horizontal white space and stay.
        QCOMPARE(Format::camera(camera("Acme\n", "One")), std::optional<QString>("Acme\n One"));
    }
};

ORV_QUICKLOOK_TEST_MAIN(FormatTest)
#include "format_test.moc"
