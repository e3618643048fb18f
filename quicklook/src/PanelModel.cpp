#include "PanelModel.hpp"

#include <algorithm>

#include <QTextBoundaryFinder>

#include "Format.hpp"

namespace orv::ui::Panel {

namespace {

using Kind = PanelElement::Kind;

template <typename T, typename F>
std::optional<QString> formatted(const std::optional<T>& value, F format) {
    if (!value) return std::nullopt;
    return format(*value);
}

bool isBlank(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.isSpace(); });
}

// Digits in threes parted by commas, whatever the locale: 298000 -> 298,000.
QString grouped(qsizetype count) {
    QString digits = QString::number(count);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, u',');
    return digits;
}

// Appends elements with the panel's fixed gaps.
class Builder {
public:
    PanelModel elements;

    void gapAfterLast(qreal gap) {
        if (!elements.empty()) elements.back().gapAfter = gap;
    }
    void header(const QString& title, const std::optional<QString>& subtitle = std::nullopt) {
        elements.push_back({.kind = Kind::Title, .text = shown(title), .gapAfter = 3});
        if (subtitle) elements.push_back({.kind = Kind::Subtitle, .text = shown(*subtitle), .gapAfter = 18});
    }
    void section(const QString& caption) {
        gapAfterLast(20);
        elements.push_back({.kind = Kind::Section, .text = shown(caption), .gapAfter = 6});
    }
    void row(const QString& label, const std::optional<QString>& value, bool mono) {
        QString key = label;
        key.replace(u'\n', u' ').replace(u'\r', u' ');  // the key is one line
        const bool absent = !value || value->isEmpty();
        elements.push_back({.kind = Kind::Row,
                            .text = shown(key),
                            .value = absent ? QStringLiteral("—") : shown(*value),
                            .absent = absent,
                            .mono = mono});
    }
    void note(const QString& text) { elements.push_back({.kind = Kind::Note, .text = shown(text), .gapAfter = 4}); }
};

// How to switch the previewer off, said the way this desktop does it.
const QString kFooterText = QStringLiteral(
    "Orvanta preview. To use the desktop's own previewer instead, run orvanta-preview --unregister-previewer.");

}  // namespace

QString shown(const QString& text) {
    if (text.size() <= kMaxShownLength) return text;
    // Cut where a character ends, so no surrogate pair or base letter and
    // its marks is split; a single character longer than the limit (marks
    // piled on one letter) is cut between code points.
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    characters.setPosition(kMaxShownLength);
    qsizetype cut = characters.isAtBoundary() ? kMaxShownLength : characters.toPreviousBoundary();
    if (cut <= 0) {
        cut = kMaxShownLength;
        if (text[cut].isLowSurrogate()) --cut;
    }
    qsizetype rest = 0;
    for (characters.setPosition(cut); characters.toNextBoundary() >= 0;) ++rest;
    return text.left(cut) + QStringLiteral("… (") + grouped(rest) +
           (rest == 1 ? QStringLiteral(" more character)") : QStringLiteral(" more characters)"));
}

