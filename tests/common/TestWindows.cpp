#include "TestWindows.h"

#include <QFile>
#include <QTimer>

#include "app/TfmMain.h"
#include "app/Windows.h"
#include "common/Globals.h"
#include "link/PortNames.h"

TestWindows::TestWindows(const QByteArray &iniText) : m_path(m_dir.filePath("quilbo.INI"))
{
    ResetProgramValues();
    PortOverrides.clear();
    if (!iniText.isEmpty()) {
        QFile f(m_path);
        if (f.open(QIODevice::WriteOnly))
            f.write(iniText);
    }
    CreateWindows(m_path);
    fmMain->tiInitDelay->stop();
}

TestWindows::~TestWindows()
{
    DestroyWindows();
    ResetProgramValues();
    PortOverrides.clear();
}
