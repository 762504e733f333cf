#include "tavola.h"

#include "board.h"
#include "boardlabel.h"
#include "graphicbutton.h"
#include "pictures.h"
#include "player.h"
#include "recordfiles.h"
#include "tavolawindow.h"
#include "texts.h"

#include <QAction>
#include <QCoreApplication>
#include <QImage>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <limits>
#include <optional>

namespace {

const QColor ciano(0, 255, 255);
const QColor verdeColpo(0, 255, 0);
const QColor rossoColpo(255, 0, 0);

constexpr int passiColpoGiusto = 20000;
constexpr int passiColpoSbagliato = 10000;
constexpr int passiAttesa = 1000;

// The score stops at the ends of its 16-bit range instead of overflowing.
qint16 aggiungi(qint16 punti, int delta) {
    const int somma = punti + delta;
    return qint16(qBound(int(std::numeric_limits<qint16>::min()), somma,
                         int(std::numeric_limits<qint16>::max())));
}

// The first deal of each target at activation, in this order.
struct Distribuzione {
    Bersaglio bersaglio;
    qint16 Stato::*numero;
    qint16 seme;
    int ampiezza;
    int resto;
};

constexpr Distribuzione distribuzioni[] = {
    {Bersaglio::disparicmd, &Stato::numdispari, 22, 100, 3},
    {Bersaglio::disparicmd1, &Stato::numdispari1, 25, 100, 2},
    {Bersaglio::disparicmd2, &Stato::numdispari2, 31, 100, 1},
    {Bersaglio::paricmd, &Stato::numpari, 303, 100, 0},
    {Bersaglio::paricmd1, &Stato::numpari1, 201, 150, 0},
    {Bersaglio::paricmd2, &Stato::numpari2, 399, 100, 0},
};

const QString& messaggioErrore(record::Problem problem) {
    switch (problem) {
    case record::Problem::link:
        return testi::errore::collegamento;
    case record::Problem::special:
        return testi::errore::speciale;
    case record::Problem::hardLinked:
        return testi::errore::piuNomi;
    case record::Problem::tooLarge:
        return testi::errore::troppoGrande;
    case record::Problem::unreadable:
        return testi::errore::illeggibile;
    case record::Problem::unwritable:
        return testi::errore::nonScrivibile;
    case record::Problem::full:
        return testi::errore::discoPieno;
    case record::Problem::noFolder:
        return testi::errore::cartella;
    case record::Problem::missing:
        return testi::errore::mancante;
    case record::Problem::busy:
        return testi::errore::occupato;
    case record::Problem::inUse:
        return testi::errore::aperto;
    case record::Problem::noStore:
        break;
    }
    return testi::errore::registratore;
}

// Runs `work` once, right after the first widget event of `type` from now on has been handled:
// for a paint (the next box or window to open), once it has been drawn and sent to the screen.
// Nothing runs if the watch is destroyed before.
class FirstEventWatch : public QObject {
public:
    FirstEventWatch(QEvent::Type type, std::function<void()> work)
        : m_type(type)
        , m_work(std::move(work)) {
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == m_type && watched->isWidgetType()) {
            QCoreApplication::instance()->removeEventFilter(this);
            // Queued: the event under way, and a paint's flush to the screen, come first.
            QMetaObject::invokeMethod(this, m_work, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QEvent::Type m_type;
    std::function<void()> m_work;
};

} // namespace

// A right hit: the button's number is re-dealt as 25 * (floor(ampiezza * r) + base).
struct Tavola::ColpoGiusto {
    Bersaglio bersaglio;
    qint16 Stato::*numero;
    qint16 seme;
    int ampiezza;
    int base;
};

// A wrong hit. disparicmd and disparicmd1 keep their number in a value of their own and
// leave the game state alone; disparicmd2 stores it in numdispari2.
struct Tavola::ColpoSbagliato {
    Bersaglio bersaglio;
    qint16 seme;
    qint16 Stato::*numero; // nullptr: the handler's own value
    qint16 (*nuovoNumero)(Generatore&);
    const QString& apertura;
    const QString& chiusura;
};

Tavola::Tavola(const Platform& platform, QObject* parent)
    : QObject(parent)
    , m_platform(platform) {}

Tavola::~Tavola() = default;

TavolaWindow& Tavola::ui() {
    if (!m_window) {
        if (m_loading)
            buildFace();
        else
            load();
    }
    return *m_window;
}

void Tavola::load() {
    m_loading = true;
    try {
        Form_Load();
    } catch (...) {
        m_loading = false;
        throw;
    }
    m_loading = false;
}

void Tavola::buildFace() {
    // The pictures are drawn on another thread while the controls are made.
    pictures::drawInBackground();
    static const bool substitutes = (registerFontSubstitutes(), true);
    Q_UNUSED(substitutes);
    m_window = std::make_unique<TavolaWindow>();
    wire();
    // The load switched both timers off before its prompt: the face comes with them off.
    m_window->Timer1->stop();
    m_window->Timer2->stop();
    // Drawn once off screen: the style's polish, the layouts, the fonts and their glyphs are then
    // ready, and the window's first paint after the greeting has little left to do. A strip at
    // a time, so that this leaves no window-sized image in the peak of the game's memory.
    const QSize whole = m_window->sizeHint();
    constexpr int stripHeight = 64;
    QImage strip(whole.width(), stripHeight, QImage::Format_RGB32);
    for (int top = 0; top < whole.height(); top += stripHeight)
        m_window->render(&strip, {}, QRegion(0, top, whole.width(), stripHeight));
    emit loaded();
}

void Tavola::wire() {
    TavolaWindow& w = *m_window;
    const auto on = [this](auto* sender, auto signal, void (Tavola::*handler)()) {
        m_wiring.append(connect(sender, signal, this, handler));
    };
    on(w.board, &Board::clicked, &Tavola::Form_Click);
    on(&w, &TavolaWindow::resized, &Tavola::Form_Resize);
    on(w.cmdNext, &QPushButton::clicked, &Tavola::cmdNext_Click);
    on(w.cmdExit, &QPushButton::clicked, &Tavola::cmdExit_Click);
    on(w.paricmd, &QPushButton::clicked, &Tavola::paricmd_Click);
    on(w.paricmd1, &QPushButton::clicked, &Tavola::paricmd1_Click);
    on(w.paricmd2, &QPushButton::clicked, &Tavola::paricmd2_Click);
    on(w.disparicmd, &QPushButton::clicked, &Tavola::disparicmd_Click);
    on(w.disparicmd1, &QPushButton::clicked, &Tavola::disparicmd1_Click);
    on(w.disparicmd2, &QPushButton::clicked, &Tavola::disparicmd2_Click);
    on(w.Next, &QAction::triggered, &Tavola::Next_Click);
    on(w.Timer1, &QTimer::timeout, &Tavola::Timer1_Timer);
    on(w.Timer2, &QTimer::timeout, &Tavola::Timer2_Timer);
    // The game has no handler for the window being closed: the program just ends.
    m_wiring.append(
        connect(&w, &TavolaWindow::closing, this, [this] { m_platform.ending.endProgram(0); }));
}

void Tavola::Unload() {
    if (!m_window)
        return;
    for (const auto& connection : std::as_const(m_wiring))
        disconnect(connection);
    m_wiring.clear();
    m_window->Timer1->stop();
    m_window->Timer2->stop();
    m_window->hide();
    // The unload may be asked from the window's own menu, whose code is still running:
    // the widgets go once control is back in the event loop.
    m_window.release()->deleteLater();
    m_visible = false;
}

void Tavola::Show() {
    TavolaWindow& w = ui();
    if (m_visible)
        return;
    if (!m_soundWatch) {
        // The first sound can come with the first click on the board: the sound output gets
        // ready as soon as the window is drawn, not before, so that it holds nothing up.
        m_soundWatch = std::make_unique<FirstEventWatch>(QEvent::Paint,
                                                         [this] { m_platform.sound.prepare(); });
    }
    w.show();
    // A freshly shown game window takes the keyboard, even where no window manager gives it.
    w.activateWindow();
    w.cmdExit->setFocus();
    m_visible = true;
    Form_Activate();
}

GraphicButton* Tavola::bersaglio(Bersaglio which) {
    TavolaWindow& w = ui();
    switch (which) {
    case Bersaglio::paricmd:
        return w.paricmd;
    case Bersaglio::paricmd1:
        return w.paricmd1;
    case Bersaglio::paricmd2:
        return w.paricmd2;
    case Bersaglio::disparicmd:
        return w.disparicmd;
    case Bersaglio::disparicmd1:
        return w.disparicmd1;
    case Bersaglio::disparicmd2:
        return w.disparicmd2;
    }
    Q_UNREACHABLE();
}

// ---- Start-up and greeting ----

void Tavola::Form_Initialize() {
    cmdNext_Click();
}

void Tavola::Form_Load() {
    // A face not built yet has no timer running; one built since comes with both off.
    if (m_window) {
        m_window->Timer1->stop();
        m_window->Timer2->stop();
    }

    // The face built, and then the record's reader started: while the player types, or else
    // right after the prompt. The record is still read after the greeting.
    std::optional<record::EarlyLoad> lettura;
    const auto prepara = [this, &lettura] {
        ui();
        if (!lettura)
            lettura.emplace(m_platform.folders.programFolder());
    };
    const QString nome = chiediNome(prepara);
    prepara();
    TavolaWindow& w = ui();
    MsgBox(u' ' + nome + testi::vediamoSeSei, box::okOnly, testi::titolo);
    w.lblnome1->setText(nome);

    Avviaorologio();

    try {
        m_stato.cartella = GetSystemDir();
        m_stato.numfile = 1;
        const record::Pair letto = lettura->finish(
            m_stato.cartella, [this](const QString& nomefile) { return Leggifiletxt(nomefile); });
        w.lblpunti->setText(letto.score);
        w.lblnome->setText(letto.name);
    } catch (const record::FileError& error) {
        riportaErrore(error);
    }

    w.lblconto->setText(testoOrologio());
    cmdNext_Click();
}

QString Tavola::chiediNome(const std::function<void()>& mentreScrive) {
    // Work that takes longer than showing the prompt does waits for the player's first key in it:
    // the moments after it appears are left to the desktop (the window manager, a screen reader
    // reading it out), and the typing hides the work.
    FirstEventWatch watch(QEvent::KeyRelease, mentreScrive);
    // Taken exactly as typed: no trimming, no check; Cancel gives the empty name.
    return m_platform.dialogs.inputBox(testi::comeTiChiami, testi::titolo, QString());
}

void Tavola::Form_Resize() {
    if (ui().isMinimized())
        ui().setWindowTitle(testi::titoloRidotto);
}

QString Tavola::GetSystemDir() {
    return record::withTrailingSeparator(m_platform.folders.windowsDirectory());
}

QString Tavola::Leggifiletxt(const QString& nomefile) {
    return record::readWhole(nomefile);
}

// ---- Target dealing ----

void Tavola::Form_Activate() {
    for (const Distribuzione& riga : distribuzioni)
        m_stato.*riga.numero = riga.seme;
    for (const Distribuzione& riga : distribuzioni) {
        m_generatore.reseed(m_stato.*riga.numero);
        const int k = m_generatore.below(riga.ampiezza) + 1;
        m_stato.*riga.numero = qint16(25 * k + riga.resto);
        bersaglio(riga.bersaglio)->setText(QString::number(m_stato.*riga.numero));
    }
    m_stato.punti = 0;
    ui().Punteggio->setText(QString::number(m_stato.punti));
    cmdNext_Click();
}

// ---- Board paint ----

int Tavola::disegnaFattoreRosso() {
    int rosso = 0;
    while (rosso == 0)
        rosso = m_generatore.below(10);
    return rosso;
}

void Tavola::cmdNext_Click() {
    ui().paricmd2->setBackColor(ciano); // the first access of all loads the window
    ui().lblMessage->setText(QString());
    m_generatore.reseedFromTime(m_platform.clock.timeOfDay());
    m_stato.rosso = qint16(disegnaFattoreRosso());
    m_stato.verde = qint16(m_generatore.below(10));
    dipingi(m_stato.rosso, m_stato.verde);
}

void Tavola::dipingi(int rosso, int verde) {
    TavolaWindow& w = ui();
    // Bands reach the window's outer width in twips: far past the right edge.
    w.board->paintGradient(rosso, verde, w.frameGeometry().width() * TavolaWindow::twipsPerPixel);
}

// ---- Start of play and target motion ----

void Tavola::Form_Click() {
    ui().lblMessage->setText(QString());
    m_generatore.reseedFromTime(m_platform.clock.timeOfDay());
    const int rosso = disegnaFattoreRosso();
    const int verde = m_generatore.below(10);
    Suonafile(m_platform.folders.programFolder() + testi::suonoLaser);
    dipingi(rosso, verde);
    // Enabling the running timer again leaves its period alone.
    if (!ui().Timer2->isActive())
        ui().Timer2->start();
    Timer2_Timer();
}

void Tavola::Timer2_Timer() {
    const BoardScale scala = ui().board->scale();
    m_generatore.reseedFromTime(m_platform.clock.timeOfDay());
    const int k = m_generatore.below(6) + 1;
    const Disposizione& disposizione = disposizioni[k - 1];

    for (int i = 0; i < numeroBersagli; ++i) {
        const auto quale = Bersaglio(i);
        GraphicButton* b = bersaglio(quale);
        switch (disposizione.visibili[i]) {
        case Visibile::mostrato:
            b->setVisible(true);
            break;
        case Visibile::nascosto:
            b->setVisible(false);
            break;
        case Visibile::invariato:
            if (std::find(sempreMostrati.begin(), sempreMostrati.end(), quale) !=
                sempreMostrati.end())
                b->setVisible(true);
            break;
        }
    }

    for (const Salto& salto : disposizione.salti) {
        GraphicButton* b = bersaglio(salto.bersaglio);
        const int dove = m_generatore.below(salto.ampiezza) + salto.base;
        if (salto.asse == Asse::x)
            b->move(scala.xToPixels(dove), b->y());
        else
            b->move(b->x(), scala.yToPixels(dove));
    }

    if (const auto& nuovo = disposizione.nuovoNumero) {
        m_generatore.reseed(m_stato.*nuovo->numero);
        m_stato.*nuovo->numero =
            qint16(25 * (m_generatore.below(nuovo->ampiezza) + 3) + nuovo->resto);
        bersaglio(nuovo->bersaglio)->setText(QString::number(m_stato.*nuovo->numero));
    }
}

// ---- Hit judging and scoring ----

void Tavola::colpoGiusto(const ColpoGiusto& colpo) {
    GraphicButton* b = bersaglio(colpo.bersaglio);
    m_stato.*colpo.numero = colpo.seme;
    for (m_stato.giri = 1; m_stato.giri <= passiColpoGiusto; ++m_stato.giri)
        b->setBackColor(verdeColpo);
    m_stato.punti = aggiungi(m_stato.punti, 1);
    Suonafile(m_platform.folders.programFolder() + testi::suonoSparo);
    ui().Punteggio->setText(u' ' + QString::number(m_stato.punti));
    b->setBackColor(ciano);
    b->hide();
    m_generatore.reseed(m_stato.*colpo.numero);
    m_stato.*colpo.numero = qint16(25 * (m_generatore.below(colpo.ampiezza) + colpo.base));
    b->setText(QString::number(m_stato.*colpo.numero));
    cmdNext_Click();
}

void Tavola::paricmd_Click() {
    colpoGiusto({Bersaglio::paricmd, &Stato::numpari, 633, 100, 1});
}

void Tavola::paricmd1_Click() {
    colpoGiusto({Bersaglio::paricmd1, &Stato::numpari1, 399, 100, 3});
}

void Tavola::paricmd2_Click() {
    colpoGiusto({Bersaglio::paricmd2, &Stato::numpari2, 999, 40, 3});
}

void Tavola::colpoSbagliato(const ColpoSbagliato& colpo) {
    qint16 proprio = colpo.seme;
    qint16& numero = colpo.numero ? m_stato.*colpo.numero : proprio;
    numero = colpo.seme;

    GraphicButton* b = bersaglio(colpo.bersaglio);
    for (m_stato.giri = 1; m_stato.giri <= passiColpoSbagliato; ++m_stato.giri)
        b->setBackColor(rossoColpo);
    Suonafile(m_platform.folders.programFolder() + testi::suonoEsplosione);
    MsgBox(colpo.apertura + b->text() + colpo.chiusura, box::okOnly);

    // Timer ticks ran while the box was open: look the button up again.
    m_stato.punti = aggiungi(m_stato.punti, -4);
    ui().Punteggio->setText(QString::number(m_stato.punti));
    b = bersaglio(colpo.bersaglio);
    b->hide();
    m_generatore.reseed(numero);
    numero = colpo.nuovoNumero(m_generatore);
    b->setText(QString::number(numero));
    b->setBackColor(ciano);
    cmdNext_Click();
}

void Tavola::disparicmd_Click() {
    colpoSbagliato({Bersaglio::disparicmd, 307, nullptr,
                    [](Generatore& g) {
                        int n = 0;
                        do
                            n = g.below(250) + 2;
                        while (n % 25 == 0);
                        return qint16(n);
                    },
                    testi::attenzione, testi::nonDivisibile});
}

void Tavola::disparicmd1_Click() {
    colpoSbagliato({Bersaglio::disparicmd1, 101, nullptr,
                    [](Generatore& g) { return qint16(25 * (g.below(100) + 1) + 2); },
                    testi::attenzioneSbagliato, testi::nonDivisibile1});
}

void Tavola::disparicmd2_Click() {
    colpoSbagliato({Bersaglio::disparicmd2, 37, &Stato::numdispari2,
                    [](Generatore& g) { return qint16(25 * g.below(200) + 3); }, testi::attenzione,
                    testi::nonDivisibile});
}

void Tavola::Suonafile(const QString& suono) {
    // The names are written with backslashes; '/' separates on every platform Qt runs on.
    m_platform.sound.play(QString(suono).replace(u'\\', u'/'));
}

// ---- Countdown clock ----

void Tavola::Avviaorologio() {
    ui().Timer1->start();
    m_stato.ore = 0;
    m_stato.minuti = 15;
    m_stato.secondi = 0;
    ui().lblconto->setText(testoOrologio());
}

QString Tavola::testoOrologio() const {
    const auto campo = [](int value) {
        return QStringLiteral("%1").arg(value, 2, 10, QChar(u'0'));
    };
    return campo(m_stato.ore) + u':' + campo(m_stato.minuti) + u':' + campo(int(m_stato.secondi));
}

void Tavola::Timer1_Timer() {
    if (ui().lblconto->text() == testi::fineTempo) {
        cmdExit_Click();
        return; // only reached when a game end is already under way
    }
    if (m_stato.secondi == 0 && m_stato.minuti > 0) {
        m_stato.minuti -= 1;
        m_stato.secondi = 60;
    }
    m_stato.secondi -= 1;
    ui().lblconto->setText(testoOrologio());
}

// ---- Game end and new game ----

void Tavola::cmdExit_Click() {
    if (m_fineIniziata)
        return;
    m_fineIniziata = true;

    MsgBox(testi::ciaoAPresto, box::okOnly, testi::titolo);
    for (m_stato.attesa = 1; m_stato.attesa <= passiAttesa; ++m_stato.attesa) {
    }

    const QString punteggio = ui().Punteggio->text();
    const double record = record::lenientValue(ui().lblpunti->text());
    // The score label only ever shows an integer, so the strict reading cannot fail.
    const double punti = record::strictValue(punteggio).value_or(0);
    if (!(record < punti))
        m_platform.ending.endProgram(0);

    const QString nome = ui().lblnome1->text();
    bool registrato = false;
    try {
        m_stato.numfile = 1;
        m_stato.testo = nome; // the last line written
        registrato =
            record::store(m_stato.cartella, m_platform.folders.programFolder(), punteggio, nome);
    } catch (const record::FileError& error) {
        riportaErrore(error);
    }
    // Another copy of the game may have stored a higher record meanwhile: then nothing
    // was written and there is nothing to announce.
    if (registrato)
        MsgBox(testi::recordRegistrato, box::okOnly, testi::titolo);
    m_platform.ending.endProgram(0);
}

void Tavola::Next_Click() {
    const int risposta = MsgBox(testi::nuovaGara, box::yesNo + box::question + box::defaultButton2,
                                testi::titoloNuovaGara);
    if (risposta == box::no)
        return;
    Unload();
    Show();
}

// ---- Dialogs and failures ----

int Tavola::MsgBox(const QString& text, int buttons, const QString& title) {
    // A box given no title carries the application's.
    return m_platform.dialogs.messageBox(text, buttons, title.isEmpty() ? testi::titolo : title);
}

void Tavola::riportaErrore(const record::FileError& error) {
    // Nothing may go on behind the box: no clock ending the game with another status meanwhile.
    m_fineIniziata = true;
    if (m_window) {
        m_window->Timer1->stop();
        m_window->Timer2->stop();
    }
    MsgBox(testi::errore::inizio + messaggioErrore(error.problem()).arg(error.path()),
           box::critical, testi::titolo);
    m_platform.ending.endProgram(1);
    std::abort(); // endProgram never returns
}
