#include "TextLabel.hpp"

#include <cmath>

#include <QAbstractTextDocumentLayout>
#include <QPalette>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QWheelEvent>

namespace orv::ui {

namespace {

QTextOption textOption(const TextLabel::Style& style) {
    QTextOption option;
    option.setWrapMode(style.wrap);
    option.setAlignment(style.alignment);
    return option;
}

// Selected text in the panel: a translucent accent under the primary text.
constexpr QColor kSelection(240, 180, 99, 90);

}  // namespace

TextLabel::TextLabel(const QString& text, const Style& style, QWidget* parent)
    : QTextEdit(parent), text_(text), style_(style) {
    setFrameShape(QFrame::NoFrame);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QTextEdit::WidgetWidth);
    setReadOnly(true);
    setUndoRedoEnabled(false);
    setAcceptRichText(false);
    setTabChangesFocus(true);
    setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    setFont(style.font);
    document()->setDefaultFont(style.font);
    document()->setDocumentMargin(0);
    document()->setDefaultTextOption(textOption(style));
    setPlainText(text);

    QPalette p = palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        p.setColor(group, QPalette::Base, Qt::transparent);
        p.setColor(group, QPalette::Text, style.color);
        p.setColor(group, QPalette::Highlight, kSelection);
        p.setColor(group, QPalette::HighlightedText, style.color);
    }
    setPalette(p);
    viewport()->setAutoFillBackground(false);
    setAutoFillBackground(false);

    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void TextLabel::setPreferredMaxLayoutWidth(int width) {
    preferredMax_ = std::max(1, width);
    fitting_ = -1;
    updateGeometry();
}

TextLabel::Metrics TextLabel::metricsForWidth(int width) const {
    width = std::max(1, width);
    if (width == cachedWidth_) return cached_;
    // Lay out a twin of the shown document, so measuring never disturbs it.
    QTextDocument doc;
    doc.setDefaultFont(style_.font);
    doc.setDocumentMargin(0);
    doc.setDefaultTextOption(textOption(style_));
    doc.setPlainText(text_);
    doc.setTextWidth(width);
    Metrics m;
    m.height = static_cast<int>(std::ceil(doc.size().height()));
    m.idealWidth = doc.idealWidth();
    const QTextBlock first = doc.firstBlock();
    if (const QTextLayout* layout = first.layout(); layout && layout->lineCount() > 0) {
        const QTextLine line = layout->lineAt(0);
        m.firstBaseline = doc.documentLayout()->blockBoundingRect(first).top() + line.y() + line.ascent();
    } else {
        m.firstBaseline = QFontMetricsF(style_.font).ascent();
    }
    cachedWidth_ = width;
    cached_ = m;
    return m;
}

int TextLabel::fittingWidth() const {
    if (fitting_ >= 0) return fitting_;
    // Two points of slack keep the last glyph of the widest line from
    // wrapping at a width rounded up from a fraction.
    const Metrics m = metricsForWidth(preferredMax_);
    fitting_ = std::min(preferredMax_, static_cast<int>(std::ceil(m.idealWidth)) + 2);
    return fitting_;
}

int TextLabel::heightForWidth(int width) const { return metricsForWidth(width).height; }

QSize TextLabel::sizeHint() const {
    const int width = fittingWidth();
    return QSize(width, heightForWidth(width));
}

QSize TextLabel::minimumSizeHint() const { return QSize(0, 0); }

void TextLabel::wheelEvent(QWheelEvent* event) { event->ignore(); }

}  // namespace orv::ui
