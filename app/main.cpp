#include "audioplayer.h"
#include "pictures.h"
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
    pictures::drawInBackground(); // while the window is being built
    // Closing the window ends the program through the game's own ending.
    QApplication::setQuitOnLastWindowClosed(false);
    registerFontSubstitutes();
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
