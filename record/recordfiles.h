#pragma once

#include <QString>
#include <QStringView>

#include <optional>
#include <stdexcept>

// The record: the best score on this computer and its holder, kept in two one-line files
// ("avelmora.txt" and "velmora.txt") in a folder that every account of the machine shares.
namespace record {

// The literal names of the two files; recordPath() maps them onto the platform's separators.
inline constexpr QStringView scoreFileName = u"\\avelmora.txt";
inline constexpr QStringView nameFileName = u"\\velmora.txt";

// A record file is one short line: anything larger is refused rather than read.
inline constexpr qint64 maxFileSize = 64 * 1024;

// A platform file operation failed: which file, and the operating system's reason.
class FileError : public std::runtime_error {
public:
    FileError(QString path, QString reason);
    const QString& path() const { return m_path; }
    const QString& reason() const { return m_reason; }

private:
    QString m_path;
    QString m_reason;
};

// The machine-wide folder that holds the record files, without a guaranteed trailing separator.
// Windows: the Windows directory. Elsewhere: the folder fixed at build time, created 0777 (no
// sticky bit, so that any account can replace another's file) if it is missing.
QString systemDirectory();

// `dir` stripped of spaces at both ends, ending in exactly one separator ('\\' on Windows, '/'
// elsewhere); a root such as "C:\\" or "/" keeps its single one.
QString withTrailingSeparator(QString dir);

// `cartella` (ending in a separator) followed by a literal name such as scoreFileName. Windows
// concatenates as is (it takes the doubled backslash as one); elsewhere the literal's backslashes
// become '/' and the leading one is dropped.
QString recordPath(const QString& cartella, QStringView literal);

// Creates a missing file with zero bytes, readable and writable by every account; leaves an
// existing one exactly as it is. A symbolic link or a non-regular file is refused.
void ensureExists(const QString& path);

// The whole file, line ends included, decoded from the local 8-bit code page. Refuses a link, a
// non-regular file (without waiting on it) and a file larger than maxFileSize.
QString readWhole(const QString& path);

// The leading number of `text`: spaces, tabs and line feeds are skipped wherever they occur; an
// optional sign, then digits with an optional decimal point and exponent (E or D), or &H / &O with
// hexadecimal / octal digits. Reading stops at the first character that cannot continue the
// number; no number reads 0. Never fails.
double lenientValue(QStringView text);

// The whole text as one number of the same forms, leading spaces allowed; nullopt otherwise.
std::optional<double> strictValue(QStringView text);

// Stores `scoreText` and `nameText` as the new record in `cartella` if `score` is strictly greater
// than the stored score, re-read under a lock so that a record set meanwhile by another game is
// never lowered. Each file is written whole beside the old one and renamed over it, score first.
// Returns whether it stored. On failure both old files stay whole and matching and nothing
// temporary is left behind.
bool storeRecord(const QString& cartella, double score, const QString& scoreText,
                 const QString& nameText);

} // namespace record
