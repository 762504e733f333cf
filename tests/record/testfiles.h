#pragma once

#include "recordfiles.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <functional>

#include <sys/stat.h>

// How `operation` fails; a FileError with an empty path if it does not.
inline record::FileError failureOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const record::FileError& error) {
        return error;
    }
    return record::FileError({}, "succeeded");
}

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

inline mode_t modeOf(const QString& path) {
    struct stat status = {};
    ::lstat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

// Root bypasses file permissions, so a test of them run as root proves nothing: it runs its own
// test function again as the unprivileged account 65534 (setpriv, from util-linux). Returns why
// that is impossible, or empty after checking the child's result.
inline QString runUnprivileged(const char* function,
                               QProcessEnvironment env = QProcessEnvironment::systemEnvironment()) {
    env.insert("TMPDIR", "/tmp");
    const auto run = [&](const char* argument, QByteArray& output) {
        QProcess child;
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.setWorkingDirectory("/");
        child.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups",
                                QCoreApplication::applicationFilePath(), argument});
        // A bound for a child that hangs, not a speed check.
        const bool finished = child.waitForFinished(120000);
        output = child.readAll();
        if (child.error() != QProcess::UnknownError)
            output += child.errorString().toLocal8Bit();
        return finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    };
    QByteArray output;
    if (!run("-functions", output))
        return "cannot run as the unprivileged account 65534 (needs setpriv and a build tree it "
               "can read): " +
               QString::fromLocal8Bit(output);
    [&] { QVERIFY2(run(function, output), output.constData()); }();
    return {};
}
