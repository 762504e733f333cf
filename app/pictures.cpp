#include "pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPixmap>
#include <QTransform>

#include <future>
#include <mutex>
#include <utility>

namespace pictures {

namespace {

// The few plain colours the 16-colour pictures use, all from the classic 16-colour set.
constexpr QRgb black = 0xff000000;
constexpr QRgb white = 0xffffffff;
constexpr QRgb yellow = 0xffffff00;
constexpr QRgb red = 0xffff0000;
constexpr QRgb maroon = 0xff800000;

QImage blankImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// Paints one plain colour on every pixel the shape covers at least half: the outline
// stays round and symmetric without the blended edge colours a small palette cannot hold.
void stamp(QImage& image, const QPainterPath& shape, QRgb colour) {
    QImage cover(image.size(), QImage::Format_Alpha8);
    cover.fill(0);
    QPainter painter(&cover);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillPath(shape, Qt::black);
    painter.end();
    for (int y = 0; y < image.height(); ++y) {
        const uchar* coverage = cover.constScanLine(y);
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (coverage[x] >= 128)
                line[x] = colour;
        }
    }
}

QPainterPath stroked(const QPainterPath& path, qreal width, Qt::PenCapStyle cap = Qt::RoundCap) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path);
}

QPainterPath disc(QPointF centre, qreal radius) {
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

QPainterPath rect(qreal x, qreal y, qreal width, qreal height) {
    QPainterPath path;
    path.addRect(x, y, width, height);
    return path;
}

// Surrounds the drawing with a one-pixel white rim so a pointer stays visible on dark
// colours as well as on light ones.
QImage withHalo(const QImage& image) {
    QImage result = image.copy();
    const auto opaque = [&image](int x, int y) {
        return x >= 0 && y >= 0 && x < image.width() && y < image.height() &&
               qAlpha(image.pixel(x, y)) != 0;
    };
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (opaque(x, y))
                continue;
            bool nextToDrawing = false;
            for (int dy = -1; dy <= 1 && !nextToDrawing; ++dy) {
                for (int dx = -1; dx <= 1 && !nextToDrawing; ++dx)
                    nextToDrawing = opaque(x + dx, y + dy);
            }
            if (nextToDrawing)
                result.setPixel(x, y, white);
        }
    }
    return result;
}

// The digits are drawn as strokes in a unit box, so the icon needs no font.
QPainterPath digitTwo() {
    QPainterPath path;
    path.arcMoveTo(QRectF(0, 0, 1, 0.56), 165);
    path.arcTo(QRectF(0, 0, 1, 0.56), 165, -210);
    path.lineTo(0, 1);
    path.lineTo(1, 1);
    return path;
}

QPainterPath digitFive() {
    QPainterPath path;
    path.moveTo(0.95, 0);
    path.lineTo(0.12, 0);
    path.lineTo(0.06, 0.46);
    const QRectF bowl(0, 0.36, 1, 0.64);
    path.arcTo(bowl, 140, -270);
    return path;
}

QPainterPath placed(const QPainterPath& glyph, const QRectF& box) {
    QTransform transform;
    transform.translate(box.x(), box.y());
    transform.scale(box.width(), box.height());
    return transform.map(glyph);
}

QPixmap pixmap(const QImage& image) {
    return QPixmap::fromImage(image);
}

enum class Mood { Smiling, Neutral, Laughing };

QImage faceImage(Mood mood) {
    QImage image = blankImage(32);
    stamp(image, disc(QPointF(16, 16), 15.5), black);
    stamp(image, disc(QPointF(16, 16), 14), yellow);

    if (mood == Mood::Laughing) {
        // Eyes squeezed shut into happy arches.
        for (const qreal x : {11.0, 21.0}) {
            QPainterPath arch;
            const QRectF box(x - 3, 10, 6, 6);
            arch.arcMoveTo(box, 180);
            arch.arcTo(box, 180, -180);
            stamp(image, stroked(arch, 2), black);
        }
        // A wide-open mouth: a red half-moon with a black rim, teeth and a tongue.
        const auto halfMoon = [](const QRectF& box) {
            QPainterPath path;
            path.arcMoveTo(box, 0);
            path.arcTo(box, 0, -180);
            path.closeSubpath();
            return path;
        };
        stamp(image, halfMoon(QRectF(7, 11, 18, 16)), black);
        const QPainterPath inside = halfMoon(QRectF(8.5, 12.5, 15, 13)).translated(0, 0.75);
        stamp(image, inside, red);
        stamp(image, rect(10, 19.5, 12, 1.5).intersected(inside), white);
        stamp(image, disc(QPointF(16, 27.5), 4.5).intersected(inside), maroon);
        return image;
    }

    // Open eyes: upright ovals, each with a small white glint.
    for (const qreal x : {11.5, 20.5}) {
        QPainterPath eye;
        eye.addEllipse(QRectF(x - 2, 8.5, 4, 7));
        stamp(image, eye, black);
        stamp(image, rect(x - 1, 10, 1, 1), white);
    }
    QPainterPath mouth;
    if (mood == Mood::Smiling) {
        const QRectF box(7, 7, 18, 18);
        mouth.arcMoveTo(box, 205);
        mouth.arcTo(box, 205, 130);
        stamp(image, stroked(mouth, 2), black);
    } else {
        mouth.moveTo(10.5, 22);
        mouth.lineTo(21.5, 22);
        stamp(image, stroked(mouth, 2, Qt::FlatCap), black);
    }
    return image;
}

