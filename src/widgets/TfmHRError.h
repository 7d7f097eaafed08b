#pragma once
#include <QDialog>

class QLabel;
class QPushButton;

// Human-Readable Field Error: the chosen field has no data line in the batch packet. The
// operator stops the batch, sends it without the field once, or stops using the field.
class TfmHRError : public QDialog
{
    Q_OBJECT
public:
    explicit TfmHRError(QWidget *parent = nullptr);

    QLabel *laText1 = nullptr;
    QLabel *laText2 = nullptr;
    QLabel *laHRFieldVal = nullptr;
    QPushButton *bnCancel = nullptr;
    QPushButton *bnIgnore = nullptr;
    QPushButton *bnDisable = nullptr;

    // What the operator chose; None when the dialog was closed by its title bar.
    enum class Choice { None, Cancel, Ignore, Disable };
    void setField(int field) { FField = field; }
    Choice choice() const { return FChoice; }

    void FormShow();
    void bnCancelClick();
    void bnIgnoreClick();
    void bnDisableClick();

signals:
    void showing(); // before the controls take the values: hand them in now
    // A button was pressed, before the dialog closes (its title bar says nothing).
    void answered(TfmHRError::Choice choice);

protected:
    void showEvent(QShowEvent *event) override;

private:
    int FField = 0;
    Choice FChoice = Choice::None;
};
