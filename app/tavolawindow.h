#pragma once

#include <QMainWindow>

class Board;
class BoardLabel;
class GraphicButton;
class QAction;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;

// The face of the window: its widgets, menus and timers, created with their design
// properties. It lives only while the window is loaded; the form (Tavola) owns the game.
// The members carry the controls' own names.
class TavolaWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int twipsPerPixel = 15;
    static constexpr int clientWidth = 9120 / twipsPerPixel;
    static constexpr int clientHeight = 10080 / twipsPerPixel;

    explicit TavolaWindow(QWidget* parent = nullptr);

    Board* board = nullptr;

    GraphicButton* cmdNext = nullptr;
    GraphicButton* cmdExit = nullptr;
    GraphicButton* paricmd = nullptr;
    GraphicButton* paricmd1 = nullptr;
    GraphicButton* paricmd2 = nullptr;
    GraphicButton* disparicmd = nullptr;
    GraphicButton* disparicmd1 = nullptr;
    GraphicButton* disparicmd2 = nullptr;

    BoardLabel* Label6 = nullptr;
    BoardLabel* lblScore = nullptr;
    BoardLabel* Punteggio = nullptr;
    BoardLabel* Label11 = nullptr;
    BoardLabel* lblconto = nullptr;
    BoardLabel* Label14 = nullptr;
    BoardLabel* lblnome1 = nullptr;
    BoardLabel* Label12 = nullptr;
    BoardLabel* lblnome = nullptr;
    BoardLabel* Label13 = nullptr;
    BoardLabel* lblpunti = nullptr;

    // Never shown by the game.
    BoardLabel* lblMessage = nullptr;
    BoardLabel* Label5 = nullptr;
    BoardLabel* Label3 = nullptr;
    BoardLabel* Label1 = nullptr;
    BoardLabel* lblScore1 = nullptr;
    BoardLabel* lblScore2 = nullptr;
    BoardLabel* lblTime = nullptr;
    BoardLabel* Label4 = nullptr;
    BoardLabel* Label2 = nullptr;
    QLineEdit* txtAnswer = nullptr;
    QPushButton* Inizio = nullptr;

    QTimer* Timer1 = nullptr;
    QTimer* Timer2 = nullptr;

    QMenu* INFOMAZIONI = nullptr;
    QAction* ca = nullptr;
    QMenu* copy = nullptr;
    QAction* via = nullptr;
    QAction* Next = nullptr;
    QMenu* hf = nullptr;
    QAction* Ciao = nullptr;
    QAction* ok = nullptr;
    QAction* d = nullptr;
    QAction* h = nullptr;

    // Twips of the design tables to the window's device-independent pixels, at scale 1.
    static constexpr int pixels(int twips) { return twips / twipsPerPixel; }

    // The scale the contents are drawn at: 1, unless the window would not fit the work area
    // of its screen; then the largest that fits, with the layout unchanged.
    qreal drawingScale() const { return m_scale; }
    // Lays out every control, font and picture, the menu bar and the board at this scale;
    // targets keep their place on the board.
    void setDrawingScale(qreal scale);

signals:
    // The window's size or state changed.
    void resized();
    // The platform closes the window (its close box).
    void closing();

protected:
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void createControls();
    void createMenus();
    void createTimers();
    void applyPictures();
    void fitToScreen();

    qreal m_scale = 1;
};

// Registers substitutes for the window's font faces that a machine may lack. Must run
// before the first window is built.
void registerFontSubstitutes();
