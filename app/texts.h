#pragma once

#include <QString>

// Every text the game shows or uses as a name, exactly as written: several carry
// deliberate spaces at their ends ("Attenzione!  ", "              Ciao a presto.").
namespace testi {

inline const QString titolo = QStringLiteral("Corvalto");
inline const QString titoloRidotto = QStringLiteral("Pandrilo");

inline const QString comeTiChiami = QStringLiteral("Come ti chiami?");
inline const QString vediamoSeSei = QStringLiteral(" vediamo se sei un vero campione  ");

inline const QString attenzione = QStringLiteral("Attenzione!  ");
inline const QString attenzioneSbagliato = QStringLiteral("Attenzione! Hai sbagliato:  ");
inline const QString nonDivisibile = QStringLiteral("  non è  un numero divisibile per 25");
inline const QString nonDivisibile1 = QStringLiteral("   non è  un numero divisibile per 25");

inline const QString ciaoAPresto = QStringLiteral("              Ciao a presto.");
inline const QString recordRegistrato =
    QStringLiteral("Ok ho registrato il tuo record, C A M P I O N E\"");

inline const QString nuovaGara = QStringLiteral("INIZIAMO UNA NUOVA GARA  ?");
inline const QString titoloNuovaGara = QStringLiteral("INIZIARE NUOVA GARA");

inline const QString fineTempo = QStringLiteral("00:00:00");

// Names below the program's folder, written as the game has always written them; Suonafile
// maps them onto the platform's paths.
inline const QString suonoSparo = QStringLiteral("\\suoni\\sparo.wav");
inline const QString suonoEsplosione = QStringLiteral("\\suoni\\esplosi.wav");
inline const QString suonoLaser = QStringLiteral("\\suoni\\laser.wav");

// The run-time error report: which file, and the operating system's reason.
inline const QString erroreFile =
    QStringLiteral("Errore di esecuzione: impossibile usare il file del record\n\n%1\n\n%2");

} // namespace testi
