#include "board.h"

#include <QMouseEvent>
#include <QPainter>

Board::Board(QWidget* parent)
    : QWidget(parent) {
    // The backing image paints every pixel: no need for Qt to clear the area first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Board::paintGradient(int red, int green, int right) {
    m_gradient = Gradient{red, green, right};
    m_scale = BoardScale(size());
    prepareImage();

    QPainter painter(&m_image);
    const int width = qMin(right, m_image.width());
    int y = 0;
    for (int i = 0; i < bands; ++i) {
        // A band is outlined and filled in one colour, so it is one filled rectangle
        // from its top to its bottom edge inclusive; the next band covers the overlap.
        const int top = m_scale.yToPixels(y);
        const int bottom = m_scale.yToPixels(y + 2);
        painter.fillRect(QRect(0, top, width + 1, bottom - top + 1),
                         QColor(20 * red, 20 * green, i));
        y += 2;
    }
    update();
}

void Board::setDrawingSize(QSize size) {
    setFixedSize(size);
    if (m_gradient)
        paintGradient(m_gradient->red, m_gradient->green, m_gradient->right);
}

void Board::prepareImage() {
    if (m_image.size() == size())
        return;
    m_image = QImage(size(), QImage::Format_RGB32);
    m_image.fill(Qt::black);
}

void Board::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (m_image.isNull())
        painter.fillRect(event->rect(), Qt::black);
    else
        painter.drawImage(event->rect(), m_image, event->rect());
}

void Board::resizeEvent(QResizeEvent*) {
    // Keep what is painted; a grown area stays black until the next paint.
    if (!m_image.isNull() && m_image.size() != size()) {
        QImage grown(size(), QImage::Format_RGB32);
        grown.fill(Qt::black);
        QPainter(&grown).drawImage(0, 0, m_image);
        m_image = grown;
    }
}

void Board::mousePressEvent(QMouseEvent* event) {
    m_pressed = event->button() == Qt::LeftButton;
}

void Board::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = m_pressed && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    m_pressed = false;
    if (click)
        emit clicked();
}

void Board::mouseDoubleClickEvent(QMouseEvent*) {
    // The second press of a double-click is no press of its own (Qt's default would make it
    // one): a double-click is one click on the board, and so is one that ends on the board
    // after its first click hid a target.
}
