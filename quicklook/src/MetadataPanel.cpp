#include "MetadataPanel.hpp"

#include "FocusCheckBox.hpp"
#include "Palette.hpp"
#include "PhotoView.hpp"
#include "RowView.hpp"
#include "StackView.hpp"
#include "TextLabel.hpp"
#include "Typography.hpp"

namespace orv::ui {

namespace {

using Kind = PanelElement::Kind;

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

// How each kind of text element is set.
TextLabel::Style styleOf(Kind kind) {
    switch (kind) {
        case Kind::Title:  // a long name without spaces still wraps within the column
            return {.font = Typography::system(13.5, QFont::DemiBold),
                    .color = Palette::textPrimary(),
                    .wrap = QTextOption::WrapAnywhere};
        case Kind::Subtitle: return {.font = Typography::monospaced(11.5), .color = Palette::textTertiary()};
        case Kind::Section: {
            QFont font = Typography::system(11, QFont::Bold);
            font.setLetterSpacing(QFont::AbsoluteSpacing, 0.4);
            return {.font = font, .color = Palette::textSecondary()};
        }
        case Kind::Note: return {.font = Typography::system(11.5), .color = Palette::textTertiary()};
        case Kind::Footer: return {.font = Typography::system(10.5), .color = Palette::textTertiary()};
        case Kind::Row:
        case Kind::Checkbox: break;
    }
    return {};
}

}  // namespace

MetadataPanel::MetadataPanel(StackView& stack, PhotoView& photo) : stack_(stack), photo_(photo) {}

void MetadataPanel::show(PanelModel model) {
    stack_.removeAllArrangedSubviews();
    model_ = std::move(model);
    for (const PanelElement& element : model_) stack_.setCustomSpacing(element.gapAfter, viewOf(element));
}

// Adds the element's views to the stack (the stack gives them the column's
// width) and returns the last, the one the gap goes below.
QWidget* MetadataPanel::viewOf(const PanelElement& element) {
    switch (element.kind) {
        case Kind::Row: {
            stack_.addArrangedSubview(new RowView(element.text, element.value, element.absent, element.mono));
            auto* line = new Separator;
            stack_.addArrangedSubview(line);
            return line;
        }
        case Kind::Checkbox: {
            auto* box = new FocusCheckBox(element.text);
            box->setChecked(element.on);
            QObject::connect(box, &QCheckBox::toggled, box, [this](bool on) { toggleFocus(on); });
            stack_.addArrangedSubview(box);
            return box;
        }
        default: {
            auto* label = new TextLabel(element.text, styleOf(element.kind));
            stack_.addArrangedSubview(label);
            return label;
        }
    }
}

void MetadataPanel::toggleFocus(bool on) {
    photo_.setShowFocus(on);  // redraws the photo
    storeShowFocusPoint(on);
    for (PanelElement& element : model_)
        if (element.kind == Kind::Checkbox) element.on = on;
}

}  // namespace orv::ui
