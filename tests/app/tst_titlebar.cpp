#include "board.h"
#include "tavolawindow.h"
#include "titlebar.h"

#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

// The title bar the game draws itself on native Wayland, put on here under offscreen: it
// sits above the menu bar without covering anything, and offers exactly the buttons of an
// X11 window manager for the window's flags, never a maximise button.
class TestTitleBar : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { registerFontSubstitutes(); }
    void mainWindowBelowTheBar();
    void buttonsOfEachWindow();
    void buttonsActOnTheWindow();
};

namespace {

QWidget* barOf(QWidget* window) {
    return window->findChild<QWidget*>(QStringLiteral("titleBar"));
}

QStringList buttonNames(QWidget* window) {
    QStringList names;
    for (const QToolButton* button : barOf(window)->findChildren<QToolButton*>()) {
        names << button->accessibleName();
        if (button->focusPolicy() != Qt::NoFocus)
            names << QStringLiteral("(takes the focus)");
    }
    return names;
}

QToolButton* button(QWidget* window, const QString& name) {
    for (QToolButton* button : barOf(window)->findChildren<QToolButton*>()) {
        if (button->accessibleName() == name)
            return button;
    }
    return nullptr;
}

} // namespace

void TestTitleBar::mainWindowBelowTheBar() {
    TavolaWindow w;
    addTitleBar(&w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* bar = barOf(&w);
    QVERIFY(bar);
    QVERIFY(w.windowFlags() & Qt::FramelessWindowHint);
    const int barHeight = bar->height();
    QVERIFY(barHeight >= 20);
    QCOMPARE(bar->geometry(), QRect(0, 0, 608, barHeight));
    QCOMPARE(w.menuBar()->y(), barHeight);
    QCOMPARE(w.board->geometry(), QRect(0, barHeight + w.menuBar()->height(), 608, 672));
    QCOMPARE(w.size(), QSize(608, barHeight + w.menuBar()->height() + 672));
    QCOMPARE(w.minimumSize(), w.maximumSize());
}

void TestTitleBar::buttonsOfEachWindow() {
    TavolaWindow w;
    addTitleBar(&w);
    QCOMPARE(buttonNames(&w),
             (QStringList{QStringLiteral("Riduci a icona"), QStringLiteral("Chiudi")}));

    QMessageBox box;
    box.setText(QStringLiteral("Ciao"));
    addTitleBar(&box);
    QCOMPARE(buttonNames(&box), QStringList{QStringLiteral("Chiudi")});
}

void TestTitleBar::buttonsActOnTheWindow() {
    TavolaWindow w;
    addTitleBar(&w);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The game hears of the minimise as of one from a window manager (the title becomes
    // "Pandrilo" on resized), and of the close as of the close box's.
    QSignalSpy resized(&w, &TavolaWindow::resized);
    QSignalSpy closing(&w, &TavolaWindow::closing);
    QTest::mouseClick(button(&w, QStringLiteral("Riduci a icona")), Qt::LeftButton);
    QVERIFY(w.isMinimized());
    QVERIFY(!resized.isEmpty());
    QTest::mouseClick(button(&w, QStringLiteral("Chiudi")), Qt::LeftButton);
    QCOMPARE(closing.count(), 1);
}

QTEST_MAIN(TestTitleBar)
#include "tst_titlebar.moc"
