#pragma once

#include <QString>
#include <QtGlobal>

namespace sound {
class Player;
}

// The side effects of the game's handlers, each behind a small interface: the program wires
// the real ones (qtplatform.h), the tests scripted doubles.

// Buttons-and-icon values of a message box, summed, and the answers it returns.
namespace box {
inline constexpr int okOnly = 0;
inline constexpr int yesNo = 4;
inline constexpr int critical = 16;
inline constexpr int question = 32;
inline constexpr int defaultButton2 = 256;

inline constexpr int ok = 1;
inline constexpr int yes = 6;
inline constexpr int no = 7;
} // namespace box

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // The typed text, or the empty text on Cancel or close.
    virtual QString inputBox(const QString& prompt, const QString& title,
                             const QString& defaultText) = 0;
    // Waits until the box is closed; returns the answer (box::ok, box::yes, box::no).
    virtual int messageBox(const QString& text, int buttons, const QString& title) = 0;
};

class Ending {
public:
    virtual ~Ending() = default;
    // Ends the program at once: no waiting handler resumes.
    [[noreturn]] virtual void endProgram(int status) = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    // Microseconds since midnight, for re-seeding the generator.
    virtual quint64 timeOfDay() = 0;
};

class Folders {
public:
    virtual ~Folders() = default;
    // The program's own folder as the platform reports it, without a trailing separator.
    virtual QString programFolder() = 0;
    // The machine-wide folder of the record files (%ProgramData%\\Corvalto on Windows). May
    // fail with record::FileError.
    virtual QString windowsDirectory() = 0;
};

struct Platform {
    Dialogs& dialogs;
    sound::Player& sound;
    Ending& ending;
    Clock& clock;
    Folders& folders;
};
