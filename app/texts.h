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

// A record that cannot be used: one message for each problem, naming the file (%1) and saying
// what to do. Who may delete or repair a file of the shared folder is the computer's
// administrator, so the messages send the player there.
namespace errore {
inline const QString inizio = QStringLiteral("Il record non si può usare.\n\n");
inline const QString collegamento =
    QStringLiteral("Il file %1 è un collegamento a un altro file. Chiedi all'amministratore del "
                   "computer di cancellarlo: il gioco ne creerà uno nuovo, vuoto.");
inline const QString speciale =
    QStringLiteral("Al posto del file %1 c'è qualcosa che non è un file di testo (una cartella o "
                   "un file speciale). Chiedi all'amministratore del computer di cancellarlo: il "
                   "gioco ne creerà uno nuovo, vuoto.");
inline const QString piuNomi =
    QStringLiteral("Il file %1 ha anche un altro nome sul disco (un collegamento fisico). Chiedi "
                   "all'amministratore del computer di cancellarlo: il gioco ne creerà uno "
                   "nuovo, vuoto.");
inline const QString troppoGrande =
    QStringLiteral("Il file %1 è troppo grande per essere un record. Chiedi all'amministratore "
                   "del computer di cancellarlo: il gioco ne creerà uno nuovo, vuoto.");
inline const QString illeggibile =
    QStringLiteral("Il file %1 non si può leggere. Chiedi all'amministratore del computer di "
                   "renderlo leggibile a tutti, oppure di cancellarlo.");
inline const QString nonScrivibile =
    QStringLiteral("Il file %1 non si può scrivere. Chiedi all'amministratore del computer di "
                   "controllare la cartella del record e i suoi permessi.");
inline const QString discoPieno =
    QStringLiteral("Il file %1 non si può scrivere: il disco è pieno. Chiedi all'amministratore "
                   "del computer di liberare spazio.");
inline const QString cartella =
    QStringLiteral("La cartella del record %1 non c'è. Chiedi all'amministratore del computer di "
                   "reinstallare il gioco.");
// Only an administrator may add a file to the installed record folder.
#ifdef Q_OS_WIN
inline const QString mancante =
    QStringLiteral("Il file %1 non c'è e solo l'amministratore del computer può ricrearlo. "
                   "Chiedigli di installare di nuovo il gioco.");
#else
inline const QString mancante =
    QStringLiteral("Il file %1 non c'è e solo l'amministratore del computer può ricrearlo. "
                   "Chiedigli di eseguire il comando: sudo dpkg-reconfigure corvalto");
#endif
inline const QString occupato =
    QStringLiteral("Un'altra partita sta registrando il suo record e non ha finito in tempo (il "
                   "file %1 è ancora bloccato). Riprova tra poco; se succede di nuovo, chiedi "
                   "all'amministratore del computer di riavviarlo.");
// Windows: another program keeps a record file open without sharing it.
inline const QString aperto =
    QStringLiteral("Un altro programma tiene aperto il file %1 e il gioco non può usarlo. Chiudi "
                   "quel programma, oppure chiudi la sessione dell'utente che lo usa, oppure "
                   "riavvia il computer.");
inline const QString registratore =
    QStringLiteral("Il programma che registra il record, %1, manca o non funziona. Chiedi "
                   "all'amministratore del computer di reinstallare il gioco.");
} // namespace errore

} // namespace testi
