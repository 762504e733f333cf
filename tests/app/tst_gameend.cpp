#include "boardlabel.h"
#include "game.h"
#include "qtplatform.h"

#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

// The countdown clock, the game end with its record, and "Nuovo gioco".
class TestGameEnd : public QObject {
    Q_OBJECT

private slots:
    void clockCountsDownAndEndsOnTheTickAfterZero();
    void clockTickDuringTheWarningEndsTheGame();
    void clockTickDuringNewGameQuestionEndsTheGame();
    void furtherTicksStartNoSecondGoodbye();

    void exitStoresOnlyABetterScore_data();
    void exitStoresOnlyABetterScore();

    void newGameNoChangesNothing();
    void newGameYesDropsTheScoreAndReadsTheRecordAgain();
    void realQuestionBoxAnswersNoToEnter();
};

namespace {

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QStringList boxTexts(const Game& game) {
    QStringList texts;
    for (const Box& box : game.doubles.dialogs.boxes)
        texts << box.text;
    return texts;
}

} // namespace

void TestGameEnd::clockCountsDownAndEndsOnTheTickAfterZero() {
    Game game;
    QCOMPARE(game.ui().lblconto->text(), QStringLiteral("00:15:00"));
    QCOMPARE(game.ui().Timer1->interval(), 1000);
    const std::pair<int, const char*> checkpoints[] = {
        {1, "00:14:59"}, {60, "00:14:00"}, {61, "00:13:59"}, {899, "00:00:01"}, {900, "00:00:00"}};
    int ticks = 0;
    for (const auto& [after, text] : checkpoints) {
        while (ticks < after) {
            game.tavola.Timer1_Timer();
            ++ticks;
        }
        QCOMPARE(game.ui().lblconto->text(), QString::fromLatin1(text));
    }
    QVERIFY(game.doubles.dialogs.boxes.isEmpty()); // the tick that writes 00:00:00 ends nothing
    QCOMPARE(endStatus([&] { game.tavola.Timer1_Timer(); }), 0);
    QCOMPARE(boxTexts(game), QStringList{"              Ciao a presto."});
    QCOMPARE(game.stato().attesa, qint16(1001));
}

void TestGameEnd::clockTickDuringTheWarningEndsTheGame() {
    Game game;
    game.ui().lblconto->setText(QStringLiteral("00:00:00"));
    game.doubles.dialogs.whileOpen = [&](const Box& box) {
        if (box.text.startsWith(u"Attenzione"))
            game.tavola.Timer1_Timer();
    };
    QCOMPARE(endStatus([&] { game.tavola.disparicmd_Click(); }), 0);
    QCOMPARE(boxTexts(game).size(), 2);
    QCOMPARE(boxTexts(game).last(), QStringLiteral("              Ciao a presto."));
    // The wrong-hit handler never resumed: no -4.
    QCOMPARE(game.stato().punti, qint16(0));
    QCOMPARE(game.ui().Punteggio->text(), QStringLiteral("0"));
}

void TestGameEnd::clockTickDuringNewGameQuestionEndsTheGame() {
    Game game;
    game.ui().lblconto->setText(QStringLiteral("00:00:00"));
    game.doubles.dialogs.whileOpen = [&](const Box& box) {
        if (box.text == u"INIZIAMO UNA NUOVA GARA  ?")
            game.tavola.Timer1_Timer();
    };
    game.doubles.dialogs.answers = {box::ok, box::yes};
    QCOMPARE(endStatus([&] { game.tavola.Next_Click(); }), 0);
    QCOMPARE(game.doubles.dialogs.prompts.size(), 0); // no new game began
}

void TestGameEnd::furtherTicksStartNoSecondGoodbye() {
    Game game;
    game.ui().lblconto->setText(QStringLiteral("00:00:00"));
    game.doubles.dialogs.whileOpen = [&](const Box&) {
        for (int i = 0; i < 5; ++i)
            game.tavola.Timer1_Timer();
    };
    QCOMPARE(endStatus([&] { game.tavola.Timer1_Timer(); }), 0);
    QCOMPARE(boxTexts(game), QStringList{"              Ciao a presto."});
}

void TestGameEnd::exitStoresOnlyABetterScore_data() {
    QTest::addColumn<QByteArray>("storedScore"); // nullptr-like "<none>": no files yet
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("score"); // the score label at the end
    QTest::addColumn<bool>("stored");
    QTest::addColumn<QByteArray>("scoreFile");
    QTest::addColumn<QByteArray>("nameFile");

    QTest::newRow("first run, score 0") << QByteArray("<none>") << "Anna"
                                        << "0" << false << QByteArray() << QByteArray();
    QTest::newRow("first run, score 1")
        << QByteArray("<none>") << "Anna"
        << " 1" << true << QByteArray(" 1\r\n") << QByteArray("Anna\r\n");
    QTest::newRow("equal is not stored")
        << QByteArray(" 12\r\n") << "Anna"
        << " 12" << false << QByteArray(" 12\r\n") << QByteArray("Zed\r\n");
    QTest::newRow("one more is stored")
        << QByteArray(" 12\r\n") << "Anna"
        << " 13" << true << QByteArray(" 13\r\n") << QByteArray("Anna\r\n");
    QTest::newRow("after a wrong hit, four bytes")
        << QByteArray("11\r\n") << "Anna"
        << "12" << true << QByteArray("12\r\n") << QByteArray("Anna\r\n");
    QTest::newRow("negative record beaten")
        << QByteArray("-9\r\n") << "Anna"
        << "-4" << true << QByteArray("-4\r\n") << QByteArray("Anna\r\n");
    QTest::newRow("empty name") << QByteArray("3\r\n") << ""
                                << " 4" << true << QByteArray(" 4\r\n") << QByteArray("\r\n");
    QTest::newRow("accented name")
        << QByteArray() << "Niccolò è"
        << " 2" << true << QByteArray(" 2\r\n") << QByteArray("Niccolò è\r\n");
    QTest::newRow("word after the record")
        << QByteArray("12 punti\r\n") << "Anna"
        << " 12" << false << QByteArray("12 punti\r\n") << QByteArray("Zed\r\n");
    QTest::newRow("letters read as 0")
        << QByteArray("dodici\r\n") << "Anna"
        << " 1" << true << QByteArray(" 1\r\n") << QByteArray("Anna\r\n");
}

