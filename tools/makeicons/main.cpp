// corvalto_makeicons <folder> <size>...
// Writes the game's icon as <folder>/hicolor/<size>x<size>/apps/corvalto.png for each size.

#include "pictures.h"

#include <QDir>
#include <QGuiApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char** argv) {
    // A build step has no screen to talk to.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: corvalto_makeicons <folder> <size>...\n");
        return 2;
    }
    const QDir root(args.first());
    for (const QString& arg : args.mid(1)) {
        bool ok = false;
        const int size = arg.toInt(&ok);
        if (!ok || size < 16 || size > 1024) {
            std::fprintf(stderr, "corvalto_makeicons: bad size '%s'\n", qPrintable(arg));
            return 2;
        }
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        const QString file = root.filePath(folder + QStringLiteral("/corvalto.png"));
        if (!root.mkpath(folder) || !pictures::iconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "corvalto_makeicons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
