#pragma once
#include <QApplication>

// The program's name and the application's title; it captions the box that shows an exception.
inline constexpr char ProgramTitle[] = "Quilbo";

// The application object. An exception that reaches the event loop is shown to the operator
// and the program goes on running.
class TApplication : public QApplication
{
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

private:
    bool FShowingException = false; // one box at a time, however many exceptions follow
};

// The message of the exception being handled; call it from a catch block only.
QString CurrentExceptionText();

// The eleven windows that live for the whole run, created once in this order.
class TfmMain;
class TfmInit;
class TfmCommSet;
class TfmEPCField;
class TfmFormat;
class TfmNet;
class TfmProg;
class TfmQty;
class TfmFormFl;
class TfmHRError;
class TfmWarnIncHR;

extern TfmMain *fmMain;
extern TfmInit *fmInit;
extern TfmCommSet *fmCommSet;
extern TfmEPCField *fmEPCField;
extern TfmFormat *fmFormat;
extern TfmNet *fmNet;
extern TfmProg *fmProg;
extern TfmQty *fmQty;
extern TfmFormFl *fmFormFl;
extern TfmHRError *fmHRError;
extern TfmWarnIncHR *fmWarnIncHR;

// Creates the windows, main window first (its creation reads the settings file at
// settingsPath, or at the default place when empty). With dialogsLater the other ten, and the
// main window's pictures, wait until the main window has been painted once (or the start-up
// sequence needs them): the program's start-up.
void CreateWindows(const QString &settingsPath, bool dialogsLater = false);
// Creates the windows CreateWindows left for later, once; nothing when there are none.
void CreatePendingWindows();
// Destroys them in reverse order and clears the pointers.
void DestroyWindows();
