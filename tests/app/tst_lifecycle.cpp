#include "board.h"
#include "boardlabel.h"
#include "game.h"

#include <QAction>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTimer>

// The form and its face: loading on first access, unloading, showing, activation, and the
// start-up order that follows from them.
class TestLifecycle : public QObject {
    Q_OBJECT

private slots:
    void firstControlAccessLoadsOnce();
    void startUpOrder();
    void greetingTexts_data();
    void greetingTexts();
    void activationRunsOncePerShow();
    void unloadDestroysControlsAndKeepsTheState();
    void reloadBringsBackTheDesignState();
    void minimisedCaptionLastsUntilTheNextLoad();
    void closingTheWindowEndsTheProgramQuietly();
};

void TestLifecycle::firstControlAccessLoadsOnce() {
    Doubles doubles;
    Tavola tavola(doubles.platform());
    QSignalSpy loads(&tavola, &Tavola::loaded);
    QVERIFY(!tavola.isLoaded());
    QVERIFY(doubles.dialogs.prompts.isEmpty());
    // While the prompt waits, the face is built once a key is let go in it, not when it is drawn.
    QList<bool> builtInPrompt;
    doubles.dialogs.whileInputOpen = [&] {
        QLineEdit prompt;
        prompt.show();
        QVERIFY(QTest::qWaitForWindowExposed(&prompt));
        QCoreApplication::processEvents();
        builtInPrompt << tavola.isLoaded();
        QTest::keyClick(&prompt, Qt::Key_A);
        QCoreApplication::processEvents();
        builtInPrompt << tavola.isLoaded();
    };

    tavola.Form_Initialize();
    QCOMPARE(builtInPrompt, (QList<bool>{false, true}));
    QCOMPARE(loads.count(), 1);
    QVERIFY(tavola.isLoaded());
    QCOMPARE(doubles.dialogs.prompts, QStringList{"Come ti chiami?"});
    tavola.ui();
    tavola.cmdNext_Click();
    QCOMPARE(loads.count(), 1);
    QVERIFY(!tavola.ui().isVisible());
}

void TestLifecycle::startUpOrder() {
    Doubles doubles;
    Tavola tavola(doubles.platform());
    QStringList events;
    doubles.dialogs.whileInputOpen = [&] {
        events << QStringLiteral("prompt visible=%1 timers=%2%3 sound=%4")
                      .arg(tavola.ui().isVisible())
                      .arg(tavola.ui().Timer1->isActive())
                      .arg(tavola.ui().Timer2->isActive())
                      .arg(doubles.sound.prepared);
    };
    doubles.dialogs.whileOpen = [&](const Box& box) {
        events << QStringLiteral("greeting visible=%1 timers=%2%3 [%4]")
                      .arg(tavola.ui().isVisible())
                      .arg(tavola.ui().Timer1->isActive())
                      .arg(tavola.ui().Timer2->isActive())
                      .arg(box.text);
    };
    doubles.dialogs.names.push_back(QStringLiteral("Anna"));

    tavola.Form_Initialize();
    tavola.Show();

    QCOMPARE(events, (QStringList{
                         "prompt visible=0 timers=00 sound=0",
                         "greeting visible=0 timers=00 [ Anna vediamo se sei un vero campione  ]",
                     }));
    TavolaWindow& w = tavola.ui();
    // The sound output gets ready once the window is drawn, before any click on the board.
    QTRY_COMPARE(doubles.sound.prepared, 1);
    QVERIFY(w.isVisible());
    QVERIFY(w.Timer1->isActive());
    QVERIFY(!w.Timer2->isActive());
    QCOMPARE(w.lblnome1->text(), QStringLiteral("Anna"));
    QCOMPARE(w.lblconto->text(), QStringLiteral("00:15:00"));
    QCOMPARE(tavola.stato().minuti, qint16(15));
    QCOMPARE(tavola.stato().secondi, 0.0f);
    // First run on this computer: empty record files, empty record labels.
    QCOMPARE(w.lblpunti->text(), QString());
    QCOMPARE(w.lblnome->text(), QString());
    QVERIFY(tavola.stato().cartella.endsWith(u'/'));
    QCOMPARE(w.focusWidget(), w.cmdExit);
    // The window opens on a gradient in the colours of the last paint.
    const QColor top(20 * tavola.stato().rosso, 20 * tavola.stato().verde, 0);
    QCOMPARE(w.board->image().pixelColor(0, 0), top);
    for (Bersaglio target : allTargets)
        QVERIFY(tavola.bersaglio(target)->isHidden());
}

void TestLifecycle::greetingTexts_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("greeting");
    QTest::newRow("name") << "Anna"
                          << " Anna vediamo se sei un vero campione  ";
    QTest::newRow("spaces kept") << "  Lu "
                                 << "   Lu  vediamo se sei un vero campione  ";
    QTest::newRow("cancel") << ""
                            << "  vediamo se sei un vero campione  ";
    QTest::newRow("markup is text") << "<b>Bo</b>"
                                    << " <b>Bo</b> vediamo se sei un vero campione  ";
}

