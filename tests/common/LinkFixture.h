#pragma once
// The printer emulator and a network link pointed at it, for tests without windows.
#include <QByteArray>
#include <QStringList>

#include "PrinterSim.h"
#include "link/NetLink.h"

class LinkFixture
{
public:
    PrinterSim sim;
    NetLink link;

    // Starts the emulator with these extra arguments and points the link at it.
    bool start(const QStringList &arguments = QStringList());
    // Lets the send just made connect, driving the connection wait by hand so that no real
    // interval passes; false when the send did not wait or the connection did not come.
    bool connectWaitingSend();
    // A checked send of text, connected and gone, then the emulator's reply in full: lines
    // is the number of lines it holds (an unfinished one counts).
    bool sendChecked(const QByteArray &text, int lines);
};
