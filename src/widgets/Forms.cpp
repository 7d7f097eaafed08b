#include "widgets/Forms.h"

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
