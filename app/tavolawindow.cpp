#include "tavolawindow.h"

#include "board.h"
#include "boardlabel.h"
#include "graphicbutton.h"
#include "pictures.h"
#include "texts.h"
#include "titlebar.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <optional>
#include <vector>

namespace {

struct FontDesign {
    const char* face;
    qreal points;
    bool bold = false;
    bool italic = false;
};

QFont makeFont(const FontDesign& design) {
    QFont font(QString::fromLatin1(design.face));
    font.setPointSizeF(design.points);
    // Arial Black is a weight of its own; its substitutes only look right when asked for it.
    if (qstrcmp(design.face, "Arial Black") == 0)
        font.setWeight(QFont::Black);
    else if (design.bold)
        font.setWeight(QFont::Bold);
    font.setItalic(design.italic);
    return font;
}

enum class Pointer { Board, Arrow, FourArrows };
enum class Picture { None, Faces, NoEntry };

const QColor cyan(0, 255, 255);
// A label's background: none (the board shows through), the platform's standard face,
// or a colour of its own.
const std::optional<QColor> transparent;
const std::optional<QColor> standardFace = QColor();

// The design of the buttons, positions in twips.
struct ButtonDesign {
    GraphicButton* TavolaWindow::*member;
    const char* name;
    const char* caption;
    int left, top, width, height;
    QColor back;
    FontDesign font;
    bool visible;
    bool enabled;
    int tabIndex;
    Pointer pointer;
    Picture picture;
    const char* toolTip;
};

const FontDesign startFont{"MS Sans Serif", 8.25, true};
const FontDesign targetFont{"MS Sans Serif", 24, true};

const ButtonDesign buttons[] = {
    {&TavolaWindow::cmdNext, "cmdNext", "&Clicca per iniziare", 3000, 0, 3210, 735,
     QColor(0, 192, 0), startFont, true, false, 20, Pointer::Board, Picture::Faces, "Go"},
    {&TavolaWindow::cmdExit, "cmdExit", "E&xit", 6120, 0, 3135, 735, QColor(192, 0, 192), startFont,
     true, true, 21, Pointer::Arrow, Picture::NoEntry,
     "Ti prego resta ancora, forse riuscirai a farmi uscire "},
    {&TavolaWindow::paricmd, "paricmd", "", 2400, 1560, 1215, 1215, cyan, targetFont, false, true,
     18, Pointer::FourArrows, Picture::None, ""},
    {&TavolaWindow::paricmd1, "paricmd1", "", 2880, 4200, 1215, 1215, cyan, targetFont, false, true,
     26, Pointer::Arrow, Picture::None, ""},
    {&TavolaWindow::paricmd2, "paricmd2", "", 1560, 6480, 1215, 1215, cyan, targetFont, false, true,
     27, Pointer::Arrow, Picture::None, ""},
    {&TavolaWindow::disparicmd, "disparicmd", "", 5760, 1560, 1215, 1215, cyan, targetFont, false,
     true, 17, Pointer::Arrow, Picture::None, ""},
    {&TavolaWindow::disparicmd1, "disparicmd1", "63", 6840, 5160, 1215, 1215, cyan, targetFont,
     false, true, 28, Pointer::Arrow, Picture::None, ""},
    {&TavolaWindow::disparicmd2, "disparicmd2", "", 5040, 6840, 1215, 1215, cyan, targetFont, false,
     true, 29, Pointer::Arrow, Picture::None, ""},
};

struct LabelDesign {
    BoardLabel* TavolaWindow::*member;
    const char* name;
    const char* text;
    int left, top, width, height;
    FontDesign font;
    QColor textColor;
    std::optional<QColor> background;
    bool centred;
    bool framed;
    bool autoSize;
    bool visible;
    bool enabled;
    const char* toolTip;
};

const FontDesign sans18{"MS Sans Serif", 18};
const FontDesign sans18Bold{"MS Sans Serif", 18, true};
const FontDesign sans24{"MS Sans Serif", 24};
const FontDesign sans24BoldItalic{"MS Sans Serif", 24, true, true};
const FontDesign times36Bold{"Times New Roman", 36, true};
const FontDesign sans975{"MS Sans Serif", 9.75};
const FontDesign sans12Bold{"MS Sans Serif", 12, true};
const FontDesign arialBlack12Bold{"Arial Black", 12, true};
const FontDesign arial48Bold{"Arial", 48, true};
const FontDesign arial48{"Arial", 48};
const QColor black(0, 0, 0);
const QColor blue(0, 0, 255);
const QColor red(255, 0, 0);
const QColor yellow(255, 255, 0);
const QColor green(0, 128, 0);
const QColor purple(192, 0, 192);
const QColor lightCyan(128, 255, 255);

// Visible labels first, then those the game never shows; later labels lie above earlier ones.
const LabelDesign labels[] = {
    {&TavolaWindow::Label6, "Label6", "Punti complessivi", -120, 0, 3135, 735, sans18,
     QColor(255, 255, 128), blue, true, true, true, true, true, ""},
    {&TavolaWindow::lblScore, "lblScore", "", 600, 840, 1215, 975, times36Bold, black, transparent,
     true, true, false, true, true, "Questo è il tuo punteggio. Forza con il  record"},
    {&TavolaWindow::Punteggio, "Punteggio", "0", 960, 1080, 495, 615, sans24, black, transparent,
     true, false, true, true, true, ""},
    {&TavolaWindow::Label11, "Label11", "Tempo restante", 120, 1920, 1575, 375, sans975, yellow,
     transparent, false, false, false, true, true, ""},
    {&TavolaWindow::lblconto, "lblconto", "00.00.00", 120, 2400, 1575, 495, arialBlack12Bold,
     yellow, transparent, false, true, false, true, true, ""},
    {&TavolaWindow::Label14, "Label14", "Sfidante", 135, 4560, 1395, 495, sans18, green,
     transparent, true, true, true, true, true, ""},
    {&TavolaWindow::lblnome1, "lblnome1", "", 1920, 4560, 120, 435, sans18Bold, green, transparent,
     false, false, true, true, true, ""},
    {&TavolaWindow::Label12, "Label12", "Il record  è di ", 120, 7920, 2295, 375, sans18, purple,
     transparent, false, false, false, true, true, ""},
    {&TavolaWindow::lblnome, "lblnome", "nome", 2640, 7920, 990, 435, sans18Bold, blue, transparent,
     false, false, true, true, true, ""},
    {&TavolaWindow::Label13, "Label13", "con punti", 6600, 7920, 1455, 435, sans18, purple,
     transparent, false, false, true, true, true, ""},
    {&TavolaWindow::lblpunti, "lblpunti", "0", 8160, 7800, 270, 555, sans24, purple, transparent,
     false, false, true, true, true, ""},

    {&TavolaWindow::lblMessage, "lblMessage", "", 1560, 3720, 6615, 615, sans24BoldItalic, red,
     transparent, true, false, false, false, true, ""},
    {&TavolaWindow::Label5, "Label5", "", 960, 7680, 6615, 615, sans24BoldItalic, red, transparent,
     true, false, false, false, true, ""},
    {&TavolaWindow::Label3, "Label3", "Risposte totali", 5640, 3840, 2340, 495, sans18, blue,
     transparent, false, true, true, false, true, ""},
    {&TavolaWindow::Label1, "Label1", "Risposte errate", 5760, 3120, 2520, 495, sans18, red,
     transparent, false, true, true, false, true, ""},
    {&TavolaWindow::lblScore1, "lblScore1", "0", 6960, 3600, 540, 885, times36Bold, red,
     transparent, true, true, true, false, true, ""},
    {&TavolaWindow::lblScore2, "lblScore2", "0", 7560, 2880, 555, 885, times36Bold, blue,
     transparent, true, true, true, false, true, ""},
    {&TavolaWindow::lblTime, "lblTime", "", 8400, 1800, 90, 300, sans12Bold, black, standardFace,
     false, false, true, false, true, "Clicca sotto di me per attivare il Timer"},
    {&TavolaWindow::Label4, "Label4", "=", 7320, 2040, 615, 975, arial48Bold, black, lightCyan,
     true, false, false, false, false, ""},
    {&TavolaWindow::Label2, "Label2", "X", 7320, 1800, 615, 975, arial48, black, lightCyan, true,
     false, false, false, false, ""},
};

QRect designRect(int left, int top, int width, int height) {
    return {TavolaWindow::pixels(left), TavolaWindow::pixels(top), TavolaWindow::pixels(width),
            TavolaWindow::pixels(height)};
}

const QRect answerPlace = designRect(5520, 1680, 2775, 1200);
const QRect startPlace = designRect(3840, 120, 1215, 495);
constexpr int pictureSide = 32;
// Below this nothing on the board could be read: the window is drawn no smaller.
constexpr qreal smallestScale = 0.25;

QRect scaled(const QRect& rect, qreal scale) {
    return {qRound(rect.x() * scale), qRound(rect.y() * scale), qRound(rect.width() * scale),
            qRound(rect.height() * scale)};
}

QFont scaled(QFont font, qreal scale) {
    if (font.pointSizeF() > 0)
        font.setPointSizeF(font.pointSizeF() * scale);
    else
        font.setPixelSize(qMax(1, qRound(font.pixelSize() * scale)));
    return font;
}

} // namespace

