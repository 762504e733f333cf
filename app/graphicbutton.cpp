#include "graphicbutton.h"

#include <QEvent>
#include <QPainter>
#include <qdrawutil.h>

namespace {

constexpr int bevel = 2;

} // namespace

GraphicButton::GraphicButton(QWidget* parent)
    : QPushButton(parent)
    , m_backColor(palette().color(QPalette::Button)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void GraphicButton::setBackColor(const QColor& color) {
    if (color == m_backColor)
        return;
    m_backColor = color;
    repaint();
}

void GraphicButton::setPictures(const QIcon& normal, const QIcon& down, const QIcon& disabled) {
    m_normal = normal;
    m_down = down;
    m_disabled = disabled;
    update();
}

void GraphicButton::setPictureSize(int side) {
    m_pictureSize = side;
    update();
}

void GraphicButton::changeEvent(QEvent* event) {
    // A disabled button takes no mouse input: its clicks belong to the board beneath.
    if (event->type() == QEvent::EnabledChange)
        setAttribute(Qt::WA_TransparentForMouseEvents, !isEnabled());
    QPushButton::changeEvent(event);
}

QIcon GraphicButton::currentPicture() const {
    if (!isEnabled() && !m_disabled.isNull())
        return m_disabled;
    if (isDown() && !m_down.isNull())
        return m_down;
    return m_normal;
}

void GraphicButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect all = rect();
    painter.fillRect(all, m_backColor);

    // A Windows-style 3D edge: raised at rest, sunken while pressed.
    const bool sunken = isDown();
    qDrawWinButton(&painter, all, palette(), sunken, nullptr);

    QRect inside = all.adjusted(bevel, bevel, -bevel, -bevel);
    if (sunken)
        inside.translate(1, 1);

    const QIcon picture = currentPicture();
    const QFontMetrics metrics(font());
    const int textHeight = text().isEmpty() ? 0 : metrics.height();
    const int pictureHeight = picture.isNull() ? 0 : m_pictureSize;
    const int contentTop = inside.top() + (inside.height() - pictureHeight - textHeight) / 2;

    if (pictureHeight > 0) {
        const QRect place(inside.left() + (inside.width() - m_pictureSize) / 2, contentTop,
                          m_pictureSize, m_pictureSize);
        picture.paint(&painter, place, Qt::AlignCenter, QIcon::Normal);
    }

    const QRect textRect(inside.left(), contentTop + pictureHeight, inside.width(), textHeight);
    const int flags =
        Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    if (isEnabled()) {
        painter.setPen(palette().color(QPalette::Active, QPalette::ButtonText));
        painter.drawText(textRect, flags, text());
    } else {
        // Greyed and embossed, as the platform draws a disabled caption.
        painter.setPen(Qt::white);
        painter.drawText(textRect.translated(1, 1), flags, text());
        painter.setPen(QColor(128, 128, 128));
        painter.drawText(textRect, flags, text());
    }

    if (hasFocus()) {
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(inside.adjusted(2, 2, -3, -3));
    }
}
