// Times the window's handlers with the window shown, on whatever platform Qt is given
// (QT_QPA_PLATFORM=offscreen, or xcb under Xvfb). Prints one table; asserts nothing.
//
//   corvalto_bench_handlers [--quick] [--silent]
//     --quick   a tenth of the runs, to check that it works
//     --silent  no audio output (by default the game's own player is used)

#include "audioplayer.h"
#include "benchplatform.h"
#include "flushwatch.h"
#include "summary.h"

#include "board.h"
#include "graphicbutton.h"
#include "tavola.h"
#include "tavolawindow.h"

#include <QApplication>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

struct Case {
    const char* name;
    const char* target;
    int runs;
    // Puts the window in the state the handler starts from (not timed).
    std::function<void()> prepare;
    // Runs the handler; returns when its own work was over (its return, or its box).
    std::function<BenchClock::time_point()> act;
    // Undoes what must not outlive a run (not timed).
    std::function<void()> after = [] {};
};

struct Result {
    Summary handler;
    Summary screen;
    int unpainted = 0;
};

constexpr int warmUpRuns = 5;

Result measure(const Case& c, FlushWatch& watch) {
    std::vector<double> handler;
    std::vector<double> screen;
    int unpainted = 0;
    for (int i = -warmUpRuns; i < c.runs; ++i) {
        c.prepare();
        watch.settle();
        const auto start = BenchClock::now();
        const auto done = c.act();
        const auto flushed = watch.waitForFlush();
        c.after();
        if (i < 0)
            continue;
        handler.push_back(millisecondsBetween(start, done));
        if (flushed)
            screen.push_back(millisecondsBetween(start, *flushed));
        else
            ++unpainted;
    }
    return {summarise(handler), summarise(screen), unpainted};
}

QByteArray figure(const Summary& s) {
    if (s.runs == 0)
        return "-";
    return QByteArray::number(s.median, 'f', 3) + " (" + QByteArray::number(s.p10, 'f', 3) + "–" +
           QByteArray::number(s.p90, 'f', 3) + ")";
}

bool waitUntilExposed(QWidget& window) {
    const auto deadline = BenchClock::now() + std::chrono::seconds(10);
    while (BenchClock::now() < deadline) {
        if (window.windowHandle() && window.windowHandle()->isExposed())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    bool quick = false;
    bool silent = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp(argv[i], "--silent") == 0)
            silent = true;
    }
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    registerFontSubstitutes(); // as the program does: the same fonts, the same text costs

    InstantDialogs dialogs;
    std::unique_ptr<sound::Player> sound;
    if (silent)
        sound = std::make_unique<SilentSound>();
    else
        sound = std::make_unique<sound::AudioPlayer>(QStringLiteral(CORVALTO_AUDIO_MODULE));
    RefusedEnding ending;
    SteppingClock clock;
    BuildTreeFolders folders;
    Tavola tavola({dialogs, *sound, ending, clock, folders});

    tavola.Form_Initialize();
    tavola.Show();
    TavolaWindow& w = tavola.ui();
    // No timer may fire inside a timing: the countdown would end the game after fifteen
    // minutes, and a motion tick is timed on its own.
    w.Timer1->stop();
    w.Timer2->stop();
    if (!waitUntilExposed(w)) {
        std::fprintf(stderr, "bench: the window was never exposed\n");
        return 1;
    }
    FlushWatch watch(&w);

    const auto runs = [quick](int n) { return quick ? qMax(1, n / 10) : n; };
    const auto nothing = [] {};
    const auto hideTargets = [&] {
        for (GraphicButton* b :
             {w.paricmd, w.paricmd1, w.paricmd2, w.disparicmd, w.disparicmd1, w.disparicmd2})
            b->hide();
        w.Timer2->stop();
    };

    const Case cases[] = {
        {"board paint (cmdNext_Click)", "< 2 ms", runs(400), nothing,
         [&] {
             tavola.cmdNext_Click();
             return BenchClock::now();
         }},
        {"motion tick (Timer2_Timer)", "< 0.2 ms", runs(2000), nothing,
         [&] {
             tavola.Timer2_Timer();
             return BenchClock::now();
         }},
        {"right hit (paricmd_Click)", "< 100 ms", runs(150), [&] { w.paricmd->show(); },
         [&] {
             tavola.paricmd_Click();
             return BenchClock::now();
         }},
        {"wrong hit to its box (disparicmd_Click)", "< 100 ms", runs(150),
         [&] { w.disparicmd->show(); },
         [&] {
             tavola.disparicmd_Click();
             return dialogs.lastBoxAt;
         }},
        {"start click (Form_Click)", "< 50 ms to screen", runs(150), hideTargets,
         [&] {
             tavola.Form_Click();
             return BenchClock::now();
         },
         [&] { w.Timer2->stop(); }},
    };

    std::printf("platform: %s; sound: %s; window %dx%d shown\n",
                qPrintable(QGuiApplication::platformName()),
                silent ? "none" : "the game's AudioPlayer", w.width(), w.height());
    std::printf("| handler | runs | returns: median (p10–p90) ms | on screen: median (p10–p90) ms "
                "| target |\n");
    std::printf("|---|---:|---:|---:|---|\n");
    std::fflush(stdout);
    for (const Case& c : cases) {
        const Result r = measure(c, watch);
        std::printf("| %s | %d | %s | %s%s | %s |\n", c.name, r.handler.runs,
                    figure(r.handler).constData(), figure(r.screen).constData(),
                    r.unpainted
                        ? qPrintable(QStringLiteral(" [%1 runs drew nothing]").arg(r.unpainted))
                        : "",
                    c.target);
        std::fflush(stdout);
    }
    return 0;
}
