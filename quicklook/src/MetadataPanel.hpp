// The right-hand panel: one vertical list of text built from a summary (a
// header with the file name, fixed sections of label-value rows, the focus
// checkbox, notes and a footer), the error panel, and the value formats.
#pragma once

#include <cstdint>
#include <optional>

#include <QCheckBox>
#include <QLabel>
#include <QString>
#include <QWidget>

#include "Reader.hpp"

namespace orv::ui {

class PhotoView;
class StackView;
class TextLabel;

// Value formats of the panel. Locale-free: a full stop as decimal separator
// and no digit grouping, whatever the user's locale.
namespace Format {

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

}  // namespace Format

// What a view in the panel's stack is; the host's --dump reads it.
enum class PanelElement { Other, Title, Subtitle, Section, Row, Separator, Checkbox, Note, Footer };
PanelElement panelElement(const QWidget* view);

// One label-value row: the key at the left on the value's first baseline, the
// value wrapping within at most 190 points against the right edge, 6 points
// above and below the value.
class RowView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPadding = 6;
    static constexpr int kGap = 12;
    static constexpr int kValueMaxWidth = 190;

    RowView(const QString& label, const std::optional<QString>& value, bool mono, QWidget* parent = nullptr);

    QString label() const;
    QString value() const;  // as displayed: "—" when absent or empty
    bool mono() const { return mono_; }
    QLabel* keyLabel() const { return key_; }
    TextLabel* valueLabel() const { return value_; }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    int valueWidth(int rowWidth) const;
    void place();

    QLabel* key_;
    TextLabel* value_;
    bool mono_;
};

// The "Show focus point" checkbox, drawn in the panel's colours with the
// accent as its tint.
class FocusCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit FocusCheckBox(const QString& title, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

// Builds the panel into a stack; reads and sets the photo view's focus-box
// choice. Main thread only. Each render starts from an empty stack.
class MetadataPanel {
public:
    static constexpr int kWidth = 300;  // the panel's column: 340 less the insets

    MetadataPanel(StackView& stack, PhotoView& photo);

    void header(const QString& title, const std::optional<QString>& subtitle);
    void section(const QString& caption);
    void row(const QString& label, const std::optional<QString>& value, bool mono);
    void note(const QString& text);
    void clear();
    void render(const InspectedFile& file);
    void renderError(const QString& title, const QString& message);
    // A file still loading: its name alone, so nothing of another file is
    // ever shown under it.
    void renderLoading(const QString& title);
    // A file that is not a picture: its name, then its kind, size and
    // modification date.
    void renderFileCard(const QString& title, const FileCard& card);
    // Applies the focus-box choice and keeps it for later previews.
    void toggleFocus(bool on);

private:
    void add(QWidget* view, PanelElement kind);
    void spaceAfterLast(qreal gap);

    StackView& stack_;
    PhotoView& photo_;
};

// The stored focus-box choice: a stored boolean, otherwise true.
bool storedShowFocusPoint();
void storeShowFocusPoint(bool on);

}  // namespace orv::ui
