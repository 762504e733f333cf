#pragma once

#include "boardscale.h"

#include <QImage>
#include <QWidget>

#include <optional>

class QPainter;

// The window's client area. It keeps its picture in a backing image, so the gradient
// survives being covered and stays behind the controls, and it reports a click where no
// enabled, visible control is. Every band is one colour from the left edge to the right, so
// the image is a narrow column of the bands, laid side by side across the board when painted,
// rather than 1.6 MiB that would only repeat it.
class Board : public QWidget {
    Q_OBJECT
public:
    static constexpr int bands = 256;

    explicit Board(QWidget* parent = nullptr);

    // 256 bands of 2 board units, band i in (20 * red, 20 * green, i), from x = 0 to `right`
    // (clipped to the board; black beyond it). Sets the board scale afresh from the current
    // client size.
    void paintGradient(int red, int green, int right);
    // The window is drawn at another scale: the board takes this fixed size and paints its
    // bands afresh across it, as they were.
    void setDrawingSize(QSize size);

    const BoardScale& scale() const { return m_scale; }
    // The picture at the board's size, as painted.
    QImage image() const;

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void paint(QPainter& painter, const QRect& area) const;

    static constexpr int columnWidth = 64;
    QImage m_column; // the bands, columnWidth pixels wide
    int m_paintedWidth = 0;
    BoardScale m_scale;
    struct Gradient {
        int red, green, right;
    };
    std::optional<Gradient> m_gradient;
    bool m_pressed = false;
};
