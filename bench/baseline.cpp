// A bare Qt Widgets program that the game's start-up is measured against. It does what the
// game shows at start, with nothing of the game behind it:
//
//   corvalto_baseline            the same input box, the same message box, then a window of
//                                the game's client size with a menu bar of four titles
//   corvalto_baseline --window   the window alone
//
// Built a second time as corvalto_baseline_multimedia, linking Qt Multimedia: its window plays
// the file named last on its command line (after the boxes, or after --window) with a
// QSoundEffect at a click, as a bare program would.
//
// Its time marks (marks.h) cost nothing unless the bench asks for them.

#include "marks.h"

#include <QApplication>
#include <QInputDialog>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>

#include <cstring>

#ifdef CORVALTO_BASELINE_MULTIMEDIA
#include <QSoundEffect>
#include <QUrl>

class SoundingClient : public QWidget {
public:
    explicit SoundingClient(const char* file, QWidget* parent)
        : QWidget(parent) {
        m_effect.setSource(QUrl::fromLocalFile(QString::fromLocal8Bit(file)));
    }

protected:
    void mousePressEvent(QMouseEvent*) override { m_effect.play(); }

private:
    QSoundEffect m_effect;
};
#endif

namespace {

const QString title = QStringLiteral("Corvalto");

void askName() {
    // Built as the game builds its boxes: no parent, exec()'s own event loop.
    QInputDialog dialog;
    dialog.setWindowTitle(title);
    dialog.setLabelText(QStringLiteral("Come ti chiami?"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(QString());
    QString name;
    startmarks::mark("prompt-asked");
    if (dialog.exec() == QDialog::Accepted)
        name = dialog.textValue();
    startmarks::mark("prompt-answered");

    QMessageBox box;
    box.setWindowTitle(title);
    box.setTextFormat(Qt::PlainText);
    box.setText(u' ' + name + QStringLiteral(" vediamo se sei un vero campione  "));
    box.setIcon(QMessageBox::NoIcon);
    box.addButton(QMessageBox::Ok);
    box.setDefaultButton(QMessageBox::Ok);
    startmarks::mark("greeting-asked");
    box.exec();
    startmarks::mark("greeting-answered");
}

} // namespace

int main(int argc, char* argv[]) {
    startmarks::mark("main");
    const bool windowOnly = argc > 1 && std::strcmp(argv[1], "--window") == 0;
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    startmarks::mark("qapplication");

    if (!windowOnly)
        askName();

    QMainWindow window;
    window.setWindowTitle(title);
#ifdef CORVALTO_BASELINE_MULTIMEDIA
    const int fileArg = windowOnly ? 2 : 1;
    auto* client = new SoundingClient(argc > fileArg ? argv[fileArg] : "", &window);
#else
    auto* client = new QWidget(&window);
#endif
    client->setFixedSize(608, 672);
    window.setCentralWidget(client);
    // Four titles, as long as the game's, so that the bar costs the same to lay out.
    QMenuBar* bar = window.menuBar();
    bar->addMenu(QStringLiteral("www.corvalto.example"))
        ->addAction(QStringLiteral("Fatto a scuola, per la scuola"));
    bar->addMenu(QStringLiteral("Corvalto, dagli sviluppatori di Corvalto"))
        ->addAction(QStringLiteral("Scrivici: info@corvalto.example"));
    bar->addAction(QStringLiteral("Nuovo gioco"));
    bar->addMenu(QStringLiteral("Help"))->addAction(QStringLiteral("Es 1050"));
    startmarks::mark("window-built");
    window.show();
    return app.exec();
}
