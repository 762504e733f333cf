#include "qtplatform.h"

#include "recordfiles.h"
#include "titlebar.h"

#include <QApplication>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// Boxes belong to the visible game window, when there is one, so that they stand over it.
QWidget* dialogParent() {
    return QApplication::activeWindow();
}

QMessageBox::Icon iconOf(int buttons) {
    switch (buttons & 0x70) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

struct Answer {
    QMessageBox::StandardButton button;
    int value;
};

// The button sets of the buttons-and-icon value, with the answers their buttons give.
QList<Answer> buttonsOf(int buttons) {
    switch (buttons & 0x7) {
    case 1:
        return {{QMessageBox::Ok, 1}, {QMessageBox::Cancel, 2}};
    case 2:
        return {{QMessageBox::Abort, 3}, {QMessageBox::Retry, 4}, {QMessageBox::Ignore, 5}};
    case 3:
        return {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}, {QMessageBox::Cancel, 2}};
    case 4:
        return {{QMessageBox::Yes, 6}, {QMessageBox::No, 7}};
    case 5:
        return {{QMessageBox::Retry, 4}, {QMessageBox::Cancel, 2}};
    default:
        return {{QMessageBox::Ok, 1}};
    }
}

} // namespace

QString QtDialogs::inputBox(const QString& prompt, const QString& title,
                            const QString& defaultText) {
    QInputDialog dialog(dialogParent());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(defaultText);
    // The longest name the record can keep; a QLineEdit's own limit, said where it matters.
    if (auto* edit = dialog.findChild<QLineEdit*>())
        edit->setMaxLength(int(record::core::longestName));
    addTitleBarWhereNeeded(&dialog);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.textValue();
}

int QtDialogs::messageBox(const QString& text, int buttons, const QString& title) {
    QMessageBox box(dialogParent());
    box.setWindowTitle(title);
    // Texts can carry a typed name: never read them as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setIcon(iconOf(buttons));
    const QList<Answer> answers = buttonsOf(buttons);
    for (const Answer& answer : answers)
        box.addButton(answer.button);
    const int defaultIndex = qMin(int(answers.size()) - 1, (buttons >> 8) & 0x3);
    box.setDefaultButton(answers[defaultIndex].button);
    addTitleBarWhereNeeded(&box);
    box.exec();
    const QAbstractButton* clicked = box.clickedButton();
    for (const Answer& answer : answers) {
        if (clicked == box.button(answer.button))
            return answer.value;
    }
    // Closed without a button: the answer of the box's escape button, else the last one.
    return answers.size() == 1 ? answers.front().value : answers.back().value;
}

void choosePlatform() {
#ifndef Q_OS_WIN
    // Qt tries the platforms in turn: where DISPLAY names no reachable X server, xcb gives up
    // at once (with a warning) and Wayland follows. Windows has one platform, whatever DISPLAY
    // says (Wine passes it on).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && !qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb;wayland");
#endif
}

void QtEnding::endProgram(int status) {
    // At once: no handler waiting in a dialog may resume, as it would after
    // QCoreApplication::exit(). Files are always closed by the procedure that opened them.
    std::fflush(nullptr);
#ifdef Q_OS_WIN
    // _Exit is ExitProcess there, which ends the other threads where they stand and only then
    // runs every library's detach code; Microsoft documents that this deadlocks when an ended
    // thread held a lock that detach code takes, as the sound worker, ended inside winmm, may.
    // No such hang has been seen here (Wine); TerminateProcess runs no detach code at all.
    TerminateProcess(GetCurrentProcess(), UINT(status));
#endif
    std::_Exit(status);
}

quint64 SystemClock::timeOfDay() {
    using namespace std::chrono;
    const auto now = duration_cast<microseconds>(system_clock::now().time_since_epoch());
    return quint64(now.count()) % (24ULL * 60 * 60 * 1000 * 1000);
}

QString SystemFolders::programFolder() {
    return QCoreApplication::applicationDirPath();
}

QString SystemFolders::windowsDirectory() {
    return record::systemDirectory();
}

void loadQtTranslations() {
    auto* translator = new QTranslator(qApp);
    if (translator->load(QLocale::system(), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}
