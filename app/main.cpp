#include "audioplayer.h"
#include "qtplatform.h"
#include "tavola.h"
#include "tavolawindow.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // The game takes no command line: Qt sees the program's name alone.
    Q_UNUSED(argc);
    int qtArgc = 1;
    choosePlatform(); // before Qt loads its platform plugin
    QApplication app(qtArgc, argv);
    // Closing the window ends the program through the game's own ending.
    QApplication::setQuitOnLastWindowClosed(false);
    // The prompt's buttons speak the desktop's language. Nothing else comes before the prompt:
    // the window is built, and its pictures drawn, while the prompt waits, and the sound gets
    // ready once the window is on screen.
    loadQtTranslations();

    QtDialogs dialogs;
    sound::AudioPlayer sound;
    QtEnding ending;
    SystemClock clock;
    SystemFolders folders;
    Tavola tavola({dialogs, sound, ending, clock, folders});

    tavola.Form_Initialize();
    tavola.Show();
    return app.exec();
}
