#pragma once
#include <QApplication>

#include "widgets/Forms.h"

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

// Creates the windows, main window first (its creation reads the settings file at
// settingsPath, or at the default place when empty). With dialogsLater the other ten, and the
// main window's pictures, wait until the main window has been painted once (or the start-up
// sequence needs them): the program's start-up.
void CreateWindows(const QString &settingsPath, bool dialogsLater = false);
// Creates the windows CreateWindows left for later, once; nothing when there are none.
void CreatePendingWindows();
// Destroys them in reverse order and clears the pointers.
void DestroyWindows();
