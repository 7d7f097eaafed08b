#include "app/Windows.h"

#include <QtGlobal>
#include <exception>

#include "link/BatchSession.h"
#include "widgets/Prompt.h"
#include "widgets/TfmCommSet.h"
#include "widgets/TfmEPCField.h"
#include "widgets/TfmFormFl.h"
#include "widgets/TfmFormat.h"
#include "widgets/TfmHRError.h"
#include "widgets/TfmInit.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmNet.h"
#include "widgets/TfmProg.h"
#include "widgets/TfmQty.h"
#include "widgets/TfmWarnIncHR.h"

// The printer session and its links: made before the windows that use it, gone after them.
static BatchSession *session = nullptr;

// Resources compiled into a static library are only linked in when asked for by name.
static void InitResources()
{
    Q_INIT_RESOURCE(resources);
}

static bool dialogsPending = false;

static void CreateDialogs();

void CreateWindows(const QString &settingsPath, bool dialogsLater)
{
    InitResources();
    session = new BatchSession;
    fmMain = new TfmMain(settingsPath, session);
    fmMain->setPendingWindows([] { CreatePendingWindows(); });
    dialogsPending = true;
    if (!dialogsLater)
        CreatePendingWindows();
}

void CreatePendingWindows()
{
    if (!dialogsPending || !fmMain)
        return;
    dialogsPending = false;
    fmMain->LoadPictures();
    CreateDialogs();
}

static void CreateDialogs()
{
    fmInit = new TfmInit(fmMain);
    fmCommSet = new TfmCommSet(fmMain);
    fmEPCField = new TfmEPCField(fmMain);
    fmFormat = new TfmFormat(fmMain);
    fmNet = new TfmNet(session->FNetLink, fmMain);
    fmNet->setShowHints([] { return fmMain ? fmMain->showHints() : true; });
    TransferHost host;
    host.serial = [] { return session->FComPort != 0; };
    host.openPort = [] {
        if (!session->portOpen())
            session->OpenPort();
        return session->portOpen();
    };
    host.closePort = [] { session->ClosePort(); };
    host.reportFailure = [](const QString &text) { fmMain->SetStatus(text, TfmMain::Red); };
    fmProg = new TfmProg(session->FFileSender, host, fmMain);
    fmQty = new TfmQty(fmMain);
    FlashLink flash;
    flash.serial = [] { return session->FComPort != 0; };
    flash.send = [](const QByteArray &text) { session->SendToPrinter(text); };
    flash.release = [] {
        session->ClosePort();
        session->FNetLink->NetDisconnect();
    };
    fmFormFl = new TfmFormFl(flash, fmMain);
    fmHRError = new TfmHRError(fmMain);
    fmWarnIncHR = new TfmWarnIncHR(fmMain);
    fmMain->ConnectDialogs();
}

void DestroyWindows()
{
    // Children go with the main window; clear the pointers first so that no destructor
    // reaches a half-destroyed sibling.
    TfmMain *main = fmMain;
    dialogsPending = false;
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
    delete session;
    session = nullptr;
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
