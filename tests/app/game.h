#pragma once

#include "doubles.h"
#include "graphicbutton.h"
#include "tavola.h"
#include "tavolawindow.h"

#include <QtTest>

// A game started as the program starts one: the form is created, initialised and shown,
// with a name typed at the prompt.
struct Game {
    Doubles doubles;
    Tavola tavola{doubles.platform()};

    explicit Game(const QString& name = QStringLiteral("Anna")) {
        doubles.dialogs.names.push_back(name);
        tavola.Form_Initialize();
        tavola.Show();
        doubles.log.clear();
        doubles.dialogs.boxes.clear();
        doubles.dialogs.prompts.clear();
    }

    // A new game leaves the old face to the event loop; there is none here to delete it.
    ~Game() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    TavolaWindow& ui() { return tavola.ui(); }
    Stato& stato() { return tavola.stato(); }
    GraphicButton* target(Bersaglio which) { return tavola.bersaglio(which); }

    // Sets the first generator state, from `from` on, for which `wanted` holds on a copy of
    // the generator: a test replays there the draws the next handler will make, to steer them.
    template <typename Wanted> void steer(Wanted wanted, quint64 from = 1) {
        for (quint64 state = from; state < from + 100'000'000; ++state) {
            if (Generatore probe(state); wanted(probe))
                return tavola.generatore().setState(state);
        }
        QFAIL("no generator state gives the draws wanted");
    }
    // A motion tick re-seeds from the clock's next reading, then draws its arrangement.
    int tickArrangement(Generatore& g) {
        g.reseedFromTime(doubles.clock.now + 1000);
        return g.below(6) + 1;
    }
    void forceArrangement(int k, quint64 from = 1) {
        steer([&](Generatore& g) { return tickArrangement(g) == k; }, from);
    }
};

// Runs `action`, which must end the program; returns the status (-1 if it did not end it).
inline int endStatus(const std::function<void()>& action) {
    try {
        action();
    } catch (const ProgramEnded& end) {
        return end.status;
    }
    return -1;
}

inline QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline constexpr Bersaglio allTargets[] = {Bersaglio::paricmd,     Bersaglio::paricmd1,
                                           Bersaglio::paricmd2,    Bersaglio::disparicmd,
                                           Bersaglio::disparicmd1, Bersaglio::disparicmd2};
