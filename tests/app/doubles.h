#pragma once

#include "platform.h"
#include "player.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <deque>
#include <functional>

// Scripted stand-ins for the game's side effects. Every call is written to one shared log,
// so a test can check the order of dialogs, sounds and what the window showed meanwhile.

struct ProgramEnded {
    int status;
};

struct Box {
    QString text;
    int buttons;
    QString title;
};

class ScriptedDialogs : public Dialogs {
public:
    explicit ScriptedDialogs(QStringList& log)
        : m_log(log) {}

    // Answers for the input boxes, in order; an empty queue answers like Cancel.
    std::deque<QString> names;
    // Answers for the message boxes, in order; an empty queue answers OK (or No).
    std::deque<int> answers;
    // Runs while a message box is "open": timer ticks that fall due during the box.
    std::function<void(const Box&)> whileOpen;
    std::function<void()> whileInputOpen;

    QList<Box> boxes;
    QStringList prompts;

    QString inputBox(const QString& prompt, const QString& title, const QString& def) override {
        m_log << QStringLiteral("input:%1|%2|%3").arg(prompt, title, def);
        prompts << prompt;
        if (whileInputOpen)
            whileInputOpen();
        if (names.empty())
            return QString();
        QString name = names.front();
        names.pop_front();
        return name;
    }

    int messageBox(const QString& text, int buttons, const QString& title) override {
        m_log << QStringLiteral("box:%1").arg(text);
        boxes.append({text, buttons, title});
        if (whileOpen)
            whileOpen(boxes.back());
        if (answers.empty())
            return (buttons & 0x7) == box::yesNo ? box::no : box::ok;
        const int answer = answers.front();
        answers.pop_front();
        return answer;
    }

private:
    QStringList& m_log;
};

class RecordingSound : public sound::Player {
public:
    explicit RecordingSound(QStringList& log)
        : m_log(log) {}
    std::function<void(const QString&)> onPlay;
    QStringList played;
    int prepared = 0;

    void prepare() override { ++prepared; }

    void play(const QString& path) override {
        m_log << QStringLiteral("sound:%1").arg(path.section(u'/', -1));
        played << path;
        if (onPlay)
            onPlay(path);
    }

private:
    QStringList& m_log;
};

// Unwinds every waiting handler, as the real end of the program never returns to them.
class ThrowingEnding : public Ending {
public:
    [[noreturn]] void endProgram(int status) override { throw ProgramEnded{status}; }
};

// A clock that moves on by a millisecond at every reading, from a fixed start.
class SteppingClock : public Clock {
public:
    quint64 now = 36'000'000'000ULL;
    quint64 timeOfDay() override { return now += 1000; }
};

// The program's folder is a temporary one holding the built store; the record folder is the one
// that store was built for, emptied first (the tests that use it take CTest's lock on it).
class TempFolders : public Folders {
public:
    TempFolders() {
        QFile::link(QStringLiteral(CORVALTO_TEST_STORE), m_dir.filePath("corvalto-record"));
        QFile::remove(recordFolder()); // a test may leave a file in the folder's place
        QDir(recordFolder()).removeRecursively();
        QDir().mkpath(recordFolder());
    }
    QString programFolder() override { return m_dir.path(); }
    QString windowsDirectory() override { return recordFolder(); }
    QString recordFolder() const { return QStringLiteral(CORVALTO_RECORD_DIR); }

private:
    QTemporaryDir m_dir;
};

// Everything a Tavola needs, wired to the doubles above.
struct Doubles {
    QStringList log;
    ScriptedDialogs dialogs{log};
    RecordingSound sound{log};
    ThrowingEnding ending;
    SteppingClock clock;
    TempFolders folders;
    Platform platform() { return {dialogs, sound, ending, clock, folders}; }
};
