#include "core/Globals.h"

QString SendFileName;
QStringList IniRecentFiles{QString(), QString(), QString(), QString(), QString()};
RecentFileList RecentFiles;
QStringList InitFiles = QStringList(QVector<QString>(10));
QString LastInitFile;
QString FormatFileName;

void ResetProgramValues()
{
    SendFileName.clear();
    IniRecentFiles = QStringList(QVector<QString>(5));
    RecentFiles = RecentFileList();
    InitFiles = QStringList(QVector<QString>(10));
    LastInitFile.clear();
    FormatFileName.clear();
}
