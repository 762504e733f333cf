#include "platform.h"
#include "qtplatform.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

// The standard dialogs' buttons follow the desktop's language, as the platform's own dialogs
// would; the game's texts stay as they are.
class TestTranslations : public QObject {
    Q_OBJECT

private slots:
    void italianDesktopGetsItalianButtons();
};

void TestTranslations::italianDesktopGetsItalianButtons() {
    loadQtTranslations();
    QtDialogs dialogs;
    QStringList buttons;
    QString text;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        text = box->text();
        for (QAbstractButton* button : box->buttons())
            buttons << button->text().remove(u'&');
        box->button(QMessageBox::Yes)->click();
    });
    const int answer = dialogs.messageBox(QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"), 292,
                                          QStringLiteral("INIZIARE NUOVA GARA"));
    QCOMPARE(answer, box::yes);
    QCOMPARE(text, QStringLiteral("INIZIAMO UNA NUOVA GARA  ?"));
    buttons.sort();
    QCOMPARE(buttons, (QStringList{"No", "Sì"}));
}

int main(int argc, char* argv[]) {
    // The desktop's language, as a session would set it, before Qt reads it.
    qputenv("LANG", "it_IT.UTF-8");
    qputenv("LANGUAGE", "it");
    qputenv("LC_ALL", "it_IT.UTF-8");
    QApplication app(argc, argv);
    TestTranslations test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_translations.moc"
