#include "core/FormatFile.h"

#include <QFile>

#include "core/Files.h"

namespace
{
// A line break is CR LF, LF or a lone CR, and a break at the very end closes the last line
// rather than opening an empty one.
QStringList splitFileText(const QByteArray &data)
{
    QString text = QString::fromLatin1(data);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (text.isEmpty())
        return {};
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text.split(QLatin1Char('\n'));
}
} // namespace

bool ReadFormatFile(const QString &path, QStringList *lines, QString *error)
{
    *error = NotPlainFileReason(path);
    if (!error->isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    const QString tooLarge =
        QStringLiteral("The file is larger than %1 MB; it cannot be a format file.")
            .arg(FormatFileMaxSize / (1024 * 1024));
    if (file.size() > FormatFileMaxSize) {
        *error = tooLarge;
        return false;
    }
    const QByteArray data = file.read(FormatFileMaxSize + 1);
    if (file.error() != QFileDevice::NoError) {
        *error = file.errorString();
        return false;
    }
    if (data.size() > FormatFileMaxSize) {
        *error = tooLarge;
        return false;
    }
    const QStringList split = splitFileText(data);
    for (int i = 0; i < split.size(); ++i) {
        if (split[i].size() > FormatFileMaxLineLength) {
            *error = QStringLiteral("Line %1 is longer than %2 characters; it cannot be a "
                                    "format file.")
                         .arg(i + 1)
                         .arg(FormatFileMaxLineLength);
            return false;
        }
    }
    *lines = split;
    return true;
}
