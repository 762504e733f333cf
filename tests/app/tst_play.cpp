#include "board.h"
#include "boardlabel.h"
#include "game.h"

#include <QSignalSpy>
#include <QTimer>

#include <array>
#include <map>
#include <set>

// Dealing, motion, start of play and hit judging, driven through the form's handlers.
class TestPlay : public QObject {
    Q_OBJECT

private slots:
    void dealingGivesEachTargetItsKindOfNumber();
    void activationsWithTheSamePresetsDealDifferentNumbers();

    void motionTick_data();
    void motionTick();
    void arrangementIsUniformOverSix();
    void startClickTickBehavesLikeATimerTick();
    void startClickPlaysLaserAndStartsTheMotion();

    void scoreTextsAfterHits();
    void scoreStopsAtTheSixteenBitBounds();
    void warningQuotesTheCaptionShown_data();
    void warningQuotesTheCaptionShown();
    void warningQuotesANumberDealtByTheMotion();
    void newNumbersAfterAHit_data();
    void newNumbersAfterAHit();
    void rightHitOrder();
    void wrongHitOrderWithATickDuringTheWarning();
};

namespace {

int number(GraphicButton* button) {
    bool ok = false;
    const int value = button->text().toInt(&ok);
    return ok ? value : -1;
}

} // namespace

void TestPlay::dealingGivesEachTargetItsKindOfNumber() {
    struct Rule {
        Bersaglio target;
        qint16 Stato::*field;
        int max;
        int remainder;
    };
    const Rule rules[] = {
        {Bersaglio::disparicmd, &Stato::numdispari, 2503, 3},
        {Bersaglio::disparicmd1, &Stato::numdispari1, 2502, 2},
        {Bersaglio::disparicmd2, &Stato::numdispari2, 2501, 1},
        {Bersaglio::paricmd, &Stato::numpari, 2500, 0},
        {Bersaglio::paricmd1, &Stato::numpari1, 3750, 0},
        {Bersaglio::paricmd2, &Stato::numpari2, 2500, 0},
    };
    Game game;
    std::map<Bersaglio, std::set<int>> seen;
    for (int round = 0; round < 300; ++round) {
        game.stato().punti = 17;
        game.ui().Punteggio->setText(QStringLiteral(" 17"));
        game.tavola.Form_Activate();
        for (const Rule& rule : rules) {
            const int value = number(game.target(rule.target));
            QCOMPARE(value, int(game.stato().*rule.field));
            QVERIFY2(value >= 25 && value <= rule.max, qPrintable(QString::number(value)));
            QCOMPARE(value % 25, rule.remainder);
            seen[rule.target].insert(value);
        }
        QCOMPARE(game.stato().punti, qint16(0));
        QCOMPARE(game.ui().Punteggio->text(), QStringLiteral("0"));
    }
    // "63", the design caption, never survives; and the deals really vary.
    QVERIFY(!seen[Bersaglio::disparicmd1].contains(63));
    for (const auto& [target, values] : seen)
        QVERIFY(values.size() > 50);
    // paricmd1 alone reaches past 2500 at activation.
    QVERIFY(*seen[Bersaglio::paricmd1].rbegin() > 2500);
}

void TestPlay::activationsWithTheSamePresetsDealDifferentNumbers() {
    Game game;
    QStringList first;
    for (Bersaglio target : allTargets)
        first << game.target(target)->text();
    game.tavola.Form_Activate();
    QStringList second;
    for (Bersaglio target : allTargets)
        second << game.target(target)->text();
    int same = 0;
    for (int i = 0; i < first.size(); ++i)
        same += first[i] == second[i];
    QVERIFY2(same <= 1, qPrintable(first.join(u' ') + QStringLiteral(" / ") + second.join(u' ')));
}