void TestLifecycle::greetingTexts() {
    QFETCH(QString, typed);
    QFETCH(QString, greeting);
    Doubles doubles;
    Tavola tavola(doubles.platform());
    doubles.dialogs.names.push_back(typed);
    tavola.Form_Initialize();
    QCOMPARE(doubles.dialogs.boxes.size(), 1);
    QCOMPARE(doubles.dialogs.boxes[0].text, greeting);
    QCOMPARE(doubles.dialogs.boxes[0].buttons, 0);
    QCOMPARE(doubles.dialogs.boxes[0].title, QStringLiteral("Corvalto"));
    QCOMPARE(tavola.ui().lblnome1->text(), typed);
}

void TestLifecycle::activationRunsOncePerShow() {
    Game game;
    game.stato().punti = 9;
    game.tavola.Show(); // already shown: no second activation
    QCOMPARE(game.stato().punti, qint16(9));
    // Focus coming back to the window is no activation either.
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&game.ui(), &activate);
    QCOMPARE(game.stato().punti, qint16(9));
}

void TestLifecycle::unloadDestroysControlsAndKeepsTheState() {
    Game game;
    game.tavola.paricmd_Click();
    game.stato().giri = 1234;
    const Stato before = game.stato();
    QPointer<TavolaWindow> face = &game.ui();
    QPointer<QTimer> timer = game.ui().Timer1;

    game.tavola.Unload();
    QVERIFY(!game.tavola.isLoaded());
    QVERIFY(face.isNull() || !face->isVisible());
    QVERIFY(timer.isNull() || !timer->isActive());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(face.isNull());

    QCOMPARE(game.stato().giri, qint16(1234));
    QCOMPARE(game.stato().punti, before.punti);
    QCOMPARE(game.stato().numpari, before.numpari);
    QCOMPARE(game.stato().rosso, before.rosso);
}

void TestLifecycle::reloadBringsBackTheDesignState() {
    Game game;
    game.tavola.Form_Click();
    for (int i = 0; i < 5; ++i)
        game.tavola.Timer2_Timer();
    game.tavola.disparicmd2_Click();
    game.ui().setWindowTitle(QStringLiteral("Pandrilo"));
    game.stato().giri = 777;

    game.doubles.dialogs.names.push_back(QStringLiteral("Bruno"));
    game.tavola.Unload();
    game.tavola.Show();
    TavolaWindow& w = game.ui();
    QCOMPARE(w.windowTitle(), QStringLiteral("Corvalto"));
    QVERIFY(!w.Timer2->isActive());
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.lblnome1->text(), QStringLiteral("Bruno"));
    QCOMPARE(w.lblconto->text(), QStringLiteral("00:15:00"));
    QCOMPARE(w.Punteggio->text(), QStringLiteral("0"));
    const QPoint design[] = {{160, 104}, {192, 280}, {104, 432},
                             {384, 104}, {456, 344}, {336, 456}};
    for (int i = 0; i < 6; ++i) {
        GraphicButton* b = game.target(allTargets[i]);
        QVERIFY(b->isHidden());
        QCOMPARE(b->pos(), design[i]);
        QCOMPARE(b->backColor(), QColor(0, 255, 255));
    }
    QCOMPARE(game.stato().giri, qint16(777)); // no load or activation step sets it
}

void TestLifecycle::minimisedCaptionLastsUntilTheNextLoad() {
    Game game;
    game.ui().setWindowState(Qt::WindowMinimized);
    QCOMPARE(game.ui().windowTitle(), QStringLiteral("Pandrilo"));
    game.ui().setWindowState(Qt::WindowNoState);
    QCOMPARE(game.ui().windowTitle(), QStringLiteral("Pandrilo"));
    // "Nuovo gioco", answered Yes.
    game.doubles.dialogs.answers.push_back(box::yes);
    game.tavola.Next_Click();
    QCOMPARE(game.ui().windowTitle(), QStringLiteral("Corvalto"));
}

void TestLifecycle::closingTheWindowEndsTheProgramQuietly() {
    Game game;
    try {
        // What the face reports when the platform closes it (the face's own test checks that
        // a close does report it); thrown through Qt's signal code, not its widget code.
        emit game.ui().closing();
        QFAIL("the program went on");
    } catch (const ProgramEnded& end) {
        QCOMPARE(end.status, 0);
    }
    QVERIFY(game.doubles.dialogs.boxes.isEmpty());
    const QString folder = game.doubles.folders.recordFolder();
    QCOMPARE(QFileInfo(folder + "/avelmora.txt").size(), 0);
}

QTEST_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
