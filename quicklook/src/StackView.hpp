// A vertical list of views with "custom spacing after a view": each arranged
// view spans the stack's width less the left and right insets and takes the
// height it needs at that width; the gap below a view is the custom spacing
// set for it (0 when none), and the last view's spacing is never applied.
#pragma once

#include <QHash>
#include <QList>
#include <QWidget>

class QVBoxLayout;

namespace orv::ui {

class StackView : public QWidget {
    Q_OBJECT
public:
    explicit StackView(QWidget* parent = nullptr);

    // Insets between the stack's edges and its views (top, left, bottom, right).
    void setEdgeInsets(int top, int left, int bottom, int right);

    void addArrangedSubview(QWidget* view);
    QList<QWidget*> arrangedSubviews() const;
    // Takes every view (deleted later) and every gap out of the stack.
    void removeAllArrangedSubviews();

    // A later setting for the same view replaces the earlier one.
    void setCustomSpacing(qreal spacing, QWidget* after);
    qreal customSpacing(const QWidget* after) const;

private:
    // Puts the gap after `view` in the layout, once a view follows it.
    void placeSpacing(QWidget* view);

    QVBoxLayout* layout_;
    QHash<const QWidget*, qreal> spacing_;
};

}  // namespace orv::ui
