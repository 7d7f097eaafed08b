#pragma once
// Files as the program reads and writes them: only plain files are read as files, and a file
// is replaced whole or not at all.
#include <QByteArray>
#include <QString>

#include <functional>

class QIODevice;

// The reason a path cannot be read or appended to as a file: a pipe, a device or a folder
// would block, never end or never take the bytes. Empty for a plain file or a missing path.
QString NotPlainFileReason(const QString &path);

struct WholeFileOptions {
    // A file in a folder where no other file may be made is written in place instead.
    bool inPlaceFallback = false;
    // A file that did not exist yet is made readable and writable by its owner only.
    bool ownerOnly = false;
    // Tests: write in place as if no other file could be made beside it.
    bool inPlaceOnly = false;
};

// Writes the file through a temporary one that replaces it only when every byte is on disk;
// otherwise the old file stays as it was and *error says why. Written in place, the new bytes
// go over the old ones without cutting the file first, and a write that fails puts the old
// bytes back (they need no room the file did not have). write gets the device and
// returns false when it could not write.
bool WriteWholeFile(const QString &path, const std::function<bool(QIODevice *)> &write,
                    QString *error, WholeFileOptions options = {});
bool WriteWholeFile(const QString &path, const QByteArray &data, QString *error,
                    WholeFileOptions options = {});

// Writes every byte, going on after a short write: the write that then fails gives the
// device its error (a full disk says so instead of nothing).
bool WriteAll(QIODevice *out, const QByteArray &data);
