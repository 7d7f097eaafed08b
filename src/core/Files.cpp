#include "core/Files.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QSaveFile>

namespace
{
bool overwriteInPlace(const QString &path, const QByteArray &data, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray old = file.readAll();
    if (file.seek(0) && WriteAll(&file, data) && file.resize(data.size()))
        return true;
    *error = file.error() == QFileDevice::NoError
                 ? QStringLiteral("Not every byte could be written; is the disk full?")
                 : file.errorString();
    file.seek(0);
    WriteAll(&file, old);
    file.resize(old.size());
    return false;
}
} // namespace

QString NotPlainFileReason(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && !info.isFile() ? QStringLiteral("Not a file.") : QString();
}

bool WriteWholeFile(const QString &path, const std::function<bool(QIODevice *)> &write,
                    QString *error, WholeFileOptions options)
{
    const bool existed = QFileInfo::exists(path);
    QSaveFile file(path);
    // Unbuffered: a buffered write only reaches the disk in commit(), whose failed flush
    // QSaveFile does not count as a write error; it would then put the short file in place.
    const bool opened =
        !options.inPlaceOnly && file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    // Not QSaveFile's own fallback: it cuts the file before writing, and a full disk then
    // leaves it empty.
    if (!opened && options.inPlaceFallback && existed) {
        QBuffer bytes;
        bytes.open(QIODevice::WriteOnly);
        QString reason;
        const bool ok = write(&bytes) && overwriteInPlace(path, bytes.data(), &reason);
        if (!ok && error)
            *error = reason;
        return ok;
    }
    bool ok = opened && write(&file);
    if (ok && !existed && options.ownerOnly)
        ok = file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QString reason;
    if (!ok) {
        // A short write sets no error of its own.
        reason = file.error() == QFileDevice::NoError
                     ? QStringLiteral("Not every byte could be written; is the disk full?")
                     : file.errorString();
        file.cancelWriting();
    }
    if (file.isOpen() && !file.commit() && ok) {
        ok = false;
        reason = file.errorString();
    }
    if (!ok && error)
        *error = reason;
    return ok;
}

bool WriteWholeFile(const QString &path, const QByteArray &data, QString *error,
                    WholeFileOptions options)
{
    return WriteWholeFile(
        path, [&data](QIODevice *out) { return WriteAll(out, data); }, error, options);
}

bool WriteAll(QIODevice *out, const QByteArray &data)
{
    qint64 done = 0;
    while (done < data.size()) {
        const qint64 n = out->write(data.constData() + done, data.size() - done);
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}
