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
