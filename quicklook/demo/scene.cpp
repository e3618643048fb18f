// orvanta-demo-scene OUT.jpg: draws the demo sample, a lake at dusk under
// mountains, and writes it as a JPEG. Deterministic: the same picture on
// every build. The build then has ExifTool write the sample's metadata.
#include <cmath>
#include <cstdio>
#include <random>

#include <QCoreApplication>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

constexpr int kWidth = 2400;
constexpr int kHeight = 1600;
constexpr double kHorizon = 0.64 * kHeight;

// A ridge line: a few sines of different lengths, so it looks irregular but
// never changes between builds.
QPainterPath ridge(double base, double height, double phase, double roughness) {
    QPainterPath path;
    path.moveTo(0, kHorizon);
    for (int x = 0; x <= kWidth; x += 8) {
        const double t = static_cast<double>(x) / kWidth;
        const double y = base - height * (0.55 * std::sin(6.3 * t + phase) + 0.3 * std::sin(17.0 * t + 2 * phase) +
                                          roughness * std::sin(53.0 * t + 3 * phase) + 0.35);
        path.lineTo(x, y);
    }
    path.lineTo(kWidth, kHorizon);
    path.closeSubpath();
    return path;
}

void sky(QPainter& p) {
    QLinearGradient g(0, 0, 0, kHorizon);
    g.setColorAt(0.0, QColor(22, 30, 70));
    g.setColorAt(0.45, QColor(104, 52, 110));
    g.setColorAt(0.78, QColor(232, 112, 72));
    g.setColorAt(1.0, QColor(255, 196, 120));
    p.fillRect(QRectF(0, 0, kWidth, kHorizon), g);

    std::mt19937 random(20240621);
    std::uniform_real_distribution<double> x(0, kWidth), y(0, 0.3 * kHeight), size(0.8, 2.4);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 160; ++i) {
        const double py = y(random);
        p.setBrush(QColor(255, 246, 230, static_cast<int>(200 * (1 - py / (0.3 * kHeight)))));
        const double s = size(random);
        p.drawEllipse(QPointF(x(random), py), s, s);
    }
}

void sun(QPainter& p, QPointF centre) {
    QRadialGradient glow(centre, 420);
    glow.setColorAt(0.0, QColor(255, 236, 180, 200));
    glow.setColorAt(0.25, QColor(255, 190, 110, 90));
    glow.setColorAt(1.0, QColor(255, 150, 90, 0));
    p.setBrush(glow);
    p.drawEllipse(centre, 420, 420);
    p.setBrush(QColor(255, 240, 200));
    p.drawEllipse(centre, 70, 70);
}

void mountains(QPainter& p) {
    p.setBrush(QColor(120, 70, 120, 210));
    p.drawPath(ridge(kHorizon - 120, 260, 0.7, 0.05));
    p.setBrush(QColor(70, 40, 80));
    p.drawPath(ridge(kHorizon - 30, 190, 2.1, 0.09));
    p.setBrush(QColor(38, 26, 48));
    p.drawPath(ridge(kHorizon + 2, 70, 4.0, 0.2));
}

// The lake mirrors what is above the horizon, darker, with a shimmering
// trail of the sun on the water.
void lake(QPainter& p, const QImage& above, QPointF sunCentre) {
    const QImage mirrored = above.copy(0, 0, kWidth, static_cast<int>(kHorizon)).mirrored(false, true);
    p.drawImage(QPointF(0, kHorizon), mirrored);
    QLinearGradient dim(0, kHorizon, 0, kHeight);
    dim.setColorAt(0.0, QColor(20, 24, 48, 120));
    dim.setColorAt(1.0, QColor(10, 12, 28, 235));
    p.fillRect(QRectF(0, kHorizon, kWidth, kHeight - kHorizon), dim);

    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-1, 1);
    for (double y = kHorizon + 6; y < kHeight; y += 9) {
        const double depth = (y - kHorizon) / (kHeight - kHorizon);
        const double half = 40 + 220 * depth * (0.6 + 0.4 * jitter(random));
        p.setBrush(QColor(255, 214, 150, static_cast<int>(150 * (1 - depth))));
        p.drawRoundedRect(QRectF(sunCentre.x() - half + 30 * jitter(random), y, 2 * half, 3), 1.5, 1.5);
    }
}

void pines(QPainter& p) {
    p.setBrush(QColor(12, 12, 20));
    QPainterPath shore;
    shore.moveTo(0, kHeight);
    shore.lineTo(0, kHeight - 260);
    shore.cubicTo(300, kHeight - 300, 520, kHeight - 180, 760, kHeight - 120);
    shore.cubicTo(900, kHeight - 80, 1000, kHeight - 40, 1100, kHeight);
    shore.closeSubpath();
    p.drawPath(shore);
    const double bases[][3] = {{80, kHeight - 250, 520}, {210, kHeight - 260, 420}, {330, kHeight - 240, 600},
                               {470, kHeight - 200, 380}, {600, kHeight - 160, 300}};
    for (const auto& b : bases) {
        const double x = b[0], base = b[1], h = b[2];
        QPainterPath tree;
        const int tiers = 7;
        for (int i = 0; i < tiers; ++i) {
            const double top = base - h + h * i / tiers;
            const double w = 18 + 70.0 * (i + 1) / tiers;
            tree.moveTo(x, top);
            tree.lineTo(x + w, top + h / tiers * 1.6);
            tree.lineTo(x - w, top + h / tiers * 1.6);
            tree.closeSubpath();
        }
        tree.addRect(QRectF(x - 7, base - 10, 14, 40));
        p.drawPath(tree.simplified());
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvanta-demo-scene OUT.jpg\n");
        return 2;
    }
    QImage image(kWidth, kHeight, QImage::Format_RGB32);
    const QPointF sunCentre(0.63 * kWidth, kHorizon - 150);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        sky(p);
        sun(p, sunCentre);
        mountains(p);
    }
    {
        const QImage above = image.copy();
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        lake(p, above, sunCentre);
        pines(p);
    }
    QImageWriter writer(QString::fromLocal8Bit(argv[1]), "jpeg");
    writer.setQuality(90);
    if (!writer.write(image)) {
        std::fprintf(stderr, "orvanta-demo-scene: cannot write %s: %s\n", argv[1], qPrintable(writer.errorString()));
        return 1;
    }
    return 0;
}
