#include "TestWindows.h"

#include <QFile>
#include <QTimer>

#include "app/Windows.h"
#include "core/Globals.h"
#include "link/PortNames.h"
#include "widgets/TfmMain.h"

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
