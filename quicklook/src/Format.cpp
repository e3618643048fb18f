#include "Format.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace orv::ui::Format {

namespace {

constexpr double kInt64Bound = 9223372036854775808.0;  // 2^63

bool fitsInt64(double v) { return v >= -kInt64Bound && v < kInt64Bound; }

QString fixed(double value, int decimals) {
    char buffer[400];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (ec != std::errc()) return QString::number(value, 'g', 17);
    return QString::fromLatin1(buffer, end - buffer);
}

QString shortest(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return QString::number(value, 'g', 17);
    return QString::fromLatin1(buffer, end - buffer);
}

// Trims horizontal white space: tabs and Unicode space separators, not line breaks.
QString trimHorizontal(const QString& text) {
    const auto horizontal = [](QChar c) { return c == u'\t' || c.category() == QChar::Separator_Space; };
    qsizetype begin = 0, end = text.size();
    while (begin < end && horizontal(text[begin])) ++begin;
    while (end > begin && horizontal(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

}  // namespace

QString number(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;  // std::round: halves away from zero
    if (!std::isfinite(rounded)) rounded = value;         // too large to scale: already whole
    if (rounded == std::trunc(rounded)) {
        if (fitsInt64(rounded)) return QString::number(static_cast<qlonglong>(rounded));
        return fixed(rounded, 0);  // whole but beyond 64 bits: all its digits
    }
    return shortest(rounded);
}

std::optional<QString> camera(const InspectedFile& file) {
    const QString make = trimHorizontal(file.make.value_or(QString()));
    const QString model = trimHorizontal(file.model.value_or(QString()));
    if (make.isEmpty() && model.isEmpty()) return std::nullopt;
    if (make.isEmpty()) return model;
    if (model.isEmpty()) return make;
    // "Canon" + "Canon EOS R5" reads "Canon EOS R5", not the maker twice.
    const QString firstWord = make.section(u' ', 0, 0).toLower();
    if (model.toLower().startsWith(firstWord)) return model;
    return make + u' ' + model;
}

QString captureDate(const QString& dateTaken) {
    qsizetype start = 0;
    while (start < dateTaken.size() && dateTaken[start] == u' ') ++start;
    if (start == dateTaken.size()) return dateTaken;
    const qsizetype space = dateTaken.indexOf(u' ', start);
    QString date = space < 0 ? dateTaken.mid(start) : dateTaken.mid(start, space - start);
    const QString time = space < 0 ? QString() : dateTaken.mid(space + 1);
    date.replace(u':', u'-');
    return time.isEmpty() ? date : date + u' ' + time;
}

QString focalLength(double millimetres) { return number(millimetres, 1) + QStringLiteral("mm"); }

QString aperture(double fNumber) { return QStringLiteral("f/") + number(fNumber, 1); }

QString shutter(double seconds) {
    if (seconds < 1) {
        const double reciprocal = std::round(1.0 / seconds);
        if (std::isfinite(reciprocal) && fitsInt64(reciprocal))
            return QStringLiteral("1/%1s").arg(static_cast<qlonglong>(reciprocal));
        // So short (or zero) that it has no fraction form: the seconds as they are.
    }
    return number(seconds, 1) + u's';
}

QString iso(int64_t iso) { return QString::number(static_cast<qlonglong>(iso)); }

QString coordinate(double degrees) { return fixed(degrees, 4); }

QString dimensions(int64_t width, int64_t height) {
    return QStringLiteral("%1 × %2").arg(static_cast<qlonglong>(width)).arg(static_cast<qlonglong>(height));
}

QString size(uint64_t bytes) {
    if (bytes <= 999) return QStringLiteral("%1 B").arg(static_cast<qulonglong>(bytes));
    const double b = static_cast<double>(bytes);
    if (bytes <= 999'999) return fixed(b / 1e3, 1) + QStringLiteral(" KB");
    if (bytes <= 999'999'999) return fixed(b / 1e6, 1) + QStringLiteral(" MB");
    return fixed(b / 1e9, 2) + QStringLiteral(" GB");
}

QString fileFormat(const QString& extension) { return extension.toUpper(); }

QString rating(int64_t stars) {
    return stars < 1 ? QString() : QString(static_cast<qsizetype>(std::min<int64_t>(stars, 5)), QChar(0x2605));
}

}  // namespace orv::ui::Format
