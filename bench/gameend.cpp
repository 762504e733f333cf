// Times the end of a game that beat the record: from the call of cmdExit_Click to the
// congratulation box, with the real store started from the built program's folder and writing
// the build tree's record folder (lock, journal, both files and the folder flushed). Dialogs
// answer at once; the goodbye box before the store is part of the timing, as it is in the game.
// Prints one table; asserts nothing.
//
//   corvalto_bench_gameend [--quick]    --quick: a tenth of the runs, to check that it works

#include "benchplatform.h"

#include "boardlabel.h"
#include "recordfiles.h"
#include "tavola.h"
#include "tavolawindow.h"

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The game's end unwinds to the benchmark instead of ending the program.
struct Ended {
    int status;
};

class UnwindingEnding : public Ending {
public:
    [[noreturn]] void endProgram(int status) override { throw Ended{status}; }
};

constexpr int warmUpRuns = 3;

} // namespace

int main(int argc, char* argv[]) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    registerFontSubstitutes();

    // A fresh record folder: the first game creates both files through the store, every later
    // one finds them and reads them without it, as on a machine in use.
    const QString folder = QStringLiteral(CORVALTO_BENCH_RECORD_DIR);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);

    InstantDialogs dialogs;
    SilentSound sound;
    UnwindingEnding ending;
    SteppingClock clock;
    BuildTreeFolders folders;

    const int runs = quick ? 5 : 50;
    std::vector<double> times;
    std::vector<double> storeTimes;
    int refused = 0;
    for (int i = -warmUpRuns; i < runs; ++i) {
        Tavola tavola({dialogs, sound, ending, clock, folders});
        tavola.Form_Initialize();
        tavola.Show();
        TavolaWindow& w = tavola.ui();
        w.Timer1->stop();
        w.Timer2->stop();
        // One point above the record shown, as the score label shows it.
        const int record = w.lblpunti->text().trimmed().toInt();
        w.Punteggio->setText(QString::number(record + 1));
        const int boxesBefore = dialogs.boxes;

        const auto start = BenchClock::now();
        int status = -1;
        try {
            tavola.cmdExit_Click();
        } catch (const Ended& ended) {
            status = ended.status;
        }
        // Goodbye, then the congratulation: anything else means the store did not store.
        if (status != 0 || dialogs.boxes != boxesBefore + 2) {
            ++refused;
            continue;
        }
        if (i >= 0)
            times.push_back(millisecondsBetween(start, dialogs.lastBoxAt));
        QCoreApplication::processEvents(); // the window goes once the loop runs

        // The store alone, as the game asks for it, in the same round: the disk's flushes are
        // shared with the whole machine, and both figures should meet the same conditions.
        const auto alone = BenchClock::now();
        record::store(folders.windowsDirectory(), folders.programFolder(),
                      QString::number(record + 2), QStringLiteral("Anna"));
        if (i >= 0)
            storeTimes.push_back(millisecondsBetween(alone, BenchClock::now()));
    }

    std::printf("| case | runs | median ms | p10–p90 ms | min–max ms | target |\n");
    std::printf("|---|---:|---:|---:|---:|---|\n");
    const auto row = [](const char* name, const Summary& s, const char* target) {
        std::printf("| %s | %d | %.2f | %.2f–%.2f | %.2f–%.2f | %s |\n", name, s.runs, s.median,
                    s.p10, s.p90, s.min, s.max, target);
    };
    row("game end to congratulation (cmdExit_Click, store started)", summarise(times),
        "< 30 ms median");
    row("of which the store: record::store, program started to its answer", summarise(storeTimes),
        "-");
    if (refused)
        std::printf("\n%d runs did not reach the congratulation (not counted)\n", refused);
    return 0;
}
