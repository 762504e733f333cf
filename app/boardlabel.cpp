#include "boardlabel.h"

#include <QMouseEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace {

constexpr int textFlags = Qt::TextSingleLine;

} // namespace

BoardLabel::BoardLabel(QWidget* parent)
    : QWidget(parent) {}

void BoardLabel::setText(const QString& text) {
    m_text = text;
    if (m_autoSize) {
        const int frame = m_framed ? 2 * frameWidth : 0;
        const QSize textSize = fontMetrics().size(textFlags, m_text);
        resize(textSize.width() + frame, fontMetrics().height() + frame);
    }
    update();
}

void BoardLabel::setTextColor(const QColor& color) {
    m_textColor = color;
    update();
}

void BoardLabel::setBackground(const QColor& color) {
    m_background = color;
    update();
}

void BoardLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_background.isValid())
        painter.fillRect(rect(), m_background);
    QRect inside = rect();
    if (m_framed) {
        qDrawWinPanel(&painter, rect(), palette(), true, nullptr);
        inside.adjust(frameWidth, frameWidth, -frameWidth, -frameWidth);
    }
    const int align = (m_centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop;
    if (isEnabled()) {
        painter.setPen(m_textColor);
        painter.drawText(inside, align | textFlags, m_text);
    } else {
        painter.setPen(Qt::white);
        painter.drawText(inside.translated(1, 1), align | textFlags, m_text);
        painter.setPen(QColor(128, 128, 128));
        painter.drawText(inside, align | textFlags, m_text);
    }
}

void BoardLabel::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void BoardLabel::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
}

void BoardLabel::mouseDoubleClickEvent(QMouseEvent* event) {
    event->accept();
}
