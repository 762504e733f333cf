#pragma once

#include <QString>
#include <QtGlobal>

// The game's own data. Names and types are those the game has always used: integers are
// signed 16-bit, secondi is single precision. Every value starts at zero or empty.
struct Stato {
    qint16 numpari = 0;
    qint16 numpari1 = 0;
    qint16 numpari2 = 0;
    qint16 numdispari = 0;
    qint16 numdispari1 = 0;
    qint16 numdispari2 = 0;
    qint16 punti = 0;
    qint16 giri = 0;  // pass counter of the hit flash loops
    qint16 rosso = 0; // red factor of the last board paint, 1 to 9
    qint16 verde = 0; // green factor of the last board paint, 0 to 9
    qint16 ore = 0;
    qint16 minuti = 0;
    float secondi = 0;
    QString cartella; // the record folder with its trailing separator
    qint16 numfile = 0;
    QString testo;     // the line about to be written to a record file
    qint16 attesa = 0; // counter of the pause before the record check
};
