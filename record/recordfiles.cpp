#include "recordfiles.h"

#include "folderlock.h"
#include "platformfiles.h"
#include "storesteps.h"

#include <QList>
#include <QRandomGenerator>

namespace record {

namespace {

#ifdef Q_OS_WIN
constexpr QChar separator = u'\\';
#else
constexpr QChar separator = u'/';
#endif

// New files written beside the record files; any still listed when it goes out of scope (after a
// failure, or the copy of the old score after a success) is removed.
class TempFiles {
public:
    explicit TempFiles(StoreSteps& steps)
        : m_steps(steps) {}
    ~TempFiles() {
        for (const QString& path : std::as_const(m_paths))
            platform::remove(path);
    }
    TempFiles(const TempFiles&) = delete;
    TempFiles& operator=(const TempFiles&) = delete;

    QString create(const QString& beside, const QByteArray& bytes) {
        for (int attempt = 0; attempt < 16; ++attempt) {
            const QString path =
                QStringLiteral("%1.%2.tmp")
                    .arg(beside, QString::number(QRandomGenerator::global()->generate(), 16));
            try {
                if (m_steps.createNew(path, bytes)) {
                    m_paths.append(path);
                    return path;
                }
            } catch (const FileError& error) {
                // The random name means nothing to a player; the record file does.
                throw FileError(beside, error.reason());
            }
        }
        throw FileError(beside, QStringLiteral("no free name for a new file beside it"));
    }

    // The file now stands under a record file's name: no longer ours to remove.
    void keep(const QString& path) { m_paths.removeOne(path); }

private:
    StoreSteps& m_steps;
    QList<QString> m_paths;
};

QByteArray line(const QString& text) {
    return text.toLocal8Bit() + "\r\n";
}

} // namespace

FileError::FileError(QString path, QString reason)
    : std::runtime_error(QStringLiteral("%1: %2").arg(path, reason).toStdString())
    , m_path(std::move(path))
    , m_reason(std::move(reason)) {}

QString withTrailingSeparator(QString dir) {
    qsizetype begin = 0;
    qsizetype end = dir.size();
    while (begin < end && dir[begin] == u' ')
        ++begin;
    while (end > begin && dir[end - 1] == u' ')
        --end;
    while (end > begin && dir[end - 1] == separator)
        --end;
    return dir.mid(begin, end - begin) + separator;
}

QString platform::tooLargeReason() {
    return QStringLiteral("is larger than %1 KiB, far too large for a record file")
        .arg(maxFileSize / 1024);
}

QString recordPath(const QString& cartella, QStringView literal) {
#ifdef Q_OS_WIN
    return cartella + literal.toString();
#else
    QString name = literal.toString().replace(u'\\', u'/');
    if (cartella.endsWith(u'/') && name.startsWith(u'/'))
        name.remove(0, 1);
    return cartella + name;
#endif
}

bool storeRecord(const QString& cartella, double score, const QString& scoreText,
                 const QString& nameText) {
    StoreSteps steps;
    return storeRecord(cartella, score, scoreText, nameText, steps);
}

bool storeRecord(const QString& cartella, double score, const QString& scoreText,
                 const QString& nameText, StoreSteps& steps) {
    const QString scorePath = recordPath(cartella, scoreFileName);
    const QString namePath = recordPath(cartella, nameFileName);

    const FolderLock lock(cartella, steps.lockPatience());
    ensureExists(scorePath);
    ensureExists(namePath);
    // Another game may have stored a higher record since this one read it.
    const QByteArray oldScore = platform::readBytes(scorePath);
    if (!(lenientValue(QString::fromLocal8Bit(oldScore)) < score))
        return false;

    TempFiles temps(steps);
    const QString newScore = temps.create(scorePath, line(scoreText));
    const QString newName = temps.create(namePath, line(nameText));
    const QString oldScoreCopy = temps.create(scorePath, oldScore);

    steps.replace(newScore, scorePath);
    temps.keep(newScore);
    try {
        steps.replace(newName, namePath);
        temps.keep(newName);
    } catch (const FileError& error) {
        // A new score beside the old name would credit the old holder with it.
        try {
            steps.replace(oldScoreCopy, scorePath);
            temps.keep(oldScoreCopy);
        } catch (const FileError& undo) {
            throw FileError(error.path(),
                            QStringLiteral("%1; the score file %2 could not be put back either: %3")
                                .arg(error.reason(), scorePath, undo.reason()));
        }
        throw;
    }
    return true;
}

} // namespace record
