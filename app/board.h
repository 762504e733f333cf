#pragma once

#include "boardscale.h"

#include <QImage>
#include <QWidget>

#include <optional>

// The window's client area. It keeps its picture in a backing image, so the gradient
// survives being covered and stays behind the controls, and it reports a click where no
// enabled, visible control is.
class Board : public QWidget {
    Q_OBJECT
public:
    static constexpr int bands = 256;

    explicit Board(QWidget* parent = nullptr);

    // 256 bands of 2 board units, band i in (20 * red, 20 * green, i), from x = 0 to `right`
    // (clipped to the board). Sets the board scale afresh from the current client size.
    void paintGradient(int red, int green, int right);
    // The window is drawn at another scale: the board takes this fixed size and paints its
    // bands afresh across it, as they were.
    void setDrawingSize(QSize size);

    // Makes the backing image at the board's size, black, ahead of the first paint: touching
    // 1.6 MiB of fresh memory is most of that paint's time.
    void prepareImage();

    const BoardScale& scale() const { return m_scale; }
    const QImage& image() const { return m_image; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QImage m_image;
    BoardScale m_scale;
    struct Gradient {
        int red, green, right;
    };
    std::optional<Gradient> m_gradient;
    bool m_pressed = false;
};
