#pragma once
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Human-Readable Field: which batch field gets the tag data as typed, and whether it is used.
class TfmEPCField : public QDialog
{
    Q_OBJECT
public:
    explicit TfmEPCField(QWidget *parent = nullptr);

    QLabel *laPrimary = nullptr;
    QLabel *laXField = nullptr;
    QLabel *laHRField = nullptr;
    QLineEdit *edHRField = nullptr;
    QCheckBox *ckUseHR = nullptr;
    QPushButton *bbOK = nullptr;
    QPushButton *bbCancel = nullptr;
    QPushButton *bbHelp = nullptr;
    QLabel *laHelp = nullptr;

    static constexpr int HelpContextId = 9;

    void FormShow();
    void bbOKClick();
    void bbCancelClick();
    void bbHelpClick();

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
};