// The 16-pixel faces are placed pixel by pixel: at that size a scaled drawing loses its
// eyes and mouth to rounding.
QImage smallFaceImage(Mood mood) {
    QImage image = blankImage(16);
    stamp(image, disc(QPointF(8, 8), 7.5), black);
    stamp(image, disc(QPointF(8, 8), 6.5), yellow);
    const auto dot = [&image](int x, int y, QRgb colour, int width = 1) {
        stamp(image, rect(x, y, width, 1), colour);
    };
    switch (mood) {
    case Mood::Smiling:
    case Mood::Neutral:
        for (const int x : {5, 10}) {
            dot(x, 5, black);
            dot(x, 6, black);
        }
        if (mood == Mood::Smiling) {
            for (const int x : {4, 11})
                dot(x, 9, black);
            for (const int x : {5, 10})
                dot(x, 10, black);
            dot(6, 11, black, 4);
        } else {
            dot(5, 10, black, 6);
        }
        break;
    case Mood::Laughing:
        for (const int x : {5, 10}) {
            dot(x - 1, 6, black);
            dot(x, 5, black);
            dot(x + 1, 6, black);
        }
        dot(4, 8, black, 8);
        dot(4, 9, black);
        dot(5, 9, red, 6);
        dot(11, 9, black);
        dot(5, 10, black);
        dot(6, 10, red, 4);
        dot(7, 10, maroon, 2);
        dot(10, 10, black);
        dot(6, 11, black, 4);
        break;
    }
    return image;
}

QImage noEntryImage(int size) {
    const bool small = size < 24;
    const QPointF centre(size / 2.0, size / 2.0);
    QImage image = blankImage(size);
    // A dark rim then a white ring, as on the road, keep the red disc distinct from the
    // button's colour; the small sign has room for the dark rim only.
    stamp(image, disc(centre, size / 2.0 - 0.5), black);
    if (!small)
        stamp(image, disc(centre, size / 2.0 - 1.5), white);
    stamp(image, disc(centre, size / 2.0 - (small ? 1.5 : 2.5)), red);
    if (small)
        stamp(image, rect(3, 6, 10, 4), white);
    else
        stamp(image, rect(7, 13, 18, 6), white);
    return image;
}

QIcon iconOf(const QImage& big, const QImage& little) {
    QIcon icon;
    icon.addPixmap(pixmap(big));
    icon.addPixmap(pixmap(little));
    return icon;
}

QImage gunSightImage() {
    // Laid out around pixel 16, the hot spot, so every arm is the same length.
    constexpr int c = 16;
    QImage image = blankImage(32);
    for (const int sign : {-1, 1}) {
        const int near = sign < 0 ? c - 13 : c + 4;
        stamp(image, rect(near, c, 10, 1), black);
        stamp(image, rect(c, near, 1, 10), black);
        for (const auto& [distance, half] : {std::pair{7, 2}, std::pair{11, 3}}) {
            const int at = c + sign * distance;
            stamp(image, rect(at, c - half, 1, 2 * half + 1), black);
            stamp(image, rect(c - half, at, 2 * half + 1, 1), black);
        }
    }
    stamp(image, disc(QPointF(c + 0.5, c + 0.5), 2.5), red);
    return withHalo(image);
}

QImage fourArrowsImage() {
    constexpr int c = 10;
    const QPointF middle(c + 0.5, c + 0.5);
    constexpr QRgb blue = 0xff0040e0;
    QImage image = blankImage(32);

    // One arrow pointing up, turned a quarter at a time about the hot spot's pixel.
    QPainterPath arrow;
    arrow.moveTo(middle + QPointF(0, -9.5));
    arrow.lineTo(middle + QPointF(3.5, -5.5));
    arrow.lineTo(middle + QPointF(-3.5, -5.5));
    arrow.closeSubpath();
    arrow.addRect(QRectF(middle + QPointF(-0.5, -5.5), QSizeF(1, 2)));
    for (int quarter = 0; quarter < 4; ++quarter) {
        QTransform turn;
        turn.translate(middle.x(), middle.y());
        turn.rotate(90 * quarter);
        turn.translate(-middle.x(), -middle.y());
        stamp(image, turn.map(arrow), blue);
    }
    QPainterPath diamond;
    diamond.moveTo(middle + QPointF(0, -3));
    diamond.lineTo(middle + QPointF(3, 0));
    diamond.lineTo(middle + QPointF(0, 3));
    diamond.lineTo(middle + QPointF(-3, 0));
    diamond.closeSubpath();
    stamp(image, diamond, blue);
    return withHalo(image);
}