// Per arrangement: the targets' visibility after the tick (from all hidden and from all
// shown), the coordinates that jump with their ranges in board units, and the re-deal.
void TestPlay::motionTick_data() {
    QTest::addColumn<int>("k");
    QTest::addColumn<QString>("fromHidden"); // targets shown after a tick from all hidden
    QTest::addColumn<QString>("fromShown");  // ... from all shown
    QTest::addColumn<QString>("jumps");      // target.axis=low-high, ...
    QTest::addColumn<QString>("redeal");     // target:remainder:low-high, or empty

    // Order of the letters: paricmd, paricmd1, paricmd2, disparicmd, disparicmd1, disparicmd2.
    QTest::newRow("k=1") << 1 << "101000"
                         << "101100"
                         << "disparicmd.x=0-449 disparicmd.y=0-1099 paricmd1.x=0-2499 "
                            "paricmd.y=0-599"
                         << "";
    QTest::newRow("k=2") << 2 << "110011"
                         << "111111"
                         << "paricmd.x=0-799 paricmd.y=0-799 paricmd1.x=0-2499 paricmd1.y=0-2499"
                         << "disparicmd1:1:76-5051";
    QTest::newRow("k=3") << 3 << "000011"
                         << "001011"
                         << "paricmd2.y=0-149 paricmd1.y=0-2499 disparicmd1.y=0-2499 "
                            "disparicmd2.y=0-149 disparicmd2.x=0-49"
                         << "disparicmd:2:77-7552";
    QTest::newRow("k=4") << 4 << "011110"
                         << "111110"
                         << "disparicmd.x=1-2500 disparicmd.y=1-1000 paricmd1.y=0-499 "
                            "paricmd1.x=0-2499"
                         << "";
    QTest::newRow("k=5") << 5 << "000010"
                         << "001010"
                         << "paricmd2.y=0-199 paricmd1.y=0-2499 disparicmd1.y=0-899 "
                            "disparicmd2.y=0-499 disparicmd.y=0-2499"
                         << "disparicmd2:3:78-7553";
    QTest::newRow("k=6") << 6 << "000001"
                         << "101101"
                         << "paricmd.y=0-199 paricmd2.y=0-249 disparicmd.y=0-899 "
                            "disparicmd1.y=0-69 disparicmd2.y=0-249 disparicmd1.x=0-2499"
                         << "disparicmd2:5:80-2055";
}

void TestPlay::motionTick() {
    QFETCH(int, k);
    QFETCH(QString, fromHidden);
    QFETCH(QString, fromShown);
    QFETCH(QString, jumps);
    QFETCH(QString, redeal);

    const QStringList names = {"paricmd",    "paricmd1",    "paricmd2",
                               "disparicmd", "disparicmd1", "disparicmd2"};
    const auto indexOf = [&](const QString& name) { return int(names.indexOf(name)); };

    Game game;
    const double unitsPerPixel = 512.0 / TavolaWindow::clientHeight;
    const QPoint start(-7000, -7000); // outside every jump's range
    quint64 state = 1;
    for (int trial = 0; trial < 60; ++trial) {
        const bool startHidden = trial % 2 == 0;
        for (Bersaglio target : allTargets) {
            game.target(target)->setVisible(!startHidden);
            game.target(target)->move(start);
        }
        const qint16 before[] = {game.stato().numdispari, game.stato().numdispari1,
                                 game.stato().numdispari2};
        const QStringList captionsBefore = [&] {
            QStringList list;
            for (Bersaglio target : allTargets)
                list << game.target(target)->text();
            return list;
        }();

        game.forceArrangement(k, state);
        state = game.tavola.generatore().state() + 1;
        game.tavola.Timer2_Timer();

        const QString& expected = startHidden ? fromHidden : fromShown;
        for (int i = 0; i < 6; ++i)
            QVERIFY2(game.target(allTargets[i])->isVisibleTo(game.ui().board) ==
                         (expected[i] == u'1'),
                     qPrintable(names[i]));

        // Every named coordinate jumped into its range; every other one kept its value.
        std::array<bool, 6> xJumped{}, yJumped{};
        for (const QString& jump : jumps.split(u' ')) {
            const QString name = jump.section(u'.', 0, 0);
            const bool isX = jump.section(u'.', 1).startsWith(u'x');
            const int low = jump.section(u'=', 1).section(u'-', 0, 0).toInt();
            const int high = jump.section(u'-', -1).toInt();
            const QPoint pos = game.target(allTargets[indexOf(name)])->pos();
            if (isX) {
                xJumped[indexOf(name)] = true;
                QVERIFY2(pos.x() >= low && pos.x() <= high, qPrintable(jump));
            } else {
                yJumped[indexOf(name)] = true;
                const double units = pos.y() * unitsPerPixel;
                QVERIFY2(units >= low - 1 && units <= high + 1, qPrintable(jump));
            }
        }
        for (int i = 0; i < 6; ++i) {
            const QPoint pos = game.target(allTargets[i])->pos();
            if (!xJumped[i])
                QCOMPARE(pos.x(), start.x());
            if (!yJumped[i])
                QCOMPARE(pos.y(), start.y());
        }

        // The re-deal, or no new number at all.
        int redealt = -1;
        if (!redeal.isEmpty()) {
            const QString name = redeal.section(u':', 0, 0);
            redealt = indexOf(name);
            const int value = number(game.target(allTargets[redealt]));
            QCOMPARE(value % 25, redeal.section(u':', 1, 1).toInt());
            QVERIFY(value >= redeal.section(u':', 2).section(u'-', 0, 0).toInt());
            QVERIFY(value <= redeal.section(u'-', -1).toInt());
            const qint16 field = redealt == 3   ? game.stato().numdispari
                                 : redealt == 4 ? game.stato().numdispari1
                                                : game.stato().numdispari2;
            QCOMPARE(int(field), value);
        }
        for (int i = 0; i < 6; ++i) {
            if (i != redealt)
                QCOMPARE(game.target(allTargets[i])->text(), captionsBefore[i]);
        }
        for (int i = 0; i < 3; ++i) {
            if (i + 3 != redealt)
                QCOMPARE((std::array{game.stato().numdispari, game.stato().numdispari1,
                                     game.stato().numdispari2}[i]),
                         before[i]);
        }
    }
}

