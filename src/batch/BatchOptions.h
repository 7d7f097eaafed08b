#pragma once
// The command line of quilbo-batch.
#include <QString>
#include <QStringList>

#include "link/StatusCheck.h"

struct BatchOptions {
    QString host; // network printer; empty when serial
    quint16 port = 9100;
    QString serialDevice;
    int baud = 0; // 0: the device keeps the line settings its driver has
    QString formatPath;
    QString epc; // hex digits as the entry holds them (upper case)
    int dataSize = 96;
    int quantity = 1;
    qint64 batches = 1;
    bool sendFormat = false;
    int polls = StatusCheck::MaxPolls;
    QString journalPath;   // a .csv file, an SQLite file or a postgresql:// address
    bool noRepeat = false; // refuse a batch whose range the journal has sent before
    QString exportCsv;     // only export the journal to this CSV file
    bool quiet = false;
    bool stepSerial = false; // the GS1 serial field steps, not the whole value
};

enum class ParseOutcome {
    Run,
    Shown,     // --help or --version printed to *message: exit 0
    UsageError // *message says why: exit 2
};

ParseOutcome ParseBatchArguments(const QStringList &arguments, BatchOptions *options,
                                 QString *message);
