#pragma once
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
class QString;

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
// settingsPath, or at the default place when empty).
void CreateWindows(const QString &settingsPath);
// Destroys them in reverse order and clears the pointers.
void DestroyWindows();
