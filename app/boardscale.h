#pragma once

#include <QPoint>
#include <QSize>
#include <QtMath>

// The board's drawing scale: x in pixels from the left edge of the client area, y in
// 512ths of the client height from its top edge. Targets move in this scale.
class BoardScale {
public:
    static constexpr int units = 512;

    BoardScale() = default;
    explicit BoardScale(QSize client)
        : m_client(client) {}

    int xToPixels(int x) const { return x; }
    int yToPixels(int y) const { return qRound(double(y) * m_client.height() / units); }
    QPoint toPixels(int x, int y) const { return {xToPixels(x), yToPixels(y)}; }

private:
    QSize m_client;
};
