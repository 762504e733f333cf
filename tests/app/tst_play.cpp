#include "board.h"
#include "boardlabel.h"
#include "game.h"

#include <QElapsedTimer>
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
    void boardClicksKeepTheMotionsPace();

    void scoreTextsAfterHits();
    void scoreStopsAtTheSixteenBitBounds();
    void warningQuotesTheCaptionShown_data();
    void warningQuotesTheCaptionShown();
    void newNumbersAfterAHit_data();
    void newNumbersAfterAHit();
    void rightHitOrder();
    void wrongHitOrderWithATickDuringTheWarning();
};

namespace {

// The number a target shows, written in digits alone; -1 for any other caption.
int number(GraphicButton* button) {
    const int value = button->text().toInt();
    return QString::number(value) == button->text() ? value : -1;
}

} // namespace

// Every range the game deals from is checked at both ends: the generator is steered to the
// lowest and to the highest draw of the one value under test, which must then be exactly the
// end the rules give; the other values fall as they may and must stay in their ranges.
void TestPlay::dealingGivesEachTargetItsKindOfNumber() {
    struct Rule {
        Bersaglio target;
        qint16 Stato::*field;
        qint16 preset;
        int low, high;
    };
    const Rule rules[] = {
        {Bersaglio::disparicmd, &Stato::numdispari, 22, 28, 2503},
        {Bersaglio::disparicmd1, &Stato::numdispari1, 25, 27, 2502},
        {Bersaglio::disparicmd2, &Stato::numdispari2, 31, 26, 2501},
        {Bersaglio::paricmd, &Stato::numpari, 303, 25, 2500},
        {Bersaglio::paricmd1, &Stato::numpari1, 201, 25, 3750},
        {Bersaglio::paricmd2, &Stato::numpari2, 399, 25, 2500},
    };
    Game game;
    for (int row = 0; row < 6; ++row) {
        const int span = (rules[row].high - rules[row].low) / 25 + 1;
        for (int draw : {0, span - 1}) {
            // Row by row, each re-seeds with its own preset and draws once.
            game.steer([&](Generatore& g) {
                for (int before = 0; before < row; ++before, g.draw())
                    g.reseed(rules[before].preset);
                g.reseed(rules[row].preset);
                return g.below(span) == draw;
            });
            game.stato().punti = 17;
            game.ui().Punteggio->setText(QStringLiteral(" 17"));
            game.tavola.Form_Activate();
            QCOMPARE(number(game.target(rules[row].target)), rules[row].low + 25 * draw);
            for (const Rule& rule : rules) {
                const int value = number(game.target(rule.target));
                QCOMPARE(value, int(game.stato().*rule.field));
                QVERIFY2(value >= rule.low && value <= rule.high,
                         qPrintable(QString::number(value)));
                QCOMPARE(value % 25, rule.low % 25);
            }
            QCOMPARE(game.stato().punti, qint16(0));
            QCOMPARE(game.ui().Punteggio->text(), QStringLiteral("0"));
        }
    }
}

void TestPlay::activationsWithTheSamePresetsDealDifferentNumbers() {
    Game game;
    const auto captions = [&] {
        QStringList list;
        for (Bersaglio target : allTargets)
            list << game.target(target)->text();
        return list;
    };
    const QStringList first = captions();
    game.tavola.Form_Activate();
    const QStringList second = captions();
    int same = 0;
    for (int i = 0; i < first.size(); ++i)
        same += first[i] == second[i];
    QVERIFY2(same <= 1, qPrintable(first.join(u' ') + QStringLiteral(" / ") + second.join(u' ')));
}

