#pragma once

#include <QByteArray>
#include <QString>

// The few file operations the record needs, one implementation per platform. Every one refuses to
// act through a symbolic link: the record folder is writable by every account of the machine.
namespace record::platform {

// Makes sure `path` is a folder, creating it (and missing parents) if needed; a folder created
// here gets mode 0777 whatever the umask.
void ensureFolder(const QString& path);

// The raw bytes of a regular file of at most maxFileSize bytes.
QByteArray readBytes(const QString& path);
// The reason given when a record file is larger than maxFileSize.
QString tooLargeReason();

// Creates `path` exclusively (never through a link), readable and writable by every account, and
// writes `bytes` to it durably. Returns false, having created nothing, if the name is taken.
bool createNew(const QString& path, const QByteArray& bytes);

// Renames `from` over `to` in one step; a link at `to` is itself replaced, never its target.
void replace(const QString& from, const QString& to);

// Best effort: a temporary file that cannot be removed must not hide the error that led here.
void remove(const QString& path) noexcept;

} // namespace record::platform
