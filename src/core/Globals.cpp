#include "core/Globals.h"

QString SendFileName;
RecentFileList RecentFiles;
QStringList InitFiles = QStringList(QVector<QString>(10));
QString LastInitFile;
QString FormatFileName;

void ResetProgramValues()
{
    SendFileName.clear();
    RecentFiles = RecentFileList();
    InitFiles = QStringList(QVector<QString>(10));
    LastInitFile.clear();
    FormatFileName.clear();
}
