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

    // In: the RFID field (0 none), the HR field and whether it is used, the hint setting.
    // Out, after OK: the HR field and whether it is used.
    void setValues(int epcField, int hrField, bool hrEnabled, bool showHints);
    int hrField() const { return FHRField; }
    bool hrEnabled() const { return FHREnabled; }

    void FormShow();
    void bbOKClick();
    void bbCancelClick();
    void bbHelpClick();

signals:
    void showing(); // before the controls take the values: hand them in now
    void hrChosen(int hrField, bool hrEnabled); // OK, before the dialog closes

protected:
    bool event(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    int FEPCField = 0;
    int FHRField = 0;
    bool FHREnabled = false;
    bool FShowHints = true;
};
