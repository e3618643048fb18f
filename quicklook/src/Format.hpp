// The panel's value formats. Locale-free: a full stop as decimal separator
// and no digit grouping, whatever the user's locale.
#pragma once

#include <cstdint>
#include <optional>

#include <QString>

#include "Reader.hpp"

namespace orv::ui::Format {

// value rounded to `decimals` places (halves away from zero); a whole result
// is written without a decimal point, any other as the shortest text that
// reads back as the same double. 2.8 -> "2.8", 4.0 -> "4", 1.75 -> "1.8".
QString number(double value, int decimals);

// The camera's display name from make and model; none when both are empty.
std::optional<QString> camera(const InspectedFile& file);

QString captureDate(const QString& dateTaken);  // 2024:03:15 14:22:05 -> 2024-03-15 14:22:05
QString focalLength(double millimetres);        // 4.25 -> 4.3mm
QString aperture(double fNumber);               // 4.0 -> f/4
QString shutter(double seconds);                // 0.004 -> 1/250s, 2.5 -> 2.5s
QString iso(int64_t iso);
QString coordinate(double degrees);             // 48.85837 -> 48.8584
QString dimensions(int64_t width, int64_t height);  // 6000 × 4000
QString size(uint64_t bytes);                   // 999 999 -> 1000.0 KB
QString fileFormat(const QString& extension);   // cr3 -> CR3
QString rating(int64_t stars);                  // up to five "★"; empty below 1

}  // namespace orv::ui::Format
