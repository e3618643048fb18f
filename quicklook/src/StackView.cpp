#include "StackView.hpp"

#include <cmath>

namespace orv::ui {

StackLayout::StackLayout(QWidget* parent) : QLayout(parent) {
    setSpacing(0);
    setSizeConstraint(QLayout::SetNoConstraint);
}

StackLayout::~StackLayout() {
    while (QLayoutItem* item = takeAt(0)) delete item;
}

void StackLayout::setCustomSpacing(qreal spacing, QWidget* after) {
    if (!after) return;
    spacing_.insert(after, spacing);
    invalidate();
}

qreal StackLayout::customSpacing(const QWidget* after) const { return spacing_.value(after, 0.0); }

void StackLayout::addItem(QLayoutItem* item) {
    items_.push_back(item);
    invalidate();
}

int StackLayout::count() const { return static_cast<int>(items_.size()); }

QLayoutItem* StackLayout::itemAt(int index) const {
    return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* StackLayout::takeAt(int index) {
    if (index < 0 || index >= items_.size()) return nullptr;
    QLayoutItem* item = items_.takeAt(index);
    // A view that leaves the stack takes its spacing with it.
    if (item->widget()) spacing_.remove(item->widget());
    invalidate();
    return item;
}

Qt::Orientations StackLayout::expandingDirections() const { return {}; }

bool StackLayout::hasHeightForWidth() const { return true; }

int StackLayout::itemHeight(QLayoutItem* item, int width) {
    const int h = item->hasHeightForWidth() ? item->heightForWidth(width) : item->sizeHint().height();
    return std::max(0, h);
}

// Walks the visible items top to bottom at `width`, handing each its place;
// returns where the last one ends (the bottom inset not included).
template <typename Place>
qreal StackLayout::arrange(int width, Place place) const {
    const QMargins m = contentsMargins();
    const int inner = std::max(0, width - m.left() - m.right());
    qreal y = m.top();
    const QLayoutItem* previous = nullptr;
    for (QLayoutItem* item : items_) {
        if (item->isEmpty()) continue;  // hidden views take no room
        if (previous && previous->widget()) y += customSpacing(previous->widget());
        const int h = itemHeight(item, inner);
        place(item, QRect(m.left(), static_cast<int>(std::lround(y)), inner, h));
        y += h;
        previous = item;
    }
    return y;
}

int StackLayout::contentHeight(int width) const {
    if (width == cachedWidth_) return cachedHeight_;
    const qreal y = arrange(width, [](QLayoutItem*, const QRect&) {});
    cachedWidth_ = width;
    cachedHeight_ = static_cast<int>(std::ceil(y)) + contentsMargins().bottom();
    return cachedHeight_;
}

int StackLayout::heightForWidth(int width) const { return contentHeight(width); }

QSize StackLayout::sizeHint() const {
    const QMargins m = contentsMargins();
    int width = 0;
    for (QLayoutItem* item : items_)
        if (!item->isEmpty()) width = std::max(width, item->sizeHint().width());
    width += m.left() + m.right();
    return QSize(width, contentHeight(width));
}

QSize StackLayout::minimumSize() const {
    const QMargins m = contentsMargins();
    return QSize(m.left() + m.right(), m.top() + m.bottom());
}

void StackLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect.width(),
            [&](QLayoutItem* item, const QRect& place) { item->setGeometry(place.translated(rect.topLeft())); });
}

void StackLayout::invalidate() {
    cachedWidth_ = -1;
    QLayout::invalidate();
}

StackView::StackView(QWidget* parent) : QWidget(parent), layout_(new StackLayout(this)) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    layout_->setContentsMargins(0, 0, 0, 0);
}

void StackView::setEdgeInsets(int top, int left, int bottom, int right) {
    layout_->setContentsMargins(left, top, right, bottom);
}

void StackView::addArrangedSubview(QWidget* view) { layout_->addWidget(view); }

QList<QWidget*> StackView::arrangedSubviews() const {
    QList<QWidget*> views;
    for (int i = 0; i < layout_->count(); ++i)
        if (QWidget* w = layout_->itemAt(i)->widget()) views.push_back(w);
    return views;
}

void StackView::setCustomSpacing(qreal spacing, QWidget* after) { layout_->setCustomSpacing(spacing, after); }

qreal StackView::customSpacing(const QWidget* after) const { return layout_->customSpacing(after); }

}  // namespace orv::ui
