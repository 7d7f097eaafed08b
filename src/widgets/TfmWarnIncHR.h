#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

// Warning before a batch of several labels with the human-readable field in use: the printer
// steps text fields in decimal, so the printed copy of a hex tag value goes wrong.
class TfmWarnIncHR : public QDialog
{
    Q_OBJECT
public:
    explicit TfmWarnIncHR(QWidget *parent = nullptr);

    QLabel *laWarning = nullptr;
    QLabel *laText1 = nullptr;
    QLabel *laText2 = nullptr;
    QLabel *laText3 = nullptr;
    QLabel *laText4 = nullptr;
    QPushButton *bbOK = nullptr;
    QPushButton *bbCancel = nullptr;
    QPushButton *bbHelp = nullptr;

    void bbOKClick();
    void bbCancelClick();
    void bbHelpClick();

protected:
    void showEvent(QShowEvent *event) override;
};
