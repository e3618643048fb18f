#include "StackView.hpp"

#include <QVBoxLayout>

namespace orv::ui {

StackView::StackView(QWidget* parent) : QWidget(parent), layout_(new QVBoxLayout(this)) {
    layout_->setSpacing(0);
    layout_->setContentsMargins(0, 0, 0, 0);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void StackView::setEdgeInsets(int top, int left, int bottom, int right) {
    layout_->setContentsMargins(left, top, right, bottom);
}

void StackView::addArrangedSubview(QWidget* view) {
    const QList<QWidget*> views = arrangedSubviews();
    layout_->addWidget(view);
    if (!views.isEmpty()) placeSpacing(views.back());
}

QList<QWidget*> StackView::arrangedSubviews() const {
    QList<QWidget*> views;
    for (int i = 0; i < layout_->count(); ++i)
        if (QWidget* w = layout_->itemAt(i)->widget()) views.push_back(w);
    return views;
}

void StackView::removeAllArrangedSubviews() {
    while (QLayoutItem* item = layout_->takeAt(0)) {
        if (QWidget* view = item->widget()) {
            view->hide();
            view->setParent(nullptr);
            view->deleteLater();
        }
        delete item;
    }
    spacing_.clear();
}

void StackView::setCustomSpacing(qreal spacing, QWidget* after) {
    if (!after || layout_->indexOf(after) < 0) return;
    spacing_.insert(after, spacing);
    placeSpacing(after);
}

qreal StackView::customSpacing(const QWidget* after) const { return spacing_.value(after, 0.0); }

void StackView::placeSpacing(QWidget* view) {
    const int index = layout_->indexOf(view);
    QLayoutItem* next = layout_->itemAt(index + 1);
    if (!next) return;  // the last view: its gap waits for a view below it
    const int gap = qRound(customSpacing(view));
    if (QSpacerItem* spacer = next->spacerItem()) {
        spacer->changeSize(0, gap, QSizePolicy::Minimum, QSizePolicy::Fixed);
        layout_->invalidate();
    } else if (gap > 0) {
        layout_->insertSpacing(index + 1, gap);
    }
}

}  // namespace orv::ui
