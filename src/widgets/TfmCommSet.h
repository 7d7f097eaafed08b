#pragma once
#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>

#include "link/BatchSession.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Comm Setup: network address or serial port with its line settings. Every show lists the
// ports that can be opened at that moment and reloads the controls from the session.
class TfmCommSet : public QDialog
{
    Q_OBJECT
public:
    explicit TfmCommSet(QWidget *parent = nullptr);

    QLabel *laPort = nullptr, *laIPAddr = nullptr, *laBaud = nullptr, *laParity = nullptr,
           *laDBits = nullptr, *laSBits = nullptr, *laFlow = nullptr;
    QComboBox *cxPort = nullptr;
    QLineEdit *edIP = nullptr;
    QComboBox *cxBaud = nullptr, *cxParity = nullptr, *cxDBits = nullptr, *cxSBits = nullptr,
              *cxFlow = nullptr;
    QPushButton *bbOK = nullptr, *bbCancel = nullptr, *BitBtn1 = nullptr;

    bool ipChanged() const { return FIPChanged; } // the operator typed in edIP

    // Whether COMn can be opened now; tests put in a fixed set of present ports.
    std::function<bool(int)> portProbe;

    // In before the dialog shows (with the hint setting), out after OK.
    void setSettings(const CommSettings &settings, bool showHints);
    CommSettings settings() const { return FSettings; }
    // What the controls show now, whether stored or not: the serial lists' texts in the
    // order baud rate, parity, data bits, stop bits, flow control, and the address.
    QStringList shownLineTexts() const;
    QString shownAddress() const;

    void FormShow();
    void BuildPortList();
    void cxPortChange();
    void edIPChange();
    void bbOKClick();
    void BitBtn1Click();

signals:
    // Before the port list is probed and the controls take the values: close our own
    // port and hand the values in now.
    void showing();
    // OK, before the dialog closes; ipTyped when the operator typed in the address field.
    void settingsChosen(const CommSettings &settings, bool ipTyped);

public slots:
    void reject() override; // Cancel, Escape and the close box store nothing

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool FIPChanged = false;
    CommSettings FSettings;
    bool FShowHints = true;
};