// Per arrangement: the targets' visibility after the tick (from all hidden and from all
// shown), then its draws in order: each jump as target.axis=low-high in board units, and
// the re-deal as target=low-high, a number in steps of 25.
void TestPlay::motionTick_data() {
    QTest::addColumn<int>("k");
    QTest::addColumn<QString>("shown"); // shown after a tick from all hidden / from all shown
    QTest::addColumn<QString>("draws");

    // Order of the letters: paricmd, paricmd1, paricmd2, disparicmd, disparicmd1, disparicmd2.
    QTest::newRow("k=1") << 1 << "101000/101100"
                         << "disparicmd.x=0-449 disparicmd.y=0-1099 paricmd1.x=0-2499 "
                            "paricmd.y=0-599";
    QTest::newRow("k=2") << 2 << "110011/111111"
                         << "paricmd.x=0-799 paricmd.y=0-799 paricmd1.x=0-2499 paricmd1.y=0-2499 "
                            "disparicmd1=76-5051";
    QTest::newRow("k=3") << 3 << "000011/001011"
                         << "paricmd2.y=0-149 paricmd1.y=0-2499 disparicmd1.y=0-2499 "
                            "disparicmd2.y=0-149 disparicmd2.x=0-49 disparicmd=77-7552";
    QTest::newRow("k=4") << 4 << "011110/111110"
                         << "disparicmd.x=1-2500 disparicmd.y=1-1000 paricmd1.y=0-499 "
                            "paricmd1.x=0-2499";
    QTest::newRow("k=5") << 5 << "000010/001010"
                         << "paricmd2.y=0-199 paricmd1.y=0-2499 disparicmd1.y=0-899 "
                            "disparicmd2.y=0-499 disparicmd.y=0-2499 disparicmd2=78-7553";
    QTest::newRow("k=6") << 6 << "000001/101101"
                         << "paricmd.y=0-199 paricmd2.y=0-249 disparicmd.y=0-899 "
                            "disparicmd1.y=0-69 disparicmd2.y=0-249 disparicmd1.x=0-2499 "
                            "disparicmd2=80-2055";
}

