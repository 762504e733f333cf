#include "board.h"

#include <QMouseEvent>
#include <QPainter>

Board::Board(QWidget* parent)
    : QWidget(parent) {
    // The paint covers every pixel: no need for Qt to clear the area first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void Board::paintGradient(int red, int green, int right) {
    m_gradient = Gradient{red, green, right};
    m_scale = BoardScale(size());
    m_column = QImage(columnWidth, height(), QImage::Format_RGB32);
    m_paintedWidth = qBound(0, right + 1, width());

    QPainter painter(&m_column);
    int y = 0;
    for (int i = 0; i < bands; ++i) {
        // A band is outlined and filled in one colour, so it is one filled rectangle
        // from its top to its bottom edge inclusive; the next band covers the overlap.
        const int top = m_scale.yToPixels(y);
        const int bottom = m_scale.yToPixels(y + 2);
        painter.fillRect(QRect(0, top, columnWidth, bottom - top + 1),
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

QImage Board::image() const {
    QImage picture(size(), QImage::Format_RGB32);
    QPainter painter(&picture);
    paint(painter, picture.rect());
    return picture;
}

void Board::paint(QPainter& painter, const QRect& area) const {
    const QRect painted = area & QRect(0, 0, m_paintedWidth, m_column.height());
    // Laid side by side: plain copies, as quick as one board-wide image. Every column of it
    // is the same, so where a copy starts does not matter.
    for (int left = painted.left(); left <= painted.right(); left += columnWidth) {
        const int width = qMin(columnWidth, painted.right() + 1 - left);
        painter.drawImage(QPoint(left, painted.top()), m_column,
                          QRect(0, painted.top(), width, painted.height()));
    }
    for (const QRect& rest : QRegion(area).subtracted(painted))
        painter.fillRect(rest, Qt::black);
}

void Board::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    paint(painter, event->rect());
}

void Board::resizeEvent(QResizeEvent*) {
    // Keep what is painted; a grown area stays black until the next paint.
    if (!m_column.isNull() && m_column.height() != height()) {
        QImage resized(columnWidth, height(), QImage::Format_RGB32);
        resized.fill(Qt::black);
        QPainter(&resized).drawImage(0, 0, m_column);
        m_column = resized;
    }
    m_paintedWidth = qMin(m_paintedWidth, width());
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
