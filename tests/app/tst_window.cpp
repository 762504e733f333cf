#include "board.h"
#include "boardlabel.h"
#include "game.h"
#include "pictures.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTimer>

#include <set>

// The face of the window as designed: controls, menus, timers, click routing, what reaches
// the screen, and the board's gradient and scale. Expected values are typed here from the
// design tables, not read back from the code's own.
class TestWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void windowFrame();
    void buttons_data();
    void buttons();
    void labels_data();
    void labels();
    void hiddenControls();
    void menuTree();
    void tabOrderAndAccessKeys();

    void clicksReachTheBoardOrNothing_data();
    void clicksReachTheBoardOrNothing();
    void doubleClickIsOneClick_data();
    void doubleClickIsOneClick();
    void pointers();
    void coloursOnScreen();

    void gradientBands();
    void boardScale();
    void drawnSmaller();
};

namespace {

QColor rgb(const QString& text) {
    const QStringList parts = text.split(u',');
    return QColor(parts[0].toInt(), parts[1].toInt(), parts[2].toInt());
}

QPoint centreOf(const QWidget* widget) {
    return widget->mapTo(widget->window(), widget->rect().center());
}

// The middle of the named control, or a bare spot of the board for "board".
QPoint pointOn(TavolaWindow& w, const QString& where) {
    if (where == u"board")
        return centreOf(w.board) + QPoint(0, 100);
    auto* widget = w.board->findChild<QWidget*>(where);
    // An auto-sized label with no text has no width: give the record labels one.
    if (auto* label = qobject_cast<BoardLabel*>(widget); label && label->text().isEmpty())
        label->setText(QStringLiteral("Zed"));
    return centreOf(widget);
}

} // namespace

void TestWindow::initTestCase() {
    registerFontSubstitutes();
}

void TestWindow::windowFrame() {
    TavolaWindow w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvalto"));
    QVERIFY(!w.windowIcon().isNull());
    QCOMPARE(w.windowIcon().pixmap(32).size(), QSize(32, 32));
    QVERIFY(w.windowFlags() & Qt::WindowMinimizeButtonHint);
    w.show();
    QCOMPARE(w.board->size(), QSize(608, 672));
    QCOMPARE(w.centralWidget(), w.board);
    QCOMPARE(w.board->y(), w.menuBar()->height());
    QCOMPARE(w.size(), QSize(608, 672 + w.menuBar()->height()));
    QSignalSpy closing(&w, &TavolaWindow::closing);
    w.close();
    QCOMPARE(closing.count(), 1);
}

void TestWindow::buttons_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("back");
    QTest::addColumn<qreal>("points");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("cmdNext") << "cmdNext"
                             << "&Clicca per iniziare" << QRect(3000, 0, 3210, 735) << "0,192,0"
                             << 8.25 << true << false << "Go";
    QTest::newRow("cmdExit") << "cmdExit"
                             << "E&xit" << QRect(6120, 0, 3135, 735) << "192,0,192" << 8.25 << true
                             << true << "Ti prego resta ancora, forse riuscirai a farmi uscire ";
    const auto target = [](const char* name, const char* caption, int left, int top) {
        QTest::newRow(name) << name << caption << QRect(left, top, 1215, 1215) << "0,255,255"
                            << 24.0 << false << true << "";
    };
    target("paricmd", "", 2400, 1560);
    target("paricmd1", "", 2880, 4200);
    target("paricmd2", "", 1560, 6480);
    target("disparicmd", "", 5760, 1560);
    target("disparicmd1", "63", 6840, 5160);
    target("disparicmd2", "", 5040, 6840);
}