void registerFontSubstitutes() {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial Black"),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    QFont::insertSubstitutions(
        QStringLiteral("Times New Roman"),
        {QStringLiteral("Liberation Serif"), QStringLiteral("DejaVu Serif")});
}

TavolaWindow::TavolaWindow(QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("Tavola"));
    setWindowTitle(testi::titolo);

    board = new Board(this);
    board->setObjectName(QStringLiteral("board"));
    board->setFixedSize(clientWidth, clientHeight);
    setCentralWidget(board);

    createControls();
    createMenus();
    createTimers();
    // Last, so that pictures drawn in the background have had the longest time to get ready.
    applyPictures();

    // The client area has its design size; the window is not meant to be resized.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    addTitleBarWhereNeeded(this);
}

void TavolaWindow::createControls() {
    for (const LabelDesign& design : labels) {
        auto* label = new BoardLabel(board);
        this->*design.member = label;
        label->setObjectName(QString::fromLatin1(design.name));
        label->setGeometry(designRect(design.left, design.top, design.width, design.height));
        label->setFont(makeFont(design.font));
        label->setTextColor(design.textColor);
        if (design.background)
            label->setBackground(design.background->isValid() ? *design.background
                                                              : palette().color(QPalette::Button));
        label->setCentred(design.centred);
        label->setFramed(design.framed);
        // The design size stands until the game writes a text: only writing measures.
        label->setText(QString::fromUtf8(design.text));
        label->setAutoSize(design.autoSize);
        label->setEnabled(design.enabled);
        label->setToolTip(QString::fromUtf8(design.toolTip));
        label->setVisible(design.visible);
    }
    txtAnswer = new QLineEdit(board);
    txtAnswer->setObjectName(QStringLiteral("txtAnswer"));
    txtAnswer->setGeometry(answerPlace);
    txtAnswer->setFont(makeFont(arial48Bold));
    QPalette answerPalette = txtAnswer->palette();
    answerPalette.setColor(QPalette::Base, cyan);
    txtAnswer->setPalette(answerPalette);
    txtAnswer->setEnabled(false);
    txtAnswer->setToolTip(QStringLiteral("Inserisci il risultato e  premi il tasto  Invio"));
    txtAnswer->hide();

    Inizio = new QPushButton(QStringLiteral("Inizio"), board);
    Inizio->setObjectName(QStringLiteral("Inizio"));
    Inizio->setGeometry(startPlace);
    Inizio->hide();

    std::vector<const ButtonDesign*> tabOrder;
    for (const ButtonDesign& design : buttons) {
        auto* button = new GraphicButton(board);
        this->*design.member = button;
        button->setObjectName(QString::fromLatin1(design.name));
        button->setText(QString::fromUtf8(design.caption));
        button->setGeometry(designRect(design.left, design.top, design.width, design.height));
        button->setFont(makeFont(design.font));
        button->setBackColor(design.back);
        button->setToolTip(QString::fromUtf8(design.toolTip));
        button->setEnabled(design.enabled);
        button->setVisible(design.visible);
        button->raise(); // buttons are always drawn above labels
        tabOrder.push_back(&design);
    }
    std::sort(tabOrder.begin(), tabOrder.end(), [](const ButtonDesign* a, const ButtonDesign* b) {
        return a->tabIndex < b->tabIndex;
    });
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(this->*tabOrder[i - 1]->member, this->*tabOrder[i]->member);
}

