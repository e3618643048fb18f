#include "MetadataPanel.hpp"

#include "FocusCheckBox.hpp"
#include "Format.hpp"
#include "Palette.hpp"
#include "PhotoView.hpp"
#include "RowView.hpp"
#include "StackView.hpp"
#include "TextLabel.hpp"
#include "Typography.hpp"

namespace orv::ui {

namespace {

const char* const kElementProperty = "orvPanelElement";

template <typename T, typename F>
std::optional<QString> formatted(const std::optional<T>& value, F format) {
    if (!value) return std::nullopt;
    return format(*value);
}

bool isBlank(const QString& text) {
    for (QChar c : text)
        if (!c.isSpace()) return false;
    return true;
}

TextLabel::Style labelStyle(const QFont& font, const QColor& color,
                       QTextOption::WrapMode wrap = QTextOption::WrapAtWordBoundaryOrAnywhere) {
    TextLabel::Style s;
    s.font = font;
    s.color = color;
    s.wrap = wrap;
    return s;
}

void setElement(QWidget* view, PanelElement kind) { view->setProperty(kElementProperty, static_cast<int>(kind)); }

// The thin line under each row.
class Separator : public QWidget {
public:
    Separator() {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Palette::borderSoft());
        setPalette(p);
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override { return QSize(0, 1); }
};

}  // namespace

PanelElement panelElement(const QWidget* view) {
    if (!view) return PanelElement::Other;
    const QVariant v = view->property(kElementProperty);
    return v.isValid() ? static_cast<PanelElement>(v.toInt()) : PanelElement::Other;
}

// ---- MetadataPanel ----

MetadataPanel::MetadataPanel(StackView& stack, PhotoView& photo) : stack_(stack), photo_(photo) {}

void MetadataPanel::add(QWidget* view, PanelElement kind) {
    setElement(view, kind);
    stack_.addArrangedSubview(view);  // the stack gives it the column's width
}

void MetadataPanel::spaceAfterLast(qreal gap) {
    const QList<QWidget*> views = stack_.arrangedSubviews();
    if (!views.isEmpty()) stack_.setCustomSpacing(gap, views.back());
}

void MetadataPanel::header(const QString& title, const std::optional<QString>& subtitle) {
    // A long name without spaces still wraps within the column.
    auto* titleLabel = new TextLabel(
        title, labelStyle(Typography::system(13.5, QFont::DemiBold), Palette::textPrimary(), QTextOption::WrapAnywhere));
    add(titleLabel, PanelElement::Title);
    stack_.setCustomSpacing(3, titleLabel);
    if (subtitle) {
        auto* subtitleLabel = new TextLabel(*subtitle, labelStyle(Typography::monospaced(11.5), Palette::textTertiary()));
        add(subtitleLabel, PanelElement::Subtitle);
        stack_.setCustomSpacing(18, subtitleLabel);
    }
}

void MetadataPanel::section(const QString& caption) {
    QFont font = Typography::system(11, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.4);
    auto* label = new TextLabel(caption, labelStyle(font, Palette::textSecondary()));
    spaceAfterLast(20);
    add(label, PanelElement::Section);
    stack_.setCustomSpacing(6, label);
}

void MetadataPanel::row(const QString& label, const std::optional<QString>& value, bool mono) {
    add(new RowView(label, value, mono), PanelElement::Row);
    add(new Separator, PanelElement::Separator);
}

void MetadataPanel::note(const QString& text) {
    auto* label = new TextLabel(text, labelStyle(Typography::system(11.5), Palette::textTertiary()));
    add(label, PanelElement::Note);
    stack_.setCustomSpacing(4, label);
}

void MetadataPanel::clear() {
    for (QWidget* view : stack_.arrangedSubviews()) {
        view->hide();
        view->setParent(nullptr);  // leaves the stack, and its spacing with it
        view->deleteLater();
    }
}

void MetadataPanel::renderError(const QString& title, const QString& message) {
    clear();
    header(title, std::nullopt);
    spaceAfterLast(12);
    note(message);
}

void MetadataPanel::renderLoading(const QString& title) {
    clear();
    header(title, std::nullopt);
}

void MetadataPanel::renderFileCard(const QString& title, const FileCard& card) {
    clear();
    header(title, std::nullopt);
    section(QStringLiteral("FILE"));
    row(QStringLiteral("Kind"), card.description.isEmpty() ? std::nullopt : std::optional(card.description), false);
    row(QStringLiteral("Size"), formatted(card.size, Format::size), true);
    // Local time, in the panel's one date form.
    row(QStringLiteral("Modified"),
        card.modified ? std::optional(card.modified->toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                      : std::nullopt,
        true);
}

void MetadataPanel::toggleFocus(bool on) {
    photo_.setShowFocus(on);  // redraws the photo
    storeShowFocusPoint(on);
}

void MetadataPanel::render(const InspectedFile& f) {
    clear();

    const std::optional<QString> cameraName = Format::camera(f);
    const std::optional<QString> taken = formatted(f.dateTaken, Format::captureDate);
    QStringList subtitle;
    for (const auto& piece : {cameraName, taken})
        if (piece && !isBlank(*piece)) subtitle.push_back(*piece);
    header(f.filename, subtitle.isEmpty() ? std::nullopt : std::optional(subtitle.join(QStringLiteral(" · "))));

    section(QStringLiteral("CAMERA & LENS"));
    row(QStringLiteral("Camera"), cameraName, true);
    row(QStringLiteral("Lens"), f.lens, true);
    row(QStringLiteral("Focal length"), formatted(f.focalLength, Format::focalLength), true);

    section(QStringLiteral("EXPOSURE"));
    row(QStringLiteral("Aperture"), formatted(f.aperture, Format::aperture), true);
    row(QStringLiteral("Shutter"), formatted(f.shutterSpeed, Format::shutter), true);
    row(QStringLiteral("ISO"), formatted(f.iso, Format::iso), true);

    section(QStringLiteral("DATE & LOCATION"));
    row(QStringLiteral("Taken"), taken, true);
    // A position needs both halves.
    const bool located = f.gpsLat && f.gpsLon;
    row(QStringLiteral("Latitude"), located ? formatted(f.gpsLat, Format::coordinate) : std::nullopt, true);
    row(QStringLiteral("Longitude"), located ? formatted(f.gpsLon, Format::coordinate) : std::nullopt, true);

    const MakerNotes& notes = f.makerNotes;
    if (notes.brand || f.lookName) {
        section(notes.brand ? QStringLiteral("MAKER NOTES — ") + notes.brand->toUpper()
                            : QStringLiteral("CAMERA SETTINGS"));
        for (const MakerNoteField& field : notes.fields) row(field.label, field.value, true);
        if (!notes.brand && f.lookName) row(QStringLiteral("Picture style"), f.lookName, true);
        if (notes.focus) {
            auto* box = new FocusCheckBox(QStringLiteral("Show focus point"));
            box->setChecked(photo_.showFocus());
            QObject::connect(box, &QCheckBox::toggled, box, [this](bool on) { toggleFocus(on); });
            spaceAfterLast(10);
            add(box, PanelElement::Checkbox);
        }
    }

    const bool rated = f.rating && *f.rating > 0;
    if (f.title || f.caption || rated || f.colorLabel || !f.keywords.isEmpty()) {
        section(QStringLiteral("DESCRIPTION"));
        if (f.title) row(QStringLiteral("Title"), f.title, false);
        if (f.caption) row(QStringLiteral("Caption"), f.caption, false);
        if (rated) row(QStringLiteral("Rating"), Format::rating(*f.rating), false);
        if (f.colorLabel) row(QStringLiteral("Label"), f.colorLabel, false);
        if (!f.keywords.isEmpty()) row(QStringLiteral("Keywords"), f.keywords.join(QStringLiteral(", ")), false);
    }

    const auto hasText = [](const std::optional<QString>& s) { return s && !s->isEmpty(); };
    if (hasText(f.copyright) || hasText(f.artist)) {
        section(QStringLiteral("COPYRIGHT"));
        row(QStringLiteral("Copyright"), f.copyright, false);
        row(QStringLiteral("Artist"), f.artist, false);
    }

    section(QStringLiteral("FILE"));
    row(QStringLiteral("Format"), Format::fileFormat(f.extension), true);
    row(QStringLiteral("Dimensions"),
        f.width && f.height ? std::optional(Format::dimensions(*f.width, *f.height)) : std::nullopt, true);
    row(QStringLiteral("Size"), formatted(f.fileSize, Format::size), true);

    spaceAfterLast(10);
    if (f.hasSidecar) note(QStringLiteral("Has an XMP sidecar. Shown above: what's in the file itself."));
    if (f.hasSerialNumbers) note(QStringLiteral("Carries a camera or lens serial number."));

    spaceAfterLast(22);
    auto* footer = new TextLabel(
        QStringLiteral("Orvanta preview. To use the standard macOS preview instead, turn it off in "
                       "Orvanta Settings → Finder."),
        labelStyle(Typography::system(10.5), Palette::textTertiary()));
    add(footer, PanelElement::Footer);
}

}  // namespace orv::ui
