#pragma once

#include "folder.h"

#include <QString>
#include <QStringView>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>

// The record as the game sees it: the best score on this computer and its holder, kept in two
// one-line files ("avelmora.txt" and "velmora.txt") in a folder every account of the machine
// reads. The game reads them itself; on POSIX systems only the store, a small program beside the
// game that may write the folder, changes them (record/store). Windows writes them in-process.
namespace record {

// The literal names of the two files; recordPath() maps them onto the platform's separators.
inline constexpr QStringView scoreFileName = u"\\avelmora.txt";
inline constexpr QStringView nameFileName = u"\\velmora.txt";

// What went wrong, and with which file (or folder).
using core::Problem;

class FileError : public std::runtime_error {
public:
    FileError(Problem problem, QString path);
    Problem problem() const { return m_problem; }
    const QString& path() const { return m_path; }

private:
    Problem m_problem;
    QString m_path;
};

// The machine-wide folder that holds the record files, without a guaranteed trailing separator.
// Windows: Corvalto in the machine's application data (%ProgramData%), which the installer makes
// with rights that let every account change the files' contents and nothing else; contents no
// game wrote read there as no record. Elsewhere: the folder fixed at build time.
QString systemDirectory();

// `dir` stripped of spaces at both ends, ending in exactly one separator ('\\' on Windows, '/'
// elsewhere); a root such as "C:\\" or "/" keeps its single one.
QString withTrailingSeparator(QString dir);

// `cartella` (ending in a separator) followed by a literal name such as scoreFileName. Windows
// concatenates as is (it takes the doubled backslash as one); elsewhere the literal's backslashes
// become '/' and the leading one is dropped.
QString recordPath(const QString& cartella, QStringView literal);

// The store, in the program's own folder (POSIX systems).
QString storeProgram(const QString& programFolder);

// The two files exactly as read.
struct Pair {
    QString score;
    QString name;
};

// Makes sure both record files exist and no store is left half done, then reads both as one pair,
// under the lock: never one file of a store and one of another. On POSIX systems the store does
// all of it (only it may take the lock) and `leggi` is not used; on Windows the game makes the
// folder if it is missing, reads with `leggi`, its own reader, and also opens both files for
// writing, unchanged, so that a player who could not store a record learns it now rather than at
// the end of the game.
Pair load(const QString& cartella, const QString& programFolder,
          const std::function<QString(const QString&)>& leggi);

// load(), begun ahead of time. On POSIX systems the store starts at once and waits to be told to
// read, so that its start is spent while the game waits for the player, yet the record is read
// only when finish() is called; on Windows all of load() happens in finish(). A store never told
// is told by the destructor, and waited for.
class EarlyLoad {
public:
    explicit EarlyLoad(const QString& programFolder);
    ~EarlyLoad();
    EarlyLoad(const EarlyLoad&) = delete;
    EarlyLoad& operator=(const EarlyLoad&) = delete;

    // As load(); called once.
    Pair finish(const QString& cartella, const std::function<QString(const QString&)>& leggi);

private:
    struct Started; // what each platform keeps from the start until finish()
    std::unique_ptr<Started> m_started;
};

// The whole file, line ends included, decoded from the local 8-bit code page. Refuses a link, a
// non-regular file (without opening it), a file with more than one name, and one larger than
// core::maxFileSize.
QString readWhole(const QString& path);

// Stores `scoreText` and `nameText` as the new record if the score is strictly greater than the
// stored one, decided again under the lock so that a record set meanwhile by another game is never
// lowered. Returns whether it stored. A store cut short at any point leaves the old pair or the
// new one, never one file of each.
bool store(const QString& cartella, const QString& programFolder, const QString& scoreText,
           const QString& nameText);

// The readings of core/numbers.h, on text.
double lenientValue(QStringView text);
std::optional<double> strictValue(QStringView text);

} // namespace record