constexpr int gunSightHotSpot = 16;
constexpr int fourArrowsHotSpot = 10;

} // namespace

QImage iconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 32.0, size / 32.0);

    painter.fillRect(QRectF(0, 0, 32, 32), QColor(0, 84, 84));
    QLinearGradient sky(0, 2, 0, 30);
    sky.setColorAt(0, QColor(10, 20, 110));
    sky.setColorAt(1, QColor(214, 184, 255));
    painter.fillRect(QRectF(2, 2, 28, 28), sky);

    // Small icons get narrower, taller digits with thinner strokes so the two stay apart.
    const bool small = size < 24;
    const QRectF twoBox = small ? QRectF(5, 6, 7, 19) : QRectF(4.5, 8, 9, 16);
    const QRectF fiveBox = small ? QRectF(20, 6, 7, 19) : QRectF(18.5, 8, 9, 16);
    const QPainterPath digits = placed(digitTwo(), twoBox) + placed(digitFive(), fiveBox);
    const auto strokeDigits = [&](const QColor& colour, qreal width) {
        painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(digits);
    };
    // A dark edge keeps the cyan readable where the background turns pale.
    strokeDigits(QColor(0, 20, 70), small ? 6.4 : 5.6);
    strokeDigits(QColor(0, 255, 255), small ? 3.6 : 3.6);
    painter.end();
    return image;
}

namespace {

// Every picture of the window, drawn once. Drawing touches only QImages, so it may run on
// another thread while the window is being built.
struct Drawn {
    QImage icons[3];
    QImage gunSight;
    QImage fourArrows;
    QImage faces[3][2]; // smiling, neutral, laughing; 32 and 16 pixels
    QImage noEntry[2];
};

Drawn drawAll() {
    Drawn d;
    const int iconSizes[] = {16, 32, 48};
    for (int i = 0; i < 3; ++i)
        d.icons[i] = iconImage(iconSizes[i]);
    d.gunSight = gunSightImage();
    d.fourArrows = fourArrowsImage();
    const Mood moods[] = {Mood::Smiling, Mood::Neutral, Mood::Laughing};
    for (int i = 0; i < 3; ++i) {
        d.faces[i][0] = faceImage(moods[i]);
        d.faces[i][1] = smallFaceImage(moods[i]);
    }
    d.noEntry[0] = noEntryImage(32);
    d.noEntry[1] = noEntryImage(16);
    return d;
}

std::once_flag drawingStarted;
std::shared_future<Drawn> drawing;

const Drawn& drawn() {
    std::call_once(drawingStarted,
                   [] { drawing = std::async(std::launch::deferred, drawAll).share(); });
    return drawing.get();
}

} // namespace

void drawInBackground() {
    std::call_once(drawingStarted,
                   [] { drawing = std::async(std::launch::async, drawAll).share(); });
}

QIcon windowIcon() {
    QIcon icon;
    for (const QImage& image : drawn().icons)
        icon.addPixmap(pixmap(image));
    return icon;
}

QCursor gunSightCursor() {
    return QCursor(pixmap(drawn().gunSight), gunSightHotSpot, gunSightHotSpot);
}

QCursor fourArrowsCursor() {
    return QCursor(pixmap(drawn().fourArrows), fourArrowsHotSpot, fourArrowsHotSpot);
}

QIcon smilingFace() {
    return iconOf(drawn().faces[0][0], drawn().faces[0][1]);
}

QIcon neutralFace() {
    return iconOf(drawn().faces[1][0], drawn().faces[1][1]);
}

QIcon laughingFace() {
    const QImage& big = drawn().faces[2][0];
    const QImage& little = drawn().faces[2][1];
    QIcon icon = iconOf(big, little);
    // Shown on a disabled button: without its own disabled pixmaps Qt would grey it out.
    icon.addPixmap(pixmap(big), QIcon::Disabled);
    icon.addPixmap(pixmap(little), QIcon::Disabled);
    return icon;
}

QIcon noEntrySign() {
    return iconOf(drawn().noEntry[0], drawn().noEntry[1]);
}

} // namespace pictures
