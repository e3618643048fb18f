// A vertical list of views with "custom spacing after a view": each arranged
// view spans the stack's width less the left and right insets and takes the
// height it needs at that width; the gap below a view is the custom spacing
// set for it (0 when none), and the last view's spacing is never applied.
#pragma once

#include <QHash>
#include <QLayout>
#include <QList>
#include <QMargins>
#include <QWidget>

namespace orv::ui {

class StackLayout : public QLayout {
public:
    explicit StackLayout(QWidget* parent = nullptr);
    ~StackLayout() override;

    // A later setting for the same view replaces the earlier one.
    void setCustomSpacing(qreal spacing, QWidget* after);
    qreal customSpacing(const QWidget* after) const;

    void addItem(QLayoutItem* item) override;
    int count() const override;
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    Qt::Orientations expandingDirections() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    void setGeometry(const QRect& rect) override;
    void invalidate() override;

private:
    // Height of item at the given content width.
    static int itemHeight(QLayoutItem* item, int width);
    int contentHeight(int width) const;  // insets included
    template <typename Place>
    qreal arrange(int width, Place place) const;

    QList<QLayoutItem*> items_;
    QHash<const QWidget*, qreal> spacing_;
    mutable int cachedWidth_ = -1;
    mutable int cachedHeight_ = 0;
};

class StackView : public QWidget {
    Q_OBJECT
public:
    explicit StackView(QWidget* parent = nullptr);

    // Insets between the stack's edges and its views (top, left, bottom, right).
    void setEdgeInsets(int top, int left, int bottom, int right);

    void addArrangedSubview(QWidget* view);
    QList<QWidget*> arrangedSubviews() const;

    void setCustomSpacing(qreal spacing, QWidget* after);
    qreal customSpacing(const QWidget* after) const;

private:
    StackLayout* layout_;
};

}  // namespace orv::ui
