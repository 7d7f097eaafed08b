#pragma once
// Reading a format file the way the editor loads it: 8-bit text, any line break, bounded size.
#include <QString>
#include <QStringList>

// Larger files are refused: a format file is a few kilobytes of packet text.
constexpr qint64 FormatFileMaxSize = 16 * 1024 * 1024;
// The editor lays out a line as a whole: megabytes on one line would freeze it.
constexpr int FormatFileMaxLineLength = 64 * 1024;

// The file's lines; false with the reason in *error when it is no format file or unreadable.
bool ReadFormatFile(const QString &path, QStringList *lines, QString *error);
