#pragma once

#include "platform.h"

// The real side effects: Qt's modal dialogs, the end of the process, the system clock and
// the platform's folders.

// Before QApplication exists: the X11 window wherever an X server is reachable (on a
// Wayland desktop that is XWayland), native Wayland only where none is, as the X11 window
// is the one that behaves as designed (Wayland reports no minimise and lets no program place
// its dialogs). Qt 6.4 alone would pick Wayland whenever WAYLAND_DISPLAY is set. A platform
// the player names in QT_QPA_PLATFORM wins. Nothing on Windows.
void choosePlatform();

class QtDialogs : public Dialogs {
public:
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override;
    int messageBox(const QString& text, int buttons, const QString& title) override;
};

class QtEnding : public Ending {
public:
    [[noreturn]] void endProgram(int status) override;
};

class SystemClock : public Clock {
public:
    quint64 timeOfDay() override;
};

class SystemFolders : public Folders {
public:
    QString programFolder() override;
    QString windowsDirectory() override;
};

// Qt's own translations for the system language, so that the standard dialogs' buttons
// speak the desktop's language. The game's own texts are Italian whatever the language.
void loadQtTranslations();
