#include "MetadataPanel.hpp"

#include <charconv>
#include <cmath>

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QSettings>

#include "Palette.hpp"
#include "PhotoView.hpp"
#include "StackView.hpp"
#include "TextLabel.hpp"
#include "Typography.hpp"

namespace orv::ui {

namespace {

const char* const kElementProperty = "orvPanelElement";
const QString kAbsent = QStringLiteral("—");

// Where the focus-box choice is kept across previews.
const QString kSettingsOrganisation = QStringLiteral("Orvanta");
const QString kSettingsApplication = QStringLiteral("Preview");
const QString kShowFocusKey = QStringLiteral("showFocusPoint");

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

bool isBlank(const QString& text) {
    for (QChar c : text)
        if (!c.isSpace()) return false;
    return true;
}

template <typename T, typename F>
std::optional<QString> formatted(const std::optional<T>& value, F format) {
    if (!value) return std::nullopt;
    return format(*value);
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

// ---- Format ----

namespace Format {

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

}  // namespace Format

PanelElement panelElement(const QWidget* view) {
    if (!view) return PanelElement::Other;
    const QVariant v = view->property(kElementProperty);
    return v.isValid() ? static_cast<PanelElement>(v.toInt()) : PanelElement::Other;
}

bool storedShowFocusPoint() {
    const QVariant stored = QSettings(kSettingsOrganisation, kSettingsApplication).value(kShowFocusKey);
    // Settings files keep booleans as the words true and false; anything else
    // stored under the key is not a boolean and counts as true.
    if (stored.typeId() == QMetaType::Bool) return stored.toBool();
    if (stored.typeId() == QMetaType::QString) {
        const QString text = stored.toString();
        if (text == QLatin1String("false")) return false;
    }
    return true;
}

void storeShowFocusPoint(bool on) {
    QSettings settings(kSettingsOrganisation, kSettingsApplication);
    settings.setValue(kShowFocusKey, on);
    settings.sync();
}

// ---- RowView ----

RowView::RowView(const QString& label, const std::optional<QString>& value, bool mono, QWidget* parent)
    : QWidget(parent), mono_(mono) {
    const bool absent = !value || value->isEmpty();
    QString keyText = label;
    keyText.replace(u'\n', u' ').replace(u'\r', u' ');  // the key is one line
    key_ = new QLabel(keyText, this);
    key_->setTextFormat(Qt::PlainText);
    key_->setFont(Typography::system(12));
    key_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    key_->setWordWrap(false);
    key_->setTextInteractionFlags(Qt::NoTextInteraction);
    QPalette kp = key_->palette();
    kp.setColor(QPalette::WindowText, Palette::textTertiary());
    key_->setPalette(kp);
    key_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);  // never truncated

    const QFont valueFont = mono ? Typography::monospaced(12.5) : Typography::system(12.5);
    TextLabel::Style s = labelStyle(valueFont, absent ? Palette::textTertiary() : Palette::textPrimary());
    s.alignment = Qt::AlignRight;
    value_ = new TextLabel(absent ? kAbsent : *value, s, this);
    value_->setPreferredMaxLayoutWidth(kValueMaxWidth);

    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

QString RowView::label() const { return key_->text(); }

QString RowView::value() const { return value_->text(); }

int RowView::valueWidth(int rowWidth) const {
    // The value hugs its text up to 190 points and gives way to the key,
    // which keeps its full width, with at least 12 points between them.
    const int room = rowWidth - key_->sizeHint().width() - kGap;
    return std::max(1, std::min(value_->fittingWidth(), room));
}

int RowView::heightForWidth(int width) const {
    return value_->metricsForWidth(valueWidth(width)).height + 2 * kPadding;
}

QSize RowView::sizeHint() const { return QSize(MetadataPanel::kWidth, heightForWidth(MetadataPanel::kWidth)); }

QSize RowView::minimumSizeHint() const { return QSize(0, 0); }

void RowView::resizeEvent(QResizeEvent*) { place(); }

void RowView::place() {
    const int w = width();
    const int vw = valueWidth(w);
    const TextLabel::Metrics m = value_->metricsForWidth(vw);
    value_->setGeometry(w - vw, kPadding, vw, m.height);
    // Key and value share their first baseline; the key never rises above
    // the row's top padding.
    const qreal keyAscent = QFontMetricsF(key_->font()).ascent();
    const int keyTop = std::max<int>(kPadding, static_cast<int>(std::lround(kPadding + m.firstBaseline - keyAscent)));
    const QSize keySize = key_->sizeHint();
    key_->setGeometry(0, keyTop, keySize.width(), keySize.height());
}

// ---- FocusCheckBox ----

namespace {
constexpr qreal kIndicator = 14;
constexpr qreal kIndicatorGap = 6;
}  // namespace

FocusCheckBox::FocusCheckBox(const QString& title, QWidget* parent) : QCheckBox(title, parent) {
    setFont(Typography::system(12));
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize FocusCheckBox::sizeHint() const {
    const QFontMetricsF fm(font());
    const int w = static_cast<int>(std::ceil(kIndicator + kIndicatorGap + fm.horizontalAdvance(text())));
    const int h = static_cast<int>(std::ceil(std::max<qreal>(kIndicator + 4, fm.height() + 2)));
    return QSize(w, h);
}

QSize FocusCheckBox::minimumSizeHint() const { return sizeHint(); }

bool FocusCheckBox::hitButton(const QPoint& pos) const {
    return QRect(QPoint(0, 0), QSize(std::min(width(), sizeHint().width()), height())).contains(pos);
}

void FocusCheckBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const qreal top = (height() - kIndicator) / 2.0;
    const QRectF box(0.5, top + 0.5, kIndicator - 1, kIndicator - 1);
    if (isChecked()) {
        p.setPen(Qt::NoPen);
        p.setBrush(Palette::accentStrong());
        p.drawRoundedRect(box.adjusted(-0.5, -0.5, 0.5, 0.5), 3, 3);
        QPainterPath tick;
        tick.moveTo(box.left() + 3, box.top() + 6.5);
        tick.lineTo(box.left() + 5.5, box.top() + 9);
        tick.lineTo(box.left() + 10, box.top() + 3.5);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Palette::base(), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPath(tick);
    } else {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Palette::textTertiary(), 1));
        p.drawRoundedRect(box, 3, 3);
    }
    if (hasFocus()) {
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(Palette::accentStrong(), 1));
        p.drawRoundedRect(box.adjusted(-2, -2, 2, 2), 4, 4);
    }
    p.setPen(Palette::textSecondary());
    p.setFont(font());
    p.drawText(QRectF(kIndicator + kIndicatorGap, 0, width() - kIndicator - kIndicatorGap, height()),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, text());
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
