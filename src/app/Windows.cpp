#include "app/Windows.h"

#include <QtGlobal>
#include <exception>

#include "app/TfmMain.h"
#include "common/Prompt.h"
#include "jobs/TfmEPCField.h"
#include "jobs/TfmFormat.h"
#include "jobs/TfmHRError.h"
#include "jobs/TfmQty.h"
#include "jobs/TfmWarnIncHR.h"
#include "link/TfmCommSet.h"
#include "link/TfmFormFl.h"
#include "link/TfmInit.h"
#include "link/TfmNet.h"
#include "link/TfmProg.h"

TfmMain *fmMain = nullptr;
TfmInit *fmInit = nullptr;
TfmCommSet *fmCommSet = nullptr;
TfmEPCField *fmEPCField = nullptr;
TfmFormat *fmFormat = nullptr;
TfmNet *fmNet = nullptr;
TfmProg *fmProg = nullptr;
TfmQty *fmQty = nullptr;
TfmFormFl *fmFormFl = nullptr;
TfmHRError *fmHRError = nullptr;
TfmWarnIncHR *fmWarnIncHR = nullptr;

// Resources compiled into a static library are only linked in when asked for by name.
static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

void CreateWindows(const QString &settingsPath)
{
    InitResources();
    fmMain = new TfmMain(settingsPath);
    fmInit = new TfmInit(fmMain);
    fmCommSet = new TfmCommSet(fmMain);
    fmEPCField = new TfmEPCField(fmMain);
    fmFormat = new TfmFormat(fmMain);
    fmNet = new TfmNet(fmMain);
    fmProg = new TfmProg(fmMain);
    fmQty = new TfmQty(fmMain);
    fmFormFl = new TfmFormFl(fmMain);
    fmHRError = new TfmHRError(fmMain);
    fmWarnIncHR = new TfmWarnIncHR(fmMain);
    fmMain->ConnectDialogs();
}

void DestroyWindows()
{
    // Children go with the main window; clear the pointers first so that no destructor
    // reaches a half-destroyed sibling.
    TfmMain *main = fmMain;
    fmWarnIncHR = nullptr;
    fmHRError = nullptr;
    fmFormFl = nullptr;
    fmQty = nullptr;
    fmProg = nullptr;
    fmNet = nullptr;
    fmFormat = nullptr;
    fmEPCField = nullptr;
    fmCommSet = nullptr;
    fmInit = nullptr;
    fmMain = nullptr;
    delete main;
}

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        const QString text = CurrentExceptionText();
        if (FShowingException) {
            qWarning("Exception while another one is shown: %s", qPrintable(text));
            return false;
        }
        FShowingException = true;
        // The box waits for the loop: opened right here, its own loop would run inside
        // whatever Qt was doing when the handler threw (a paint, a socket read).
        QMetaObject::invokeMethod(
            this,
            [this, text] {
                try {
                    ShowWarning(nullptr, QLatin1String(ProgramTitle), text);
                } catch (...) {
                    // The box itself failed: there is nothing left to show that with.
                }
                FShowingException = false;
            },
            Qt::QueuedConnection);
    }
    return false;
}

QString CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("An unknown error occurred.");
    }
}
