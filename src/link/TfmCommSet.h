#pragma once
#include <QDialog>

#include <functional>

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

    bool FIPChanged = false;

    // Whether COMn can be opened now; tests put in a fixed set of present ports.
    std::function<bool(int)> portProbe;

    void FormShow();
    void BuildPortList();
    void cxPortChange();
    void edIPChange();
    void bbOKClick();
    void BitBtn1Click();

public slots:
    void reject() override; // Cancel, Escape and the close box store nothing

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
};
