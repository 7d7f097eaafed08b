#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <exception>

#include "about/Help.h"
#include "app/TfmMain.h"
#include "app/Windows.h"

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quilbo"));
    // No display name: Qt would append it to every window title the window system shows.
    SetHelpFile(QString::fromLatin1(HelpFileName));
    int rc = 1;
    try {
        CreateWindows(QString());
        // After CreateWindows: it loads the picture resources.
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/pictures/quilbo.svg")));
        QGuiApplication::setDesktopFileName(QStringLiteral("quilbo"));
        fmMain->show();
        rc = app.exec();
    } catch (const std::exception &e) {
        QMessageBox::critical(nullptr, QStringLiteral("Quilbo"), QString::fromLocal8Bit(e.what()));
    }
    DestroyWindows();
    return rc;
}
