#pragma once
// "Initialize printer?": the start-up question, with the link settings and the list of files
// to send after it in a detail part that the operator can open.
#include <QDialog>
#include <QStringList>

class QFrame;
class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

class TfmInit : public QDialog
{
    Q_OBJECT
public:
    explicit TfmInit(QWidget *parent = nullptr);

    QLabel *laInitQ = nullptr;
    QPushButton *bbYes = nullptr;
    QPushButton *bbNo = nullptr;
    QPushButton *bbHelp = nullptr;
    QToolButton *sbDetails = nullptr;
    QFrame *bv1 = nullptr;
    QFrame *bv2 = nullptr;
    QLabel *laProgCom = nullptr;
    QLabel *laCommSettings = nullptr;
    QToolButton *sbCommChange = nullptr;
    QLabel *laFilesToLoad = nullptr;
    QToolButton *sbAddFile = nullptr;
    QToolButton *sbDelete = nullptr;
    QListWidget *lxFilesToSend = nullptr;

    int FDetails = 0; // 0 compact, 1 detailed (also the "tag" property of sbDetails)
    // True once the list has taken the stored initial files (its first show); until then
    // the stored list is what the settings file keeps.
    bool FListLoaded = false;
    QStringList FileList() const;

    void FormShow();
    void sbDetailsClick();
    void sbAddFileClick();
    void sbDeleteClick();
    void sbCommChangeClick();
    void bbHelpClick();
    void ShowCommSettings();

    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void applyDetails();
};