void TestWindow::buttons() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(QString, back);
    QFETCH(qreal, points);
    QFETCH(bool, visible);
    QFETCH(bool, enabled);
    QFETCH(QString, toolTip);

    TavolaWindow w;
    auto* button = w.board->findChild<GraphicButton*>(name);
    QVERIFY(button);
    QCOMPARE(button->parentWidget(), w.board);
    QCOMPARE(button->text(), caption);
    QCOMPARE(button->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    QCOMPARE(button->backColor(), rgb(back));
    QCOMPARE(button->font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(button->font().pointSizeF(), points);
    QVERIFY(button->font().bold());
    QCOMPARE(button->isVisibleTo(w.board), visible);
    QCOMPARE(button->isEnabled(), enabled);
    QCOMPARE(button->toolTip(), toolTip);
    // Buttons are always drawn above every label.
    const QObjectList children = w.board->children();
    for (auto* label : w.board->findChildren<BoardLabel*>())
        QVERIFY(children.indexOf(label) < children.indexOf(button));
}

void TestWindow::labels_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<QString>("font"); // face/points/b/i
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QString>("background"); // "transparent" or r,g,b
    QTest::addColumn<QString>("flags"); // centred, frame, auto-size, visible, enabled: c f a v e
    QTest::addColumn<QString>("toolTip");

    QTest::newRow("Label6") << "Label6"
                            << "Punti complessivi" << QRect(-120, 0, 3135, 735)
                            << "MS Sans Serif/18"
                            << "255,255,128"
                            << "0,0,255"
                            << "cfave"
                            << "";
    QTest::newRow("lblScore") << "lblScore"
                              << "" << QRect(600, 840, 1215, 975) << "Times New Roman/36/b"
                              << "0,0,0"
                              << "transparent"
                              << "cf-ve"
                              << "Questo è il tuo punteggio. Forza con il  record";
    QTest::newRow("Punteggio") << "Punteggio"
                               << "0" << QRect(960, 1080, 495, 615) << "MS Sans Serif/24"
                               << "0,0,0"
                               << "transparent"
                               << "c-ave"
                               << "";
    QTest::newRow("Label11") << "Label11"
                             << "Tempo restante" << QRect(120, 1920, 1575, 375)
                             << "MS Sans Serif/9.75"
                             << "255,255,0"
                             << "transparent"
                             << "---ve"
                             << "";
    QTest::newRow("lblconto") << "lblconto"
                              << "00.00.00" << QRect(120, 2400, 1575, 495) << "Arial Black/12/b"
                              << "255,255,0"
                              << "transparent"
                              << "-f-ve"
                              << "";
    QTest::newRow("Label14") << "Label14"
                             << "Sfidante" << QRect(135, 4560, 1395, 495) << "MS Sans Serif/18"
                             << "0,128,0"
                             << "transparent"
                             << "cfave"
                             << "";
    QTest::newRow("lblnome1") << "lblnome1"
                              << "" << QRect(1920, 4560, 120, 435) << "MS Sans Serif/18/b"
                              << "0,128,0"
                              << "transparent"
                              << "--ave"
                              << "";
    QTest::newRow("Label12") << "Label12"
                             << "Il record  è di " << QRect(120, 7920, 2295, 375)
                             << "MS Sans Serif/18"
                             << "192,0,192"
                             << "transparent"
                             << "---ve"
                             << "";
    QTest::newRow("lblnome") << "lblnome"
                             << "nome" << QRect(2640, 7920, 990, 435) << "MS Sans Serif/18/b"
                             << "0,0,255"
                             << "transparent"
                             << "--ave"
                             << "";
    QTest::newRow("Label13") << "Label13"
                             << "con punti" << QRect(6600, 7920, 1455, 435) << "MS Sans Serif/18"
                             << "192,0,192"
                             << "transparent"
                             << "--ave"
                             << "";
    QTest::newRow("lblpunti") << "lblpunti"
                              << "0" << QRect(8160, 7800, 270, 555) << "MS Sans Serif/24"
                              << "192,0,192"
                              << "transparent"
                              << "--ave"
                              << "";

    QTest::newRow("lblMessage") << "lblMessage"
                                << "" << QRect(1560, 3720, 6615, 615) << "MS Sans Serif/24/b/i"
                                << "255,0,0"
                                << "transparent"
                                << "c---e"
                                << "";
    QTest::newRow("Label5") << "Label5"
                            << "" << QRect(960, 7680, 6615, 615) << "MS Sans Serif/24/b/i"
                            << "255,0,0"
                            << "transparent"
                            << "c---e"
                            << "";
    QTest::newRow("Label3") << "Label3"
                            << "Risposte totali" << QRect(5640, 3840, 2340, 495)
                            << "MS Sans Serif/18"
                            << "0,0,255"
                            << "transparent"
                            << "-fa-e"
                            << "";
    QTest::newRow("Label1") << "Label1"
                            << "Risposte errate" << QRect(5760, 3120, 2520, 495)
                            << "MS Sans Serif/18"
                            << "255,0,0"
                            << "transparent"
                            << "-fa-e"
                            << "";
    QTest::newRow("lblScore1") << "lblScore1"
                               << "0" << QRect(6960, 3600, 540, 885) << "Times New Roman/36/b"
                               << "255,0,0"
                               << "transparent"
                               << "cfa-e"
                               << "";
    QTest::newRow("lblScore2") << "lblScore2"
                               << "0" << QRect(7560, 2880, 555, 885) << "Times New Roman/36/b"
                               << "0,0,255"
                               << "transparent"
                               << "cfa-e"
                               << "";
    QTest::newRow("lblTime") << "lblTime"
                             << "" << QRect(8400, 1800, 90, 300) << "MS Sans Serif/12/b"
                             << "0,0,0"
                             << "standard"
                             << "--a-e"
                             << "Clicca sotto di me per attivare il Timer";
    QTest::newRow("Label4") << "Label4"
                            << "=" << QRect(7320, 2040, 615, 975) << "Arial/48/b"
                            << "0,0,0"
                            << "128,255,255"
                            << "c----"
                            << "";
    QTest::newRow("Label2") << "Label2"
                            << "X" << QRect(7320, 1800, 615, 975) << "Arial/48"
                            << "0,0,0"
                            << "128,255,255"
                            << "c----"
                            << "";
}