void TestPlay::arrangementIsUniformOverSix() {
    // From all hidden, the six arrangements leave six different sets of targets shown.
    const std::map<QString, int> arrangementOf = {{"101000", 1}, {"110011", 2}, {"000011", 3},
                                                  {"011110", 4}, {"000010", 5}, {"000001", 6}};
    Game game;
    game.tavola.generatore().setState(20261207);
    std::array<int, 7> counts{};
    const int ticks = 6000;
    for (int i = 0; i < ticks; ++i) {
        for (Bersaglio target : allTargets)
            game.target(target)->hide();
        game.tavola.Timer2_Timer();
        QString shown;
        for (Bersaglio target : allTargets)
            shown += game.target(target)->isVisibleTo(game.ui().board) ? u'1' : u'0';
        QVERIFY2(arrangementOf.contains(shown), qPrintable(shown));
        ++counts[arrangementOf.at(shown)];
    }
    // Chi-square with 5 degrees of freedom: 20.5 is the 0.999 quantile.
    double chi = 0;
    for (int k = 1; k <= 6; ++k)
        chi += std::pow(counts[k] - ticks / 6.0, 2) / (ticks / 6.0);
    QVERIFY2(chi < 20.5, qPrintable(QString::number(chi)));
}

void TestPlay::startClickTickBehavesLikeATimerTick() {
    // Two identical games: one ticks inside the start click, the other from its real timer,
    // from the same generator state and time.
    Game viaClick;
    Game viaTimer;
    quint64 state = 0;
    quint64 time = 0;
    viaClick.doubles.sound.onPlay = [&](const QString&) {
        state = viaClick.tavola.generatore().state();
        time = viaClick.doubles.clock.now;
    };
    viaClick.tavola.Form_Click();

    viaTimer.tavola.generatore().setState(state);
    viaTimer.doubles.clock.now = time;
    QTimer* timer = viaTimer.ui().Timer2;
    QSignalSpy ticks(timer, &QTimer::timeout);
    connect(timer, &QTimer::timeout, timer, &QTimer::stop); // after the game's own handler
    timer->start(0);
    QTRY_COMPARE(ticks.count(), 1);

    for (Bersaglio target : allTargets) {
        GraphicButton* a = viaClick.target(target);
        GraphicButton* b = viaTimer.target(target);
        QCOMPARE(a->isVisibleTo(viaClick.ui().board), b->isVisibleTo(viaTimer.ui().board));
        QCOMPARE(a->pos(), b->pos());
        QCOMPARE(a->text(), b->text());
    }
    QCOMPARE(viaClick.stato().numdispari, viaTimer.stato().numdispari);
    QCOMPARE(viaClick.stato().numdispari1, viaTimer.stato().numdispari1);
    QCOMPARE(viaClick.stato().numdispari2, viaTimer.stato().numdispari2);
}

void TestPlay::startClickPlaysLaserAndStartsTheMotion() {
    Game game;
    const qint16 rosso = game.stato().rosso;
    const qint16 verde = game.stato().verde;
    QVERIFY(!game.ui().Timer2->isActive());
    const QImage before = game.ui().board->image();

    game.tavola.Form_Click();
    QCOMPARE(game.doubles.sound.played,
             QStringList{game.doubles.folders.programFolder() + "/suoni/laser.wav"});
    QVERIFY(game.ui().Timer2->isActive());
    QCOMPARE(game.ui().Timer2->interval(), 1300);
    bool anyShown = false;
    for (Bersaglio target : allTargets)
        anyShown |= game.target(target)->isVisibleTo(game.ui().board);
    QVERIFY(anyShown);
    // Its colours are its own: the board changed, the game state's factors did not.
    QCOMPARE(game.stato().rosso, rosso);
    QCOMPARE(game.stato().verde, verde);
    QVERIFY(game.ui().board->image() != before || rosso != 0);

    // A second click while running: one more laser and tick; the timer keeps running.
    game.tavola.Form_Click();
    QCOMPARE(game.doubles.sound.played.size(), 2);
    QVERIFY(game.ui().Timer2->isActive());
}