void TestPlay::motionTick() {
    QFETCH(int, k);
    QFETCH(QString, shown);
    QFETCH(QString, draws);

    const QStringList names = {"paricmd",    "paricmd1",    "paricmd2",
                               "disparicmd", "disparicmd1", "disparicmd2"};
    qint16 Stato::*const fields[] = {&Stato::numpari,    &Stato::numpari1,    &Stato::numpari2,
                                     &Stato::numdispari, &Stato::numdispari1, &Stato::numdispari2};
    struct Draw {
        int target, what, low, high, step; // what: 0 x, 1 y, 2 the new number
    };
    std::vector<Draw> rules;
    for (const QString& rule : draws.split(u' ')) {
        const int what = rule.contains(u".x") ? 0 : rule.contains(u".y") ? 1 : 2;
        rules.push_back({int(names.indexOf(rule.section(u'=', 0, 0).section(u'.', 0, 0))), what,
                         rule.section(u'=', 1).section(u'-', 0, 0).toInt(),
                         rule.section(u'-', -1).toInt(), what == 2 ? 25 : 1});
    }
    Game game;
    const auto seen = [&] {
        std::array<std::array<int, 3>, 6> values; // per target: x, y, number
        for (int i = 0; i < 6; ++i) {
            GraphicButton* b = game.target(allTargets[i]);
            values[i] = {b->x(), b->y(), number(b)};
        }
        return values;
    };
    const BoardScale scale = game.ui().board->scale();
    bool startHidden = false;
    for (size_t steered = 0; steered < rules.size(); ++steered) {
        const Draw& rule = rules[steered];
        const int span = (rule.high - rule.low) / rule.step + 1;
        for (int draw : {0, span - 1}) {
            startHidden = !startHidden;
            for (Bersaglio target : allTargets) {
                game.target(target)->setVisible(!startHidden);
                game.target(target)->move(-7000, -7000); // outside every jump's range
            }
            const auto before = seen();
            // The tick draws its arrangement, its jumps in order, then re-seeds with the
            // target's own number and draws the new one.
            game.steer([&](Generatore& g) {
                if (game.tickArrangement(g) != k)
                    return false;
                for (size_t i = 0; i < steered; ++i)
                    g.draw();
                if (rule.what == 2)
                    g.reseed(qint16(before[rule.target][2]));
                return g.below(span) == draw;
            });
            game.tavola.Timer2_Timer();

            const QString expected = shown.split(u'/')[startHidden ? 0 : 1];
            for (int i = 0; i < 6; ++i)
                QVERIFY2(game.target(allTargets[i])->isVisibleTo(game.ui().board) ==
                             (expected[i] == u'1'),
                         qPrintable(names[i]));
            // The steered value lands on its end, every other drawn value in its range, and
            // whatever is not drawn keeps its value.
            auto after = seen();
            for (size_t i = 0; i < rules.size(); ++i) {
                const Draw& r = rules[i];
                int& at = after[r.target][r.what];
                const auto place = [&](int v) { return r.what == 1 ? scale.yToPixels(v) : v; };
                const QString what =
                    names[r.target] + u'.' + "xyn"[r.what] + u'=' + QString::number(at);
                if (i == steered)
                    QVERIFY2(at == place(r.low + r.step * draw), qPrintable(what));
                QVERIFY2(at >= place(r.low) && at <= place(r.high), qPrintable(what));
                QVERIFY2((at - r.low) % r.step == 0, qPrintable(what));
                at = before[r.target][r.what];
            }
            QVERIFY(after == before);
            for (int i = 0; i < 6; ++i)
                QCOMPARE(int(game.stato().*fields[i]), number(game.target(allTargets[i])));
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

// A child may click the board again and again: each click plays the laser and moves the
// targets at once, and the motion keeps its pace, its first tick of its own coming 1.3 s after
// the first click, seen as the targets changing between two clicks.
void TestPlay::boardClicksKeepTheMotionsPace() {
    Game game;
    const qint16 rosso = game.stato().rosso;
    const qint16 verde = game.stato().verde;
    const auto seen = [&] {
        QString targets;
        for (Bersaglio target : allTargets) {
            GraphicButton* b = game.target(target);
            targets += QStringLiteral("%1 %2 %3,%4; ")
                           .arg(b->isVisibleTo(game.ui().board) ? u"shown" : u"hidden", b->text())
                           .arg(b->x())
                           .arg(b->y());
        }
        return targets;
    };
    const QString stillBefore = seen();
    QTest::qWait(100);
    QCOMPARE(seen(), stillBefore); // nothing moves before the first click

    int clicks = 0;
    QString afterClick;
    qint64 tickAt = -1;
    QElapsedTimer sinceFirstClick;
    sinceFirstClick.start();
    while (tickAt < 0 && sinceFirstClick.elapsed() < 2500) {
        if (sinceFirstClick.elapsed() >= 250 * clicks) {
            QTest::mouseClick(game.ui().board, Qt::LeftButton, {}, QPoint(4, 660));
            afterClick = seen();
            QVERIFY(afterClick.contains(u"shown")); // every arrangement shows a target
            ++clicks;
        }
        QTest::qWait(5);
        if (seen() != afterClick)
            tickAt = sinceFirstClick.elapsed();
    }
    QVERIFY2(tickAt >= 1200 && tickAt <= 1700, qPrintable(QString::number(tickAt)));
    QCOMPARE(game.doubles.sound.played,
             QStringList(clicks, game.doubles.folders.programFolder() + "/suoni/laser.wav"));
    // Its colours are its own: the game state's factors stay.
    QCOMPARE(game.stato().rosso, rosso);
    QCOMPARE(game.stato().verde, verde);
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

void TestPlay::newNumbersAfterAHit_data() {
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("seed");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("step"); // 1: any number from low to high but the multiples of 25
    QTest::newRow("paricmd") << int(Bersaglio::paricmd) << 633 << 25 << 2500 << 25;
    QTest::newRow("paricmd1") << int(Bersaglio::paricmd1) << 399 << 75 << 2550 << 25;
    QTest::newRow("paricmd2") << int(Bersaglio::paricmd2) << 999 << 75 << 1050 << 25;
    QTest::newRow("disparicmd") << int(Bersaglio::disparicmd) << 307 << 2 << 251 << 1;
    QTest::newRow("disparicmd1") << int(Bersaglio::disparicmd1) << 101 << 27 << 2502 << 25;
    QTest::newRow("disparicmd2") << int(Bersaglio::disparicmd2) << 37 << 3 << 4978 << 25;
}

void TestPlay::newNumbersAfterAHit() {
    QFETCH(int, target);
    QFETCH(int, seed);
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, step);
    const auto handler = std::array{&Tavola::paricmd_Click,     &Tavola::paricmd1_Click,
                                    &Tavola::paricmd2_Click,    &Tavola::disparicmd_Click,
                                    &Tavola::disparicmd1_Click, &Tavola::disparicmd2_Click}[target];
    Game game;
    const Stato before = game.stato();
    GraphicButton* button = game.target(Bersaglio(target));
    const int span = (high - low) / step + 1;
    // Both ends, a draw between them, and the draw that would give disparicmd 250.
    for (int draw : {0, span - 1, 23, 248}) {
        if (draw >= span)
            continue;
        // The handler re-seeds with its own seed value and draws the new number.
        game.steer([&](Generatore& g) {
            g.reseed(qint16(seed));
            return g.below(span) == draw;
        });
        button->show();
        (game.tavola.*handler)();
        const int value = number(button);
        if (step == 1 && (low + draw) % 25 == 0)
            QVERIFY2(value % 25 != 0 && value >= low && value <= high, qPrintable(button->text()));
        else
            QCOMPARE(value, low + step * draw);
        QVERIFY(button->isHidden());
        QCOMPARE(button->backColor(), QColor(0, 255, 255));
    }
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
