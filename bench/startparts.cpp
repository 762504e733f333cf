// The game's start, step by step: the same steps as app/main.cpp, with a time mark (marks.h)
// after each, so that a slow start can be put down to its parts. Keep it in step with
// app/main.cpp.

#include "audioplayer.h"
#include "marks.h"
#include "qtplatform.h"
#include "tavola.h"
#include "tavolawindow.h"

#include <QApplication>

namespace {

using startmarks::mark;

// The real dialogs, noting when the game asks for a box and when it has its answer.
class MarkingDialogs : public QtDialogs {
public:
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultText) override {
        mark("prompt-asked");
        const QString name = QtDialogs::inputBox(prompt, title, defaultText);
        mark("prompt-answered");
        return name;
    }

    int messageBox(const QString& text, int buttons, const QString& title) override {
        mark("greeting-asked");
        const int answer = QtDialogs::messageBox(text, buttons, title);
        mark("greeting-answered");
        return answer;
    }
};

// The real folders, but the program's is the game's own, where its store and sounds are: from
// the bench's folder the record could not be read, and an error box would stand in for the window.
class GameFolders : public SystemFolders {
public:
    QString programFolder() override { return QStringLiteral(CORVALTO_BENCH_PROGRAM_DIR); }
};

} // namespace

int main(int argc, char* argv[]) {
    mark("main");

    Q_UNUSED(argc);
    int qtArgc = 1;
    choosePlatform();
    QApplication app(qtArgc, argv);
    mark("qapplication");
    QApplication::setQuitOnLastWindowClosed(false);
    loadQtTranslations();
    mark("translations");

    MarkingDialogs dialogs;
    sound::AudioPlayer sound(QStringLiteral(CORVALTO_AUDIO_MODULE));
    mark("audioplayer");
    QtEnding ending;
    SystemClock clock;
    GameFolders folders;
    Tavola tavola({dialogs, sound, ending, clock, folders});
    // Emitted once the window's widgets exist: while the prompt waits, or right after it.
    QObject::connect(&tavola, &Tavola::loaded, [] { mark("window-built"); });

    tavola.Form_Initialize();
    // Nothing is marked after Show(): the window may map, and the bench kill the program,
    // before it returns.
    mark("initialized");
    tavola.Show();
    return app.exec();
}
