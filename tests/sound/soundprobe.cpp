// Plays the files named on the command line through an AudioPlayer, waits until the player has
// dealt with all of them and prints what became of the last one. The tests run it as a child
// process to see everything the player writes on stderr, down to the end of the program.

#include "audioplayer.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    sound::AudioPlayer player(QStringLiteral(CORVALTO_AUDIO_MODULE));
    QStringList files = app.arguments().mid(1);
    // --every-ms=N: N requests, one a millisecond, cycling through the files.
    int rapid = 0;
    if (!files.isEmpty() && files.front().startsWith(QLatin1String("--every-ms=")))
        rapid = files.takeFirst().section(u'=', 1).toInt();
    QTimer feeder;
    feeder.setTimerType(Qt::PreciseTimer);
    int fed = 0;
    QObject::connect(&feeder, &QTimer::timeout, &app, [&] {
        player.play(files[fed % files.size()]);
        if (++fed == rapid)
            feeder.stop();
    });
    if (rapid > 0 && !files.isEmpty())
        feeder.start(1);
    else
        for (const QString& path : files)
            player.play(path);

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        const auto report = player.report();
        if (feeder.isActive() || report.settled < report.requested)
            return;
        const char* names[] = {"None", "Started", "Unreadable", "NoOutput", "Late"};
        std::printf("%s\n", names[int(report.last)]);
        app.quit();
    });
    poll.start(5);
    QTimer::singleShot(60000, &app, [&] { app.exit(3); });
    return app.exec();
}
