#pragma once

#include "platform.h"
#include "player.h"
#include "summary.h"

#include <QDir>
#include <QString>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

// Stand-ins for the game's side effects while its handlers are timed: dialogs that answer at
// once (and note when a box was asked for), a clock that steps, folders inside the build tree.

class InstantDialogs : public Dialogs {
public:
    // When the last message box was asked for: the end of a wrong hit's visible work.
    BenchClock::time_point lastBoxAt;
    int boxes = 0;

    QString inputBox(const QString&, const QString&, const QString&) override {
        return QStringLiteral("Anna");
    }

    int messageBox(const QString&, int buttons, const QString&) override {
        lastBoxAt = BenchClock::now();
        ++boxes;
        return (buttons & 0x7) == box::yesNo ? box::no : box::ok;
    }
};

class SilentSound : public sound::Player {
public:
    void play(const QString&) override {}
};

// The game ending during a benchmark means the figures are of something else: stop loudly.
class RefusedEnding : public Ending {
public:
    [[noreturn]] void endProgram(int status) override {
        std::fprintf(stderr, "bench: the game tried to end (status %d)\n", status);
        std::fflush(nullptr);
        std::_Exit(3);
    }
};

// Steps a millisecond at every reading, so that every run draws the same colours and moves.
class SteppingClock : public Clock {
public:
    quint64 now = 36'000'000'000ULL;
    quint64 timeOfDay() override { return now += 1000; }
};

class BuildTreeFolders : public Folders {
public:
    QString programFolder() override { return QStringLiteral(CORVALTO_BENCH_PROGRAM_DIR); }
    QString windowsDirectory() override {
        const QString dir = QStringLiteral(CORVALTO_BENCH_RECORD_DIR);
        QDir().mkpath(dir);
        return dir;
    }
};