void TavolaWindow::applyPictures() {
    setWindowIcon(pictures::windowIcon());
    board->setCursor(pictures::gunSightCursor());
    for (const ButtonDesign& design : buttons) {
        GraphicButton* button = this->*design.member;
        switch (design.pointer) {
        case Pointer::Board:
            break;
        case Pointer::Arrow:
            button->setCursor(Qt::ArrowCursor);
            break;
        case Pointer::FourArrows:
            button->setCursor(pictures::fourArrowsCursor());
            break;
        }
        switch (design.picture) {
        case Picture::None:
            break;
        case Picture::Faces:
            button->setPictures(pictures::smilingFace(), pictures::neutralFace(),
                                pictures::laughingFace());
            break;
        case Picture::NoEntry:
            button->setPictures(pictures::noEntrySign(), {}, {});
            break;
        }
    }
}

void TavolaWindow::createMenus() {
    QMenuBar* bar = menuBar();

    // Captions of the project's own: an example address that reaches nobody.
    INFOMAZIONI = bar->addMenu(QStringLiteral("www.corvalto.example"));
    INFOMAZIONI->setObjectName(QStringLiteral("INFOMAZIONI"));
    ca = INFOMAZIONI->addAction(QStringLiteral("Fatto a scuola, per la scuola"));
    ca->setObjectName(QStringLiteral("ca"));

    copy = bar->addMenu(QStringLiteral("Corvalto, dagli sviluppatori di Corvalto"));
    copy->setObjectName(QStringLiteral("copy"));
    via = copy->addAction(QStringLiteral("Scrivici: info@corvalto.example"));
    via->setObjectName(QStringLiteral("via"));

    Next = bar->addAction(QStringLiteral("Nuovo gioco"));
    Next->setObjectName(QStringLiteral("Next"));

    hf = bar->addMenu(QStringLiteral("Help"));
    hf->setObjectName(QStringLiteral("hf"));
    Ciao = hf->addAction(
        QStringLiteral("Ciao campione, mi raccomando colpisci solo i multipli del 25"));
    Ciao->setObjectName(QStringLiteral("Ciao"));
    ok = hf->addAction(QStringLiteral("Ogni errore  ti farà perdere 4 punti."));
    ok->setObjectName(QStringLiteral("ok"));
    d = hf->addAction(QStringLiteral("Un numero è divisibile per 25 se termina con 00,25,50,75"));
    d->setObjectName(QStringLiteral("d"));
    h = hf->addAction(QStringLiteral("Es 1050 è divisibile per 25 ed infatti termina con 50"));
    h->setObjectName(QStringLiteral("h"));
}

