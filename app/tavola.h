#pragma once

#include "generatore.h"
#include "moto.h"
#include "platform.h"
#include "stato.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class GraphicButton;
class TavolaWindow;
namespace record {
class FileError;
}

// The form: the game's one window as an object that lives for the whole run. It owns the
// game state and the event handlers; its face (TavolaWindow, the widgets) exists only while
// the window is loaded. The first access to a control, through ui(), loads the window.
class Tavola : public QObject {
    Q_OBJECT
public:
    explicit Tavola(const Platform& platform, QObject* parent = nullptr);
    ~Tavola() override;

    // The loaded face; loads the window first (and so runs Form_Load) if it is not loaded.
    TavolaWindow& ui();
    bool isLoaded() const { return m_window != nullptr; }
    // Destroys the controls; the game state stays.
    void Unload();
    // Loads if needed and shows the window; a window that was not visible becomes active.
    void Show();

    Stato& stato() { return m_stato; }
    const Stato& stato() const { return m_stato; }
    Generatore& generatore() { return m_generatore; }
    GraphicButton* bersaglio(Bersaglio which);

    // Event handlers, named after their control and event.
    void Form_Initialize();
    void Form_Load();
    void Form_Activate();
    void Form_Click();
    void Form_Resize();
    void cmdNext_Click();
    void cmdExit_Click();
    void Next_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    void paricmd_Click();
    void paricmd1_Click();
    void paricmd2_Click();
    void disparicmd_Click();
    void disparicmd1_Click();
    void disparicmd2_Click();

signals:
    // The face has just been created: for tests and tools. At a load it comes while the name
    // prompt waits, once the player's first key in it is let go, or right after the prompt.
    void loaded();

private:
    struct ColpoGiusto;
    struct ColpoSbagliato;

    void load();
    void buildFace();
    void wire();
    QString chiediNome(const std::function<void()>& mentreScrive);
    void colpoGiusto(const ColpoGiusto& colpo);
    void colpoSbagliato(const ColpoSbagliato& colpo);
    void dipingi(int rosso, int verde);
    void Suonafile(const QString& suono);
    void Avviaorologio();
    QString testoOrologio() const;
    QString GetSystemDir();
    QString Leggifiletxt(const QString& nomefile);
    int MsgBox(const QString& text, int buttons, const QString& title = {});
    [[noreturn]] void riportaErrore(const record::FileError& error);
    int disegnaFattoreRosso();

    Platform m_platform;
    Stato m_stato;
    Generatore m_generatore;
    std::unique_ptr<TavolaWindow> m_window;
    QList<QMetaObject::Connection> m_wiring;
    bool m_visible = false;
    // Form_Load is running: a face asked for now is built without a second load.
    bool m_loading = false;
    // Gets the sound output ready at the first window drawn; made once per run.
    std::unique_ptr<QObject> m_soundWatch;
    // Set once the game end has begun: later clock ticks must not start another.
    bool m_fineIniziata = false;
};