void TestWindow::labels() {
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QRect, twips);
    QFETCH(QString, font);
    QFETCH(QString, colour);
    QFETCH(QString, background);
    QFETCH(QString, flags);
    QFETCH(QString, toolTip);

    TavolaWindow w;
    auto* label = w.board->findChild<BoardLabel*>(name);
    QVERIFY(label);
    QCOMPARE(label->text(), text);
    // Design sizes stand until the game writes a text.
    QCOMPARE(label->geometry(),
             QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
    const QStringList f = font.split(u'/');
    QCOMPARE(label->font().family(), f[0]);
    QCOMPARE(label->font().pointSizeF(), f[1].toDouble());
    QCOMPARE(label->font().bold(), f.contains(u"b"));
    QCOMPARE(label->font().italic(), f.contains(u"i"));
    QCOMPARE(label->textColor(), rgb(colour));
    if (background == u"transparent")
        QVERIFY(label->isTransparent());
    else if (background == u"standard")
        QCOMPARE(label->background(), label->palette().color(QPalette::Button));
    else
        QCOMPARE(label->background(), rgb(background));
    QCOMPARE(label->isCentred(), flags[0] == u'c');
    QCOMPARE(label->isFramed(), flags[1] == u'f');
    QCOMPARE(label->isAutoSize(), flags[2] == u'a');
    QCOMPARE(label->isVisibleTo(w.board), flags[3] == u'v');
    QCOMPARE(label->isEnabled(), flags[4] == u'e');
    QCOMPARE(label->toolTip(), toolTip);

    // Auto-size: writing a text measures the label, top-left corner kept.
    const QPoint corner = label->pos();
    label->setText(QStringLiteral("Una scritta molto più lunga"));
    QCOMPARE(label->pos(), corner);
    if (label->isAutoSize())
        QVERIFY(label->width() >
                QFontMetrics(label->font()).horizontalAdvance(QStringLiteral("Una scritta")));
    else
        QCOMPARE(label->width(), twips.width() / 15);
}