void TavolaWindow::createTimers() {
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setTimerType(Qt::PreciseTimer); // the countdown clock: one tick per second
    Timer1->setInterval(1000);
    Timer1->start(); // enabled at design; the load switches it off first

    Timer2 = new QTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
    Timer2->setInterval(1300);
}

void TavolaWindow::setDrawingScale(qreal scale) {
    if (scale == m_scale)
        return;
    const qreal change = scale / m_scale;
    m_scale = scale;
    for (const LabelDesign& design : labels) {
        BoardLabel* label = this->*design.member;
        label->setGeometry(
            scaled(designRect(design.left, design.top, design.width, design.height), scale));
        label->setFont(scaled(makeFont(design.font), scale)); // measures a written text again
    }
    for (const ButtonDesign& design : buttons) {
        GraphicButton* button = this->*design.member;
        const QRect place =
            scaled(designRect(design.left, design.top, design.width, design.height), scale);
        button->setGeometry(QRect(
            QPoint(qRound(button->x() * change), qRound(button->y() * change)), place.size()));
        button->setFont(scaled(makeFont(design.font), scale));
        button->setPictureSize(qRound(pictureSide * scale));
    }
    txtAnswer->setGeometry(scaled(answerPlace, scale));
    txtAnswer->setFont(scaled(makeFont(arial48Bold), scale));
    Inizio->setGeometry(scaled(startPlace, scale));
    Inizio->setFont(scaled(QApplication::font(Inizio), scale));
    menuBar()->setFont(scaled(QApplication::font(menuBar()), scale));
    board->setDrawingSize(QSize(qRound(clientWidth * scale), qRound(clientHeight * scale)));
    layout()->activate();
}

void TavolaWindow::fitToScreen() {
    const QScreen* screen = this->screen();
    if (!screen || !windowHandle())
        return;
    const QRect work = screen->availableGeometry();
    // Where a window manager frames the window only once it is mapped, this is known then.
    const QMargins frame = windowHandle()->frameMargins();
    const QSize room = work.size().shrunkBy(frame);
    const auto fitsIn = [this](QSize r) { return width() <= r.width() && height() <= r.height(); };
    if (fitsIn(room) || m_scale <= smallestScale)
        return;
    // A pixel kept in hand for the rounding of a fractional scale to device pixels; the menu
    // bar's text does not shrink quite in step: a try or two more.
    const QSize tight = room - QSize(1, 1);
    for (int attempt = 0; attempt < 8 && !fitsIn(tight) && m_scale > smallestScale; ++attempt) {
        const qreal ratio = qMin(qreal(tight.width()) / width(), qreal(tight.height()) / height());
        setDrawingScale(qMax(smallestScale, m_scale * ratio - attempt * 0.002));
    }
    // Wholly in the work area, as near as it can be to where it was.
    const QRect now = frameGeometry();
    move(qBound(work.left(), now.left(), qMax(work.left(), work.right() + 1 - now.width())),
         qBound(work.top(), now.top(), qMax(work.top(), work.bottom() + 1 - now.height())));
}

void TavolaWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous())
        fitToScreen();
}

void TavolaWindow::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    // An X11 window manager frames the window after it is shown, and moves it then.
    if (isVisible())
        fitToScreen();
}

void TavolaWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    emit resized();
}

void TavolaWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        emit resized();
}

void TavolaWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    emit closing();
}
