#pragma once
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

// Batch Quantity: labels per batch, which is also the step of the automatic increment.
class TfmQty : public QDialog
{
    Q_OBJECT
public:
    explicit TfmQty(QWidget *parent = nullptr);

    QLabel *laQuantity = nullptr;
    QSpinBox *udQuantity = nullptr;  // the spin buttons; their position is the quantity
    QLineEdit *edQuantity = nullptr; // the spin box's own edit field
    QPushButton *bbOk = nullptr;
    QPushButton *bbCancel = nullptr;

    static constexpr int MinQuantity = 0;
    static constexpr int MaxQuantity = 100;

    // The quantity shown when the dialog opens, and the one OK took.
    void setQuantity(int quantity) { FQuantity = quantity; }
    int quantity() const { return FQuantity; }

    void FormShow();
    void bbOkClick();
    void bbCancelClick();

signals:
    void showing();                    // before the controls take the values: hand them in now
    void quantityChosen(int quantity); // OK, before the dialog closes

protected:
    void showEvent(QShowEvent *event) override;

private:
    int FQuantity = 1;
};