void TestWindow::hiddenControls() {
    TavolaWindow w;
    QCOMPARE(w.txtAnswer->objectName(), QStringLiteral("txtAnswer"));
    QCOMPARE(w.txtAnswer->geometry(), QRect(368, 112, 185, 80));
    QCOMPARE(w.txtAnswer->font().family(), QStringLiteral("Arial"));
    QCOMPARE(w.txtAnswer->font().pointSizeF(), 48.0);
    QVERIFY(w.txtAnswer->font().bold());
    QCOMPARE(w.txtAnswer->palette().color(QPalette::Base), QColor(0, 255, 255));
    QVERIFY(!w.txtAnswer->isEnabled());
    QVERIFY(!w.txtAnswer->isVisibleTo(w.board));
    QCOMPARE(w.txtAnswer->toolTip(),
             QStringLiteral("Inserisci il risultato e  premi il tasto  Invio"));
    QCOMPARE(w.Inizio->text(), QStringLiteral("Inizio"));
    QCOMPARE(w.Inizio->geometry(), QRect(256, 8, 81, 33));
    QVERIFY(!w.Inizio->isVisibleTo(w.board));
    QVERIFY(qobject_cast<GraphicButton*>(w.Inizio) == nullptr); // a standard button
}

void TestWindow::menuTree() {
    TavolaWindow w;
    QStringList titles;
    for (QAction* action : w.menuBar()->actions())
        titles << action->text();
    QCOMPARE(titles.size(), 4);
    QCOMPARE(titles[2], QStringLiteral("Nuovo gioco"));
    QCOMPARE(titles[3], QStringLiteral("Help"));
    QCOMPARE(w.menuBar()->actions()[0]->menu(), w.INFOMAZIONI);
    QCOMPARE(w.menuBar()->actions()[1]->menu(), w.copy);
    QCOMPARE(w.menuBar()->actions()[2], w.Next);
    QVERIFY(w.Next->menu() == nullptr); // chosen at once, no drop-down
    QCOMPARE(w.INFOMAZIONI->actions(), QList<QAction*>{w.ca});
    QCOMPARE(w.copy->actions(), QList<QAction*>{w.via});
    QCOMPARE(w.hf->actions(), (QList<QAction*>{w.Ciao, w.ok, w.d, w.h}));
    QCOMPARE(w.Ciao->text(),
             QStringLiteral("Ciao campione, mi raccomando colpisci solo i multipli del 25"));
    QCOMPARE(w.ok->text(), QStringLiteral("Ogni errore  ti farà perdere 4 punti."));
    QCOMPARE(w.d->text(),
             QStringLiteral("Un numero è divisibile per 25 se termina con 00,25,50,75"));
    QCOMPARE(w.h->text(), QStringLiteral("Es 1050 è divisibile per 25 ed infatti termina con 50"));
    // The captions of our own never point at a real address.
    for (const QString& caption : {w.INFOMAZIONI->title(), w.via->text()})
        QVERIFY(!caption.contains(u'@') || caption.endsWith(u".example"));
    for (QAction* action : w.findChildren<QAction*>())
        QVERIFY(action->isEnabled() && action->isVisible());
}

void TestWindow::tabOrderAndAccessKeys() {
    TavolaWindow w;
    const QList<QWidget*> expected = {w.disparicmd, w.paricmd,     w.cmdExit,    w.paricmd1,
                                      w.paricmd2,   w.disparicmd1, w.disparicmd2};
    QWidget* widget = expected.first();
    for (int i = 1; i < expected.size(); ++i) {
        do
            widget = widget->nextInFocusChain();
        while (!expected.contains(widget));
        QCOMPARE(widget, expected[i]);
    }
    for (auto* label : w.board->findChildren<BoardLabel*>())
        QCOMPARE(label->focusPolicy(), Qt::NoFocus);

    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QSignalSpy exit(w.cmdExit, &QPushButton::clicked);
    QSignalSpy start(w.cmdNext, &QPushButton::clicked);
    // The disabled start button ignores its access key; Exit answers to its own, once the
    // press has been animated.
    QTest::keyClick(w.windowHandle(), Qt::Key_C, Qt::AltModifier);
    QTest::keyClick(w.windowHandle(), Qt::Key_X, Qt::AltModifier);
    QTRY_COMPARE(exit.count(), 1);
    QCOMPARE(start.count(), 0);
    w.cmdExit->setFocus();
    QTest::keyClick(w.cmdExit, Qt::Key_Space);
    QCOMPARE(exit.count(), 2);
}

