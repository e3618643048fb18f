// The right-hand panel as widgets: one vertical list made from a panel
// model, each element with the gap below it; the focus checkbox sets the
// photo view's focus-box choice.
#pragma once

#include "PanelModel.hpp"

namespace orv::ui {

class PhotoView;
class StackView;

// Main thread only. Each model shown replaces the stack's views.
class MetadataPanel {
public:
    MetadataPanel(StackView& stack, PhotoView& photo);

    void show(PanelModel model);
    // What the panel shows now, the checkbox's latest state included.
    const PanelModel& model() const { return model_; }

private:
    QWidget* viewOf(const PanelElement& element);
    // Applies the focus-box choice and keeps it for later previews.
    void toggleFocus(bool on);

    StackView& stack_;
    PhotoView& photo_;
    PanelModel model_;
};

}  // namespace orv::ui
