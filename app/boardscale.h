#pragma once

#include <QPoint>
#include <QSize>
#include <QtMath>

// The board's drawing scale: x in pixels of the design's 608-pixel-wide client area from its
// left edge, y in 512ths of the client height from its top edge. Targets move in this scale,
// whatever size the window is drawn at.
class BoardScale {
public:
    static constexpr int units = 512;
    static constexpr int designWidth = 608;

    BoardScale() = default;
    explicit BoardScale(QSize client)
        : m_client(client) {}

    int xToPixels(int x) const { return qRound(double(x) * m_client.width() / designWidth); }
    int yToPixels(int y) const { return qRound(double(y) * m_client.height() / units); }
    QPoint toPixels(int x, int y) const { return {xToPixels(x), yToPixels(y)}; }

private:
    QSize m_client;
};
