#pragma once

#include "platform.h"

// The real side effects: Qt's modal dialogs, the end of the process, the system clock and
// the platform's folders.

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
