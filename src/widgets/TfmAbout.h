#pragma once
#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class QTextEdit;

// About box: built for each showing and destroyed after, so that it always shows the version
// record as it is now.
class TfmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TfmAbout(QWidget *parent = nullptr);

    QLabel *imImage = nullptr;
    QTextEdit *reVersionInfo = nullptr;
    QFrame *shIcon2 = nullptr;
    QFrame *shIcon1 = nullptr;
    QLabel *imIcon = nullptr;
    QPushButton *btnOK = nullptr;

    void FormCreate();
    void FormShow();

protected:
    void showEvent(QShowEvent *event) override;
};
