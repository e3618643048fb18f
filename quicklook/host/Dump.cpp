#include "Dump.hpp"

#include <cmath>

#include <nlohmann/json.hpp>

#include "PhotoView.hpp"
#include "PreviewViewController.hpp"

namespace orv::ui {

namespace {

using json = nlohmann::ordered_json;

json points(qreal value) {
    if (value == std::trunc(value) && std::abs(value) < 1e15) return static_cast<long long>(value);
    return value;
}

// By PanelElement::Kind.
constexpr const char* kKindNames[] = {"title", "subtitle", "section", "row", "checkbox", "note", "footer"};

json elementLine(const PanelElement& element) {
    json line;
    line["kind"] = kKindNames[static_cast<int>(element.kind)];
    if (element.kind == PanelElement::Kind::Row) {
        line["label"] = element.text.toStdString();
        line["value"] = element.value.toStdString();
        line["mono"] = element.mono;
    } else {
        line["text"] = element.text.toStdString();
        if (element.kind == PanelElement::Kind::Checkbox) line["on"] = element.on;
    }
    line["gapAfter"] = points(element.gapAfter);
    return line;
}

// One JSON Lines line; text that is not UTF-8 is replaced, never fatal.
std::string lineOf(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

json rectOf(const QRect& r) { return json::array({r.x(), r.y(), r.width(), r.height()}); }

json zoomOf(const PhotoView& photo) {
    if (!photo.isZoomed()) return nullptr;
    json z;
    const auto& centre = photo.zoomCentre();
    z["centre"] = centre ? json::array({centre->x(), centre->y()}) : json(nullptr);
    const auto& region = photo.zoomRegion();
    z["full"] = region ? json::array({region->full.width(), region->full.height()}) : json(nullptr);
    z["region"] = region ? rectOf(region->rect) : json(nullptr);
    const auto shown = photo.zoomShown();
    z["shown"] = shown ? rectOf(*shown) : json(nullptr);
    z["embedded"] = region && region->embedded;
    z["note"] = photo.zoomNote().toStdString();
    return z;
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
    p["zoom"] = zoomOf(photo);
    return json{{"photo", p}};
}

}  // namespace

std::vector<std::string> dumpLines(const PreviewViewController& controller) {
    std::vector<std::string> lines;
    lines.push_back(lineOf(photoLine(controller.photo())));
    for (const PanelElement& element : controller.panel()) lines.push_back(lineOf(elementLine(element)));
    return lines;
}

void printDump(const PreviewViewController& controller, std::FILE* out) {
    for (const std::string& line : dumpLines(controller)) std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
}

}  // namespace orv::ui