void TestGameEnd::exitStoresOnlyABetterScore() {
    QFETCH(QByteArray, storedScore);
    QFETCH(QString, name);
    QFETCH(QString, score);
    QFETCH(bool, stored);
    QFETCH(QByteArray, scoreFile);
    QFETCH(QByteArray, nameFile);

    Doubles doubles;
    const QString folder = doubles.folders.recordFolder();
    if (storedScore != "<none>") {
        write(folder + "/avelmora.txt", storedScore);
        write(folder + "/velmora.txt", "Zed\r\n");
    }
    Tavola tavola(doubles.platform());
    doubles.dialogs.names.push_back(name);
    tavola.Form_Initialize();
    tavola.Show();
    // The record labels hold the files exactly as read.
    QCOMPARE(tavola.ui().lblpunti->text().toUtf8(), storedScore == "<none>" ? "" : storedScore);
    tavola.ui().Punteggio->setText(score);
    doubles.dialogs.boxes.clear();

    QCOMPARE(endStatus([&] { tavola.cmdExit_Click(); }), 0);
    QStringList expectedBoxes{"              Ciao a presto."};
    if (stored)
        expectedBoxes << "Ok ho registrato il tuo record, C A M P I O N E\"";
    QStringList texts;
    for (const Box& box : doubles.dialogs.boxes) {
        texts << box.text;
        QCOMPARE(box.title, QStringLiteral("Corvalto"));
        QCOMPARE(box.buttons, 0);
    }
    QCOMPARE(texts, expectedBoxes);
    QCOMPARE(contents(folder + "/avelmora.txt"), scoreFile);
    QCOMPARE(contents(folder + "/velmora.txt"), nameFile);
}

void TestGameEnd::newGameNoChangesNothing() {
    Game game;
    game.tavola.paricmd_Click();
    TavolaWindow* face = &game.ui();
    game.tavola.Timer1_Timer();
    game.doubles.dialogs.answers.push_back(box::no);
    game.tavola.Next_Click();
    const Box& question = game.doubles.dialogs.boxes.last();
    QCOMPARE(question.text, QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"));
    QCOMPARE(question.title, QStringLiteral("INIZIARE NUOVA GARA"));
    QCOMPARE(question.buttons, 292);
    QCOMPARE(&game.ui(), face);
    QCOMPARE(game.stato().punti, qint16(1));
    QCOMPARE(game.ui().lblconto->text(), QStringLiteral("00:14:59"));
    QVERIFY(game.ui().Timer1->isActive());
    QVERIFY(game.doubles.dialogs.prompts.isEmpty());
}

void TestGameEnd::newGameYesDropsTheScoreAndReadsTheRecordAgain() {
    Game game;
    const QString folder = game.doubles.folders.recordFolder();
    write(folder + "/avelmora.txt", " 2\r\n");
    write(folder + "/velmora.txt", "Zed\r\n");
    for (int i = 0; i < 3; ++i)
        game.tavola.paricmd_Click(); // 3 beats the record, but the game is abandoned
    game.doubles.dialogs.answers.push_back(box::yes);
    game.doubles.dialogs.names.push_back(QStringLiteral("Bruno"));
    game.tavola.Next_Click();
    QCOMPARE(game.doubles.dialogs.prompts, QStringList{"Come ti chiami?"});
    QCOMPARE(game.ui().lblnome1->text(), QStringLiteral("Bruno"));
    QCOMPARE(game.ui().lblpunti->text(), QStringLiteral(" 2\r\n"));
    QCOMPARE(game.ui().lblnome->text(), QStringLiteral("Zed\r\n"));
    QCOMPARE(game.stato().punti, qint16(0));
    QCOMPARE(game.ui().Punteggio->text(), QStringLiteral("0"));
    QCOMPARE(contents(folder + "/avelmora.txt"), QByteArray(" 2\r\n"));
    QCOMPARE(contents(folder + "/velmora.txt"), QByteArray("Zed\r\n"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestGameEnd::realQuestionBoxAnswersNoToEnter() {
    QtDialogs dialogs;
    QString seen;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        seen = box->windowTitle() + u'|' + box->text() + u'|' + QString::number(int(box->icon())) +
               u'|' + box->defaultButton()->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    const int answer = dialogs.messageBox(QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"), 292,
                                          QStringLiteral("INIZIARE NUOVA GARA"));
    QCOMPARE(answer, box::no);
    QCOMPARE(seen, QStringLiteral("INIZIARE NUOVA GARA|INIZIAMO UNA NUOVA GARA  ?|%1|&No")
                       .arg(int(QMessageBox::Question)));
}

QTEST_MAIN(TestGameEnd)
#include "tst_gameend.moc"
