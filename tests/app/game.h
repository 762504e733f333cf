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

    // Picks a generator state under which the next motion tick draws arrangement k.
    void forceArrangement(int k, quint64 from = 1) {
        for (quint64 state = from;; ++state) {
            Generatore probe(state);
            probe.reseedFromTime(doubles.clock.now + 1000);
            if (probe.below(6) + 1 == k) {
                tavola.generatore().setState(state);
                return;
            }
        }
    }
};

inline constexpr Bersaglio allTargets[] = {Bersaglio::paricmd,     Bersaglio::paricmd1,
                                           Bersaglio::paricmd2,    Bersaglio::disparicmd,
                                           Bersaglio::disparicmd1, Bersaglio::disparicmd2};
