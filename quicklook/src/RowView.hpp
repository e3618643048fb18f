// One label-value row of the panel: the key at the left on the value's first
// baseline, the value wrapping within at most 190 points against the right
// edge, 6 points above and below the value.
#pragma once

#include <QLabel>
#include <QString>
#include <QWidget>

namespace orv::ui {

class TextLabel;

class RowView : public QWidget {
    Q_OBJECT
public:
    static constexpr int kPadding = 6;
    static constexpr int kGap = 12;
    static constexpr int kValueMaxWidth = 190;
    static constexpr int kWidth = 300;  // the panel's column, for the size hint

    // The label on one line; an absent value is shown in the labels' shade.
    RowView(const QString& label, const QString& value, bool absent, bool mono, QWidget* parent = nullptr);

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
};

}  // namespace orv::ui
