#include "audioplayer.h"
#include "boardlabel.h"
#include "game.h"

#include <QFile>

// A long stretch of play, meant for the sanitizer build: thousands of ticks, hits of every
// kind with ticks inside their warnings, new games and a record store, with the real sound
// player. The number of live widgets must not grow from one game to the next.
class TestSoak : public QObject {
    Q_OBJECT

private slots:
    void manyGamesLeaveNothingBehind();
};

void TestSoak::manyGamesLeaveNothingBehind() {
    QStringList log;
    ScriptedDialogs dialogs(log);
    sound::AudioPlayer player(QStringLiteral(
        CORVALTO_AUDIO_MODULE)); // sounds from a folder that has none: silence, every time
    ThrowingEnding ending;
    SteppingClock clock;
    TempFolders folders;
    Tavola tavola({dialogs, player, ending, clock, folders});

    const auto handlers = std::array{&Tavola::paricmd_Click,     &Tavola::paricmd1_Click,
                                     &Tavola::paricmd2_Click,    &Tavola::disparicmd_Click,
                                     &Tavola::disparicmd1_Click, &Tavola::disparicmd2_Click};
    int nested = 0;
    dialogs.whileOpen = [&](const Box& box) {
        // The clock and the motion go on behind every warning.
        if (box.text.startsWith(u"Attenzione") && nested == 0) {
            ++nested;
            tavola.Timer2_Timer();
            tavola.Timer1_Timer();
            --nested;
        }
    };

    dialogs.names.push_back(QStringLiteral("Anna"));
    tavola.Form_Initialize();
    tavola.Show();
    qsizetype widgetsPerGame = -1;
    const int games = 12;
    for (int game = 0; game < games; ++game) {
        tavola.Form_Click();
        for (int step = 0; step < 300; ++step) {
            tavola.Timer2_Timer();
            tavola.Timer1_Timer();
            if (step % 10 == 0)
                (tavola.*handlers[(step / 10) % 6])();
        }
        log.clear();
        dialogs.boxes.clear();
        dialogs.answers.push_back(box::yes);
        dialogs.names.push_back(QStringLiteral("Gioco %1").arg(game));
        tavola.Next_Click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(tavola.ui().lblnome1->text(), QStringLiteral("Gioco %1").arg(game));
        const qsizetype widgets = QApplication::allWidgets().size();
        if (widgetsPerGame < 0)
            widgetsPerGame = widgets;
        QCOMPARE(widgets, widgetsPerGame);
    }

    // A last game beats the record: it is stored, and the program ends.
    tavola.paricmd_Click();
    try {
        tavola.cmdExit_Click();
        QFAIL("the game end returned");
    } catch (const ProgramEnded& end) {
        QCOMPARE(end.status, 0);
    }
    QFile score(folders.recordFolder() + "/avelmora.txt");
    QVERIFY(score.open(QIODevice::ReadOnly));
    QCOMPARE(score.readAll(), QByteArray(" 1\r\n"));
    QVERIFY(player.report().requested > 0);
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
