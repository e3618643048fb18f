// The right-hand panel: one vertical list of text built from a summary (a
// header with the file name, fixed sections of label-value rows, the focus
// checkbox, notes and a footer), or the error panel.
#pragma once

#include <optional>

#include <QString>
#include <QWidget>

#include "Reader.hpp"

namespace orv::ui {

class PhotoView;
class StackView;

// What a view in the panel's stack is; the host's --dump reads it.
enum class PanelElement { Other, Title, Subtitle, Section, Row, Separator, Checkbox, Note, Footer };
PanelElement panelElement(const QWidget* view);

// Builds the panel into a stack; reads and sets the photo view's focus-box
// choice. Main thread only. Each render starts from an empty stack.
class MetadataPanel {
public:
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

}  // namespace orv::ui