void TestPlay::scoreTextsAfterHits() {
    Game game;
    game.tavola.paricmd_Click();
    QCOMPARE(game.stato().punti, qint16(1));
    QCOMPARE(game.ui().Punteggio->text(), QStringLiteral(" 1"));
    QCOMPARE(game.stato().giri, qint16(20001));

    Game second;
    second.tavola.disparicmd_Click();
    QCOMPARE(second.stato().punti, qint16(-4));
    QCOMPARE(second.ui().Punteggio->text(), QStringLiteral("-4"));
    QCOMPARE(second.stato().giri, qint16(10001));
    second.tavola.paricmd2_Click();
    QCOMPARE(second.ui().Punteggio->text(), QStringLiteral(" -3"));
}

void TestPlay::scoreStopsAtTheSixteenBitBounds() {
    Game game;
    game.stato().punti = 32767;
    game.tavola.paricmd1_Click();
    QCOMPARE(game.stato().punti, qint16(32767));
    QCOMPARE(game.ui().Punteggio->text(), QStringLiteral(" 32767"));
    game.stato().punti = -32766;
    game.tavola.disparicmd1_Click();
    QCOMPARE(game.stato().punti, qint16(-32768));
    QCOMPARE(game.ui().Punteggio->text(), QStringLiteral("-32768"));
}

void TestPlay::warningQuotesTheCaptionShown_data() {
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");
    QTest::newRow("disparicmd") << int(Bersaglio::disparicmd) << "28"
                                << "Attenzione!  28  non è  un numero divisibile per 25";
    QTest::newRow("disparicmd1") << int(Bersaglio::disparicmd1) << "27"
                                 << "Attenzione! Hai sbagliato:  27   non è  un numero "
                                    "divisibile per 25";
    QTest::newRow("disparicmd2") << int(Bersaglio::disparicmd2) << "4978"
                                 << "Attenzione!  4978  non è  un numero divisibile per 25";
}

void TestPlay::warningQuotesTheCaptionShown() {
    QFETCH(int, target);
    QFETCH(QString, caption);
    QFETCH(QString, text);
    Game game;
    game.target(Bersaglio(target))->setText(caption);
    (game.tavola.*std::array{&Tavola::paricmd_Click, &Tavola::paricmd1_Click,
                             &Tavola::paricmd2_Click, &Tavola::disparicmd_Click,
                             &Tavola::disparicmd1_Click, &Tavola::disparicmd2_Click}[target])();
    QCOMPARE(game.doubles.dialogs.boxes.size(), 1);
    QCOMPARE(game.doubles.dialogs.boxes[0].text, text);
    QCOMPARE(game.doubles.dialogs.boxes[0].buttons, 0);
    QCOMPARE(game.doubles.dialogs.boxes[0].title, QStringLiteral("Corvalto"));
}

void TestPlay::warningQuotesANumberDealtByTheMotion() {
    Game game;
    game.forceArrangement(2); // re-deals disparicmd1
    game.tavola.Timer2_Timer();
    const QString dealt = game.target(Bersaglio::disparicmd1)->text();
    QCOMPARE(dealt.toInt() % 25, 1);
    game.tavola.disparicmd1_Click();
    QCOMPARE(game.doubles.dialogs.boxes[0].text,
             "Attenzione! Hai sbagliato:  " + dealt + "   non è  un numero divisibile per 25");
}

void TestPlay::newNumbersAfterAHit_data() {
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("step");      // 25: multiples of 25 plus `remainder`
    QTest::addColumn<int>("remainder"); // -1: any number that is not a multiple of 25
    QTest::newRow("paricmd") << int(Bersaglio::paricmd) << 25 << 2500 << 25 << 0;
    QTest::newRow("paricmd1") << int(Bersaglio::paricmd1) << 75 << 2550 << 25 << 0;
    QTest::newRow("paricmd2") << int(Bersaglio::paricmd2) << 75 << 1050 << 25 << 0;
    QTest::newRow("disparicmd") << int(Bersaglio::disparicmd) << 2 << 251 << 1 << -1;
    QTest::newRow("disparicmd1") << int(Bersaglio::disparicmd1) << 27 << 2502 << 25 << 2;
    QTest::newRow("disparicmd2") << int(Bersaglio::disparicmd2) << 3 << 4978 << 25 << 3;
}

