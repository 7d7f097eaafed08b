#pragma once
// GS1 EPC: builds a 96-bit tag value from a GS1 key and serial, showing its hex, tag URI and
// what is wrong with it as the fields are typed. Plain values in and out: setHex() to start
// from the current entry, hex() after OK.
#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TfmGs1Epc : public QDialog
{
    Q_OBJECT
public:
    explicit TfmGs1Epc(QWidget *parent = nullptr);

    // Fills the fields from a value of a scheme the dialog builds; others leave them as they are.
    void setHex(const QString &hex24);
    QString hex() const { return FHex; } // 24 hex digits; empty while the fields are not valid

    static constexpr int HelpContextId = 10;

    QComboBox *cxScheme = nullptr; // item data: the scheme's name, "sgtin-96" or "sscc-96"
    QSpinBox *udFilter = nullptr;
    QSpinBox *udPrefixLength = nullptr;
    QLabel *laKey = nullptr; // "GTIN" or "SSCC"
    QLineEdit *edKey = nullptr;
    QLabel *laSerial = nullptr;
    QLineEdit *edSerial = nullptr;
    QLabel *laHex = nullptr;
    QLabel *laTagUri = nullptr;
    QLabel *laProblem = nullptr;
    QPushButton *bbOk = nullptr;
    QPushButton *bbCancel = nullptr;
    QPushButton *bbHelp = nullptr;

    void FieldsChange();
    void edKeyEdited(const QString &text);
    void bbOkClick();
    void bbCancelClick();
    void bbHelpClick();

private:
    bool fillFromElementString(const QString &elementString);

    QString FHex;
    QString FLastKey; // the key field's text before the operator's last edit
};
