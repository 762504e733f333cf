#include "recordfiles.h"

#include "numbers.h"

namespace record {

namespace {

#ifdef Q_OS_WIN
constexpr QChar separator = u'\\';
#else
constexpr QChar separator = u'/';
#endif

QString problemText(Problem problem) {
    return QString::fromLatin1(core::problemWord(problem));
}

} // namespace

FileError::FileError(Problem problem, QString path)
    : std::runtime_error(QStringLiteral("%1: %2").arg(path, problemText(problem)).toStdString())
    , m_problem(problem)
    , m_path(std::move(path)) {}

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

// Only ASCII takes part in a number, so the UTF-8 bytes of the text read as the text does.
double lenientValue(QStringView text) {
    return core::lenientValue(text.toUtf8().toStdString());
}

std::optional<double> strictValue(QStringView text) {
    return core::strictValue(text.toUtf8().toStdString());
}

} // namespace record