void TestPlay::newNumbersAfterAHit() {
    QFETCH(int, target);
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, remainder);
    const auto handler = std::array{&Tavola::paricmd_Click,     &Tavola::paricmd1_Click,
                                    &Tavola::paricmd2_Click,    &Tavola::disparicmd_Click,
                                    &Tavola::disparicmd1_Click, &Tavola::disparicmd2_Click}[target];
    Game game;
    const Stato before = game.stato();
    GraphicButton* button = game.target(Bersaglio(target));
    int smallest = 1 << 20;
    int largest = -1;
    for (int hit = 0; hit < 400; ++hit) {
        button->show();
        (game.tavola.*handler)();
        const int value = number(button);
        QVERIFY2(value >= low && value <= high, qPrintable(QString::number(value)));
        if (remainder < 0)
            QVERIFY2(value % 25 != 0, qPrintable(QString::number(value)));
        else
            QCOMPARE(value % 25, remainder);
        smallest = qMin(smallest, value);
        largest = qMax(largest, value);
        QVERIFY(button->isHidden());
        QCOMPARE(button->backColor(), QColor(0, 255, 255));
    }
    QVERIFY(largest - smallest > (high - low) / 2);
    // Only the clicked button's own number changes in the game state, and for
    // disparicmd and disparicmd1 not even that one.
    QCOMPARE(game.stato().numdispari, before.numdispari);
    QCOMPARE(game.stato().numdispari1, before.numdispari1);
    const qint16 Stato::*fields[] = {&Stato::numpari, &Stato::numpari1, &Stato::numpari2,
                                     nullptr,         nullptr,          &Stato::numdispari2};
    for (int i = 0; i < 6; ++i) {
        if (fields[i] && i != target)
            QCOMPARE(game.stato().*fields[i], before.*fields[i]);
    }
    if (fields[target])
        QCOMPARE(int(game.stato().*fields[target]), number(button));
}

void TestPlay::rightHitOrder() {
    Game game;
    GraphicButton* button = game.target(Bersaglio::paricmd1);
    button->show();
    QString atSound;
    game.doubles.sound.onPlay = [&](const QString&) {
        // After the flash and the score, before the label and the hiding.
        const QColor face = button->grab().toImage().pixelColor(40, 20);
        atSound = QStringLiteral("%1 %2 %3 %4")
                      .arg(game.stato().punti)
                      .arg(game.ui().Punteggio->text())
                      .arg(button->isVisible())
                      .arg(face.name());
    };
    game.tavola.paricmd1_Click();
    QCOMPARE(atSound, QStringLiteral("1 0 1 #00ff00"));
    QCOMPARE(game.doubles.sound.played,
             QStringList{game.doubles.folders.programFolder() + "/suoni/sparo.wav"});
    QVERIFY(game.doubles.dialogs.boxes.isEmpty());
    QCOMPARE(game.ui().Punteggio->text(), QStringLiteral(" 1"));
    QVERIFY(button->isHidden());
}

void TestPlay::wrongHitOrderWithATickDuringTheWarning() {
    Game game;
    game.tavola.Form_Click(); // the motion runs
    GraphicButton* button = game.target(Bersaglio::disparicmd);
    button->show();
    button->setText(QStringLiteral("53"));
    game.doubles.log.clear();

    QString duringBox;
    game.doubles.dialogs.whileOpen = [&](const Box&) {
        const QColor face = button->grab().toImage().pixelColor(40, 20);
        duringBox = QStringLiteral("%1 %2 %3")
                        .arg(game.ui().Punteggio->text())
                        .arg(button->isVisible())
                        .arg(face.name());
        // The motion goes on behind the box; this arrangement shows disparicmd.
        game.forceArrangement(4);
        game.tavola.Timer2_Timer();
        QVERIFY(button->isVisible());
    };
    game.tavola.disparicmd_Click();

    QCOMPARE(game.doubles.log.mid(0, 2),
             (QStringList{"sound:esplosi.wav",
                          "box:Attenzione!  53  non è  un numero divisibile per 25"}));
    QCOMPARE(duringBox, QStringLiteral("0 1 #ff0000"));
    QCOMPARE(game.ui().Punteggio->text(), QStringLiteral("-4"));
    QVERIFY(button->isHidden()); // hidden after the box, whatever the tick did
    QCOMPARE(button->backColor(), QColor(0, 255, 255));
    QVERIFY(game.ui().Timer2->isActive());
}

QTEST_MAIN(TestPlay)
#include "tst_play.moc"