void TestWindow::clicksReachTheBoardOrNothing_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("startsPlay");
    QTest::newRow("bare board") << "board" << true;
    QTest::newRow("disabled start button") << "cmdNext" << true;
    QTest::newRow("hidden target's place") << "paricmd" << true;
    for (const char* label : {"Label6", "lblScore", "Punteggio", "Label11", "lblconto", "Label14",
                              "lblnome1", "Label12", "lblnome", "Label13", "lblpunti"})
        QTest::newRow(label) << label << false;
}

void TestWindow::clicksReachTheBoardOrNothing() {
    QFETCH(QString, where);
    QFETCH(bool, startsPlay);
    Game game;
    TavolaWindow& w = game.ui();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QPoint point = pointOn(w, where);
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, point);
    QCOMPARE(w.Timer2->isActive(), startsPlay);
    QCOMPARE(game.doubles.sound.played.size(), startsPlay ? 1 : 0);
}

// The second press of a double-click is no click of its own; a slow second click is.
void TestWindow::doubleClickIsOneClick_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<bool>("doubleClick");
    QTest::addColumn<QStringList>("sounds");
    const QString laser = QStringLiteral("laser.wav");
    const QString shot = QStringLiteral("sparo.wav");
    QTest::newRow("board, double-click") << "board" << true << QStringList{laser};
    QTest::newRow("board, two slow clicks") << "board" << false << QStringList{laser, laser};
    QTest::newRow("start button, double-click") << "cmdNext" << true << QStringList{laser};
    // The first click hides the target: the second lands on the board where it stood.
    QTest::newRow("target, double-click") << "paricmd" << true << QStringList{shot};
    QTest::newRow("target, two slow clicks") << "paricmd" << false << QStringList{shot, laser};
}

void TestWindow::doubleClickIsOneClick() {
    QFETCH(QString, where);
    QFETCH(bool, doubleClick);
    QFETCH(QStringList, sounds);
    Game game;
    TavolaWindow& w = game.ui();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    if (where != u"board")
        w.board->findChild<QWidget*>(where)->show();
    const QPoint point = pointOn(w, where);
    if (doubleClick) {
        QTest::mouseDClick(w.windowHandle(), Qt::LeftButton, {}, point);
    } else {
        // QTest spaces two clicks by more than the double-click interval.
        QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, point);
        QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, point);
    }
    QStringList played;
    for (const QString& path : std::as_const(game.doubles.sound.played))
        played << path.section(u'/', -1);
    QCOMPARE(played, sounds);
}

