// corvalto_makeicons <folder> <size>...
//     Writes the game's icon as <folder>/hicolor/<size>x<size>/apps/corvalto.png for each size.
// corvalto_makeicons --ico <file> <size>...
//     Writes the game's icon as one Windows icon file holding every size, for the program's
//     resources and its Start-menu entry.

#include "pictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>
#include <QtEndian>

#include <cstdio>

namespace {

QByteArray png(int size) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    pictures::iconImage(size).save(&buffer, "PNG");
    return bytes;
}

void appendLE16(QByteArray& out, quint16 value) {
    const quint16 le = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&le), 2);
}

void appendLE32(QByteArray& out, quint32 value) {
    const quint32 le = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&le), 4);
}

// An icon directory whose entries are PNG images, which Windows reads since Vista.
QByteArray icoFile(const QList<int>& sizes) {
    QList<QByteArray> images;
    for (int size : sizes)
        images.append(png(size));
    QByteArray out;
    appendLE16(out, 0);
    appendLE16(out, 1); // an icon, not a cursor
    appendLE16(out, quint16(sizes.size()));
    quint32 offset = quint32(6 + 16 * sizes.size());
    for (qsizetype i = 0; i < sizes.size(); ++i) {
        const char side = char(sizes[i] >= 256 ? 0 : sizes[i]); // 0 stands for 256
        out.append(side).append(side).append('\0').append('\0');
        appendLE16(out, 1);  // planes
        appendLE16(out, 32); // bits per pixel
        appendLE32(out, quint32(images[i].size()));
        appendLE32(out, offset);
        offset += quint32(images[i].size());
    }
    for (const QByteArray& image : images)
        out.append(image);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    // A build step has no screen to talk to.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QStringList args = app.arguments().mid(1);
    const bool ico = !args.isEmpty() && args.first() == QLatin1String("--ico");
    if (ico)
        args.removeFirst();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: corvalto_makeicons [--ico <file> | <folder>] <size>...\n");
        return 2;
    }
    QList<int> sizes;
    for (const QString& arg : args.mid(1)) {
        bool ok = false;
        const int size = arg.toInt(&ok);
        if (!ok || size < 16 || size > (ico ? 256 : 1024)) {
            std::fprintf(stderr, "corvalto_makeicons: bad size '%s'\n", qPrintable(arg));
            return 2;
        }
        sizes.append(size);
    }
    if (ico) {
        QFile file(args.first());
        if (!file.open(QIODevice::WriteOnly) || file.write(icoFile(sizes)) < 0 || !file.flush()) {
            std::fprintf(stderr, "corvalto_makeicons: cannot write %s\n",
                         qPrintable(file.fileName()));
            return 1;
        }
        return 0;
    }
    const QDir root(args.first());
    for (int size : sizes) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        const QString file = root.filePath(folder + QStringLiteral("/corvalto.png"));
        if (!root.mkpath(folder) || !pictures::iconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "corvalto_makeicons: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