PanelModel summary(const InspectedFile& f, bool showFocus) {
    Builder panel;
    const std::optional<QString> cameraName = Format::camera(f);
    const std::optional<QString> taken = formatted(f.dateTaken, Format::captureDate);
    QStringList subtitle;
    for (const auto& piece : {cameraName, taken})
        if (piece && !isBlank(*piece)) subtitle.push_back(*piece);
    panel.header(f.filename, subtitle.isEmpty() ? std::nullopt : std::optional(subtitle.join(QStringLiteral(" · "))));

    panel.section(QStringLiteral("CAMERA & LENS"));
    panel.row(QStringLiteral("Camera"), cameraName, true);
    panel.row(QStringLiteral("Lens"), f.lens, true);
    panel.row(QStringLiteral("Focal length"), formatted(f.focalLength, Format::focalLength), true);

    panel.section(QStringLiteral("EXPOSURE"));
    panel.row(QStringLiteral("Aperture"), formatted(f.aperture, Format::aperture), true);
    panel.row(QStringLiteral("Shutter"), formatted(f.shutterSpeed, Format::shutter), true);
    panel.row(QStringLiteral("ISO"), formatted(f.iso, Format::iso), true);

    panel.section(QStringLiteral("DATE & LOCATION"));
    panel.row(QStringLiteral("Taken"), taken, true);
    // A position needs both halves.
    const bool located = f.gpsLat && f.gpsLon;
    panel.row(QStringLiteral("Latitude"), located ? formatted(f.gpsLat, Format::coordinate) : std::nullopt, true);
    panel.row(QStringLiteral("Longitude"), located ? formatted(f.gpsLon, Format::coordinate) : std::nullopt, true);

    const MakerNotes& notes = f.makerNotes;
    if (notes.brand || f.lookName) {
        panel.section(notes.brand ? QStringLiteral("MAKER NOTES — ") + notes.brand->toUpper()
                                  : QStringLiteral("CAMERA SETTINGS"));
        for (const MakerNoteField& field : notes.fields) panel.row(field.label, field.value, true);
        if (!notes.brand && f.lookName) panel.row(QStringLiteral("Picture style"), f.lookName, true);
        if (notes.focus) {
            panel.gapAfterLast(10);
            panel.elements.push_back({.kind = Kind::Checkbox, .text = QStringLiteral("Show focus point"), .on = showFocus});
        }
    }

    const bool rated = f.rating && *f.rating > 0;
    if (f.title || f.caption || rated || f.colorLabel || !f.keywords.isEmpty()) {
        panel.section(QStringLiteral("DESCRIPTION"));
        if (f.title) panel.row(QStringLiteral("Title"), f.title, false);
        if (f.caption) panel.row(QStringLiteral("Caption"), f.caption, false);
        if (rated) panel.row(QStringLiteral("Rating"), Format::rating(*f.rating), false);
        if (f.colorLabel) panel.row(QStringLiteral("Label"), f.colorLabel, false);
        if (!f.keywords.isEmpty()) panel.row(QStringLiteral("Keywords"), f.keywords.join(QStringLiteral(", ")), false);
    }

    const auto hasText = [](const std::optional<QString>& s) { return s && !s->isEmpty(); };
    if (hasText(f.copyright) || hasText(f.artist)) {
        panel.section(QStringLiteral("COPYRIGHT"));
        panel.row(QStringLiteral("Copyright"), f.copyright, false);
        panel.row(QStringLiteral("Artist"), f.artist, false);
    }

    panel.section(QStringLiteral("FILE"));
    panel.row(QStringLiteral("Format"), Format::fileFormat(f.extension), true);
    panel.row(QStringLiteral("Dimensions"),
              f.width && f.height ? std::optional(Format::dimensions(*f.width, *f.height)) : std::nullopt, true);
    panel.row(QStringLiteral("Size"), formatted(f.fileSize, Format::size), true);

    panel.gapAfterLast(10);
    if (f.hasSidecar) panel.note(QStringLiteral("Has an XMP sidecar. Shown above: what's in the file itself."));
    if (f.hasSerialNumbers) panel.note(QStringLiteral("Carries a camera or lens serial number."));

    panel.gapAfterLast(22);
    panel.elements.push_back({.kind = Kind::Footer, .text = kFooterText});
    return std::move(panel.elements);
}

PanelModel error(const QString& title, const QString& message) {
    Builder panel;
    panel.header(title);
    panel.gapAfterLast(12);
    panel.note(message);
    return std::move(panel.elements);
}

PanelModel loading(const QString& title) {
    Builder panel;
    panel.header(title);
    return std::move(panel.elements);
}

PanelModel fileCard(const QString& title, const FileCard& card) {
    Builder panel;
    panel.header(title);
    panel.section(QStringLiteral("FILE"));
    panel.row(QStringLiteral("Kind"), card.description.isEmpty() ? std::nullopt : std::optional(card.description),
              false);
    panel.row(QStringLiteral("Size"), formatted(card.size, Format::size), true);
    // Local time, in the panel's one date form.
    panel.row(QStringLiteral("Modified"),
              card.modified ? std::optional(card.modified->toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                            : std::nullopt,
              true);
    if (!card.note.isEmpty()) {
        panel.gapAfterLast(12);
        panel.note(card.note);
    }
    return std::move(panel.elements);
}

}  // namespace orv::ui::Panel