void TestWindow::pointers() {
    TavolaWindow w;
    // The board's gun-sight, seen over the start button too: it takes no mouse input.
    QCOMPARE(w.board->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(w.board->cursor().hotSpot(), QPoint(16, 16));
    QVERIFY(w.board->childAt(w.cmdNext->geometry().center()) == nullptr);
    QCOMPARE(w.paricmd->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(w.paricmd->cursor().hotSpot(), QPoint(10, 10));
    for (QWidget* arrow :
         {static_cast<QWidget*>(w.cmdExit), static_cast<QWidget*>(w.paricmd1),
          static_cast<QWidget*>(w.paricmd2), static_cast<QWidget*>(w.disparicmd),
          static_cast<QWidget*>(w.disparicmd1), static_cast<QWidget*>(w.disparicmd2)})
        QCOMPARE(arrow->cursor().shape(), Qt::ArrowCursor);
}

void TestWindow::coloursOnScreen() {
    Game game;
    TavolaWindow& w = game.ui();
    w.paricmd1->show();
    const QImage screen = w.grab().toImage();
    const auto at = [&](QWidget* widget, QPoint offset) {
        return screen.pixelColor(w.board->mapTo(&w, widget->pos() + offset));
    };
    QCOMPARE(at(w.paricmd1, {40, 12}), QColor(0, 255, 255));
    QCOMPARE(at(w.cmdExit, {8, 8}), QColor(192, 0, 192));
    QCOMPARE(at(w.cmdNext, {8, 8}), QColor(0, 192, 0));
    QCOMPARE(at(w.Label6, {w.Label6->width() - 20, 6}), QColor(0, 0, 255));
}

void TestWindow::gradientBands() {
    Game game;
    Board* board = game.ui().board;
    std::set<int> reds;
    std::set<int> greens;
    for (int paint = 0; paint < 200; ++paint) {
        game.tavola.cmdNext_Click();
        const QImage image = board->image();
        const QColor top = image.pixelColor(0, 0);
        const QColor bottom = image.pixelColor(0, image.height() - 1);
        QCOMPARE(top.blue(), 0);
        QCOMPARE(bottom.blue(), 255);
        QCOMPARE(top.red(), 20 * game.stato().rosso);
        QCOMPARE(top.green(), 20 * game.stato().verde);
        reds.insert(top.red());
        greens.insert(top.green());
        // Blue grows down the board, one step per band; each row is one colour.
        for (int y = 0; y < image.height(); y += 37) {
            const QColor left = image.pixelColor(0, y);
            QCOMPARE(image.pixelColor(image.width() - 1, y), left);
            QCOMPARE(left.red(), top.red());
            QVERIFY(qAbs(left.blue() - y * 256 / image.height()) <= 1);
        }
    }
    // What reaches the screen is the backing image, where no control covers it.
    const QImage screen = board->grab().toImage();
    QCOMPARE(screen.pixelColor(300, 671), board->image().pixelColor(300, 671));
    QCOMPARE(screen.pixelColor(300, 671).blue(), 255);
    // A part repainted alone, as where a target left it, shows the bands of its own rows.
    QImage part(50, 50, QImage::Format_RGB32);
    board->render(&part, {}, QRegion(100, 400, 50, 50));
    QCOMPARE(part.pixelColor(49, 49), board->image().pixelColor(149, 449));
    QCOMPARE(reds, (std::set<int>{20, 40, 60, 80, 100, 120, 140, 160, 180}));
    QCOMPARE(greens, (std::set<int>{0, 20, 40, 60, 80, 100, 120, 140, 160, 180}));
}

void TestWindow::boardScale() {
    Game game;
    const BoardScale scale = game.ui().board->scale();
    QCOMPARE(scale.toPixels(100, 256), QPoint(100, 336));
    QCOMPARE(scale.toPixels(0, 512), QPoint(0, 672));
}

// A window drawn at three quarters, as where it would not fit its screen: the same layout,
// targets where they stood, and the lowest target still hit.
void TestWindow::drawnSmaller() {
    Game game;
    TavolaWindow& w = game.ui();
    w.disparicmd->move(400, 300);
    const int nameWidth = w.lblnome1->width();
    w.setDrawingScale(0.75);
    QCOMPARE(w.size(), QSize(456, 504 + w.menuBar()->height()));
    QCOMPARE(w.paricmd1->geometry(), QRect(144, 210, 61, 61));
    QCOMPARE(w.paricmd1->font().pointSizeF(), 18.0);
    QCOMPARE(w.disparicmd->pos(), QPoint(300, 225));
    QCOMPARE(w.Label6->geometry(), QRect(-6, 0, 157, 37)); // never written: its design size
    QVERIFY(w.lblnome1->width() < nameWidth && w.lblnome1->width() > nameWidth / 2); // measured
    QCOMPARE(w.board->scale().toPixels(100, 512), QPoint(75, 504));
    QCOMPARE(w.board->image().size(), QSize(456, 504));
    QCOMPARE(w.board->image().pixelColor(455, 503).blue(), 255);
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.paricmd->show();
    w.paricmd->move(w.board->scale().xToPixels(200), w.board->height() - w.paricmd->height());
    QTest::mouseClick(w.windowHandle(), Qt::LeftButton, {}, centreOf(w.paricmd));
    QCOMPARE(game.doubles.sound.played.value(0).section(u'/', -1), QStringLiteral("sparo.wav"));
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
