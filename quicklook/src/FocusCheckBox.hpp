// The "Show focus point" checkbox, drawn in the panel's colours with the
// accent as its tint, and the choice it stands for, kept across previews.
#pragma once

#include <QCheckBox>
#include <QString>

namespace orv::ui {

class FocusCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit FocusCheckBox(const QString& title, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
};

// The stored focus-box choice: a stored boolean, otherwise true.
bool storedShowFocusPoint();
void storeShowFocusPoint(bool on);

}  // namespace orv::ui
