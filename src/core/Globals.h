#pragma once
// Values for the whole run: the main window alone writes them; the other windows take
// theirs as plain values.
#include <QString>
#include <QStringList>

#include "core/RecentFileList.h"

extern QString SendFileName;       // file last chosen for, or being sent by, a file transfer
extern RecentFileList RecentFiles; // the editor's live list, newest first
extern QStringList InitFiles;      // INIFILE0..9 as read at start (always ten entries)
extern QString LastInitFile;       // seeds the "add initial file" dialog
extern QString FormatFileName;     // file last opened or saved in the editor

// Puts every value above back to its start value (tests start each case clean).
void ResetProgramValues();
