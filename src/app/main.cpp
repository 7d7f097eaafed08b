
#include "app/Windows.h"
#include "widgets/Help.h"
#include "widgets/Prompt.h"
#include "widgets/TfmMain.h"

int main(int argc, char *argv[])
{
    TApplication app(argc, argv);
    // No display name: Qt would append it to every window title the window system shows.
    QApplication::setApplicationName(QLatin1String(ProgramTitle));
    SetHelpFile(QString::fromLatin1(HelpFileName));
    int rc = 1;
    try {
        CreateWindows(QString(), true);
        // The program's icon comes with the main window's pictures, after its first paint.
        // The desktop entry's name (org.quilbo.Quilbo.desktop), also the AppStream id; the
        // executable keeps its short name.
        QGuiApplication::setDesktopFileName(QStringLiteral("org.quilbo.Quilbo"));
        fmMain->show();
        rc = app.exec();
    } catch (...) {
        ShowWarning(nullptr, QLatin1String(ProgramTitle), CurrentExceptionText());
    }
    DestroyWindows();
    return rc;
}
