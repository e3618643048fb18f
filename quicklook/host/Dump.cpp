#include "Dump.hpp"

#include <cmath>

#include <QCheckBox>

#include <nlohmann/json.hpp>

#include "MetadataPanel.hpp"
#include "PhotoView.hpp"
#include "PreviewViewController.hpp"
#include "RowView.hpp"
#include "StackView.hpp"
#include "TextLabel.hpp"

namespace orv::ui {

namespace {

using json = nlohmann::ordered_json;

json points(qreal value) {
    if (value == std::trunc(value) && std::abs(value) < 1e15) return static_cast<long long>(value);
    return value;
}

const char* kindName(PanelElement kind) {
    switch (kind) {
        case PanelElement::Title: return "title";
        case PanelElement::Subtitle: return "subtitle";
        case PanelElement::Section: return "section";
        case PanelElement::Row: return "row";
        case PanelElement::Checkbox: return "checkbox";
        case PanelElement::Note: return "note";
        case PanelElement::Footer: return "footer";
        case PanelElement::Separator:
        case PanelElement::Other: break;
    }
    return "other";
}

json photoLine(const PhotoView& photo) {
    json p;
    const QImage& image = photo.image();
    p["image"] = image.isNull() ? json(nullptr) : json::array({image.width(), image.height()});
    p["placeholder"] = photo.placeholder().toStdString();
    if (const auto& f = photo.focusPoint())
        p["focus"] = json{{"x", f->x}, {"y", f->y}, {"w", f->w}, {"h", f->h}};
    else
        p["focus"] = nullptr;
    p["showFocus"] = photo.showFocus();
    return json{{"photo", p}};
}

}  // namespace

std::vector<std::string> dumpLines(const PreviewViewController& controller) {
    std::vector<std::string> lines;
    lines.push_back(photoLine(controller.photo()).dump(-1, ' ', false, json::error_handler_t::replace));

    const StackView& stack = controller.stack();
    const QList<QWidget*> views = stack.arrangedSubviews();
    for (qsizetype i = 0; i < views.size(); ++i) {
        const QWidget* view = views[i];
        const PanelElement kind = panelElement(view);
        if (kind == PanelElement::Separator) continue;  // folded into its row
        json line;
        line["kind"] = kindName(kind);
        qreal gap = stack.customSpacing(view);
        if (kind == PanelElement::Row) {
            const auto* row = static_cast<const RowView*>(view);
            line["label"] = row->label().toStdString();
            line["value"] = row->value().toStdString();
            line["mono"] = row->mono();
            if (i + 1 < views.size() && panelElement(views[i + 1]) == PanelElement::Separator)
                gap = stack.customSpacing(views[i + 1]);
        } else if (kind == PanelElement::Checkbox) {
            const auto* box = static_cast<const QCheckBox*>(view);
            line["text"] = box->text().toStdString();
            line["on"] = box->isChecked();
        } else if (const auto* label = qobject_cast<const TextLabel*>(view)) {
            line["text"] = label->text().toStdString();
        }
        line["gapAfter"] = points(gap);
        lines.push_back(line.dump(-1, ' ', false, json::error_handler_t::replace));
    }
    return lines;
}

}  // namespace orv::ui
