#include "pictures.h"

#include <QPixmap>
#include <QTest>

namespace {

// The classic 16 colours the button pictures are limited to.
const QList<QRgb> sixteenColours{
    0xff000000, 0xff800000, 0xff008000, 0xff808000, 0xff000080, 0xff800080, 0xff008080, 0xffc0c0c0,
    0xff808080, 0xffff0000, 0xff00ff00, 0xffffff00, 0xff0000ff, 0xffff00ff, 0xff00ffff, 0xffffffff,
};

QImage argb(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

// True when `ok(x, y, colour)` holds for every pixel.
template <typename Check> bool everyPixel(const QImage& image, Check ok) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!ok(x, y, image.pixel(x, y)))
                return false;
        }
    }
    return true;
}

template <typename Wanted> int count(const QImage& image, Wanted wanted) {
    int n = 0;
    everyPixel(image, [&](int, int, QRgb c) { return n += wanted(c) ? 1 : 0, true; });
    return n;
}

bool isRed(QRgb c) {
    return qAlpha(c) == 255 && qRed(c) > 200 && qGreen(c) < 60 && qBlue(c) < 60;
}

QColor average(const QImage& image, const QRect& area) {
    return image.copy(area)
        .scaled(1, 1, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .pixelColor(0, 0);
}

// A pointer's drawing must be fully ringed by its halo: no drawn pixel may touch
// transparency, or it vanishes on a dark board.
bool ringedByHalo(const QImage& image) {
    const auto clear = [&](int x, int y) {
        return !image.rect().contains(x, y) || qAlpha(image.pixel(x, y)) == 0;
    };
    return everyPixel(image, [&](int x, int y, QRgb c) {
        if (qAlpha(c) == 0 || c == 0xffffffff)
            return true;
        for (const int dy : {-1, 0, 1}) {
            for (const int dx : {-1, 0, 1}) {
                if (clear(x + dx, y + dy))
                    return false;
            }
        }
        return true;
    });
}

// True when the drawing is its own mirror image about column and row `centre`.
bool symmetricAbout(const QImage& image, int centre) {
    return everyPixel(image, [&](int x, int y, QRgb c) {
        const int mx = 2 * centre - x, my = 2 * centre - y;
        if (!image.rect().contains(mx, my))
            return qAlpha(c) == 0;
        return c == image.pixel(mx, y) && c == image.pixel(x, my);
    });
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT

private slots:
    void iconColours_data() {
        QTest::addColumn<int>("size");
        for (const int size : {16, 32, 48, 256})
            QTest::addRow("%d", size) << size;
    }

    void iconColours() {
        QFETCH(int, size);
        const QImage icon = pictures::iconImage(size).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(icon.size(), QSize(size, size));

        const auto cyan = [](QRgb c) { return qRed(c) < 60 && qGreen(c) > 220 && qBlue(c) > 220; };
        QVERIFY2(count(icon, cyan) > size * size / 12, "the digits are not bright cyan");

        // The rows just inside the border carry the background's two ends.
        const int border = size / 16;
        const QColor top = average(icon, QRect(border, border, size - 2 * border, 1));
        const QColor bottom = average(icon, QRect(border, size - 1 - border, size - 2 * border, 1));
        QVERIFY2(top.blue() > top.red() + 40 && top.blue() > top.green() + 40, "top not blue");
        QVERIFY(top.lightness() < 100);
        QVERIFY2(bottom.red() > bottom.green() && bottom.blue() > bottom.red(), "not violet");
        QVERIFY(bottom.lightness() > 150);

        const QColor frame = icon.pixelColor(0, size / 2);
        QVERIFY2(frame.green() == frame.blue() && frame.red() < 40 && frame.lightness() < 80,
                 "border not dark teal");
        QCOMPARE(icon.pixelColor(size - 1, size - 1), frame);
    }

    void windowIconSizes() {
        const QList<QSize> expected{QSize(16, 16), QSize(32, 32), QSize(48, 48)};
        QCOMPARE(pictures::windowIcon().availableSizes(), expected);
    }

    void gunSight() {
        const QCursor cursor = pictures::gunSightCursor();
        QCOMPARE(cursor.shape(), Qt::BitmapCursor);
        QCOMPARE(cursor.hotSpot(), QPoint(16, 16));
        const QImage image = argb(cursor.pixmap());
        QCOMPARE(image.size(), QSize(32, 32));
        QVERIFY(isRed(image.pixel(16, 16)));
        for (const QPoint arm : {QPoint(6, 16), QPoint(26, 16), QPoint(16, 6), QPoint(16, 26)})
            QCOMPARE(image.pixel(arm), 0xff000000);
        QVERIFY(symmetricAbout(image, 16));
        QVERIFY(ringedByHalo(image));
    }

    void fourArrows() {
        const QCursor cursor = pictures::fourArrowsCursor();
        QCOMPARE(cursor.shape(), Qt::BitmapCursor);
        QCOMPARE(cursor.hotSpot(), QPoint(10, 10));
        const QImage image = argb(cursor.pixmap());
        QCOMPARE(image.size(), QSize(32, 32));
        const auto blue = [](QRgb c) { return qAlpha(c) == 255 && qBlue(c) > 180 && qRed(c) < 60; };
        QVERIFY(blue(image.pixel(10, 10)));
        // The arrow tips, as far out on every side.
        for (const QPoint tip : {QPoint(10, 1), QPoint(10, 19), QPoint(1, 10), QPoint(19, 10)})
            QVERIFY(blue(image.pixel(tip)));
        QVERIFY(symmetricAbout(image, 10));
        QVERIFY(ringedByHalo(image));
    }

    void buttonPictures_data() {
        QTest::addColumn<QIcon>("icon");
        QTest::addColumn<bool>("face");
        QTest::addColumn<bool>("laughing");
        QTest::newRow("smiling") << pictures::smilingFace() << true << false;
        QTest::newRow("neutral") << pictures::neutralFace() << true << false;
        QTest::newRow("laughing") << pictures::laughingFace() << true << true;
        QTest::newRow("no entry") << pictures::noEntrySign() << false << false;
    }

    void buttonPictures() {
        QFETCH(QIcon, icon);
        QFETCH(bool, face);
        QFETCH(bool, laughing);
        for (const int size : {16, 32}) {
            QVERIFY(icon.availableSizes().contains(QSize(size, size)));
            const QImage image = argb(icon.pixmap(size));
            QCOMPARE(image.size(), QSize(size, size));
            const int opaque = count(image, [](QRgb c) { return qAlpha(c) != 0; });
            const int plain = count(image, [](QRgb c) { return sixteenColours.contains(c); });
            QCOMPARE(plain, opaque); // no blended edges or colours outside the palette
            for (const QPoint corner : {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1),
                                        QPoint(size - 1, size - 1)})
                QCOMPARE(qAlpha(image.pixel(corner)), 0);

            const int reds = count(image, isRed);
            if (face) {
                const int yellows = count(image, [](QRgb c) { return c == 0xffffff00; });
                QVERIFY2(yellows > opaque / 2, "the face is not mostly yellow");
                QCOMPARE(reds > 0, laughing);
            } else {
                const int whites = count(image, [](QRgb c) { return c == 0xffffffff; });
                QVERIFY2(reds > 2 * whites && reds > opaque / 3, "the sign is not mostly red");
                const int c = size / 2;
                QCOMPARE(image.pixel(c, c), 0xffffffff); // the bar across the middle
                QVERIFY(isRed(image.pixel(c, c - size / 4)));
            }
        }
    }

    void facesDiffer() {
        for (const int size : {16, 32}) {
            const QImage smiling = argb(pictures::smilingFace().pixmap(size));
            const QImage neutral = argb(pictures::neutralFace().pixmap(size));
            const QImage laughing = argb(pictures::laughingFace().pixmap(size));
            QVERIFY(smiling != neutral && neutral != laughing && laughing != smiling);
        }
    }

    // The laughing face is the start button's disabled picture: Qt must not grey it out.
    void laughingFaceKeepsItsColoursWhenDisabled() {
        const QIcon icon = pictures::laughingFace();
        for (const int size : {16, 32})
            QCOMPARE(argb(icon.pixmap(size, QIcon::Disabled)), argb(icon.pixmap(size)));
    }
};

QTEST_MAIN(TestPictures)
#include "tst_pictures.moc"
