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

    // In before the dialog shows: the files to list, whether this is the first run (help
    // opens) and the file the add dialog starts at; on commSummaryWanted(): the port, the
    // address and the texts of the serial settings. Out: the list as the operator left it and
    // the file last added (filesChanged()).
    void setFiles(const QStringList &files);
    QStringList FileList() const { return FFiles; }
    void setFirstRun(bool firstRun) { FFirstRun = firstRun; }
    void setLastFile(const QString &path) { FLastFile = path; }
    void setCommSummary(int port, const QString &ipAddress, const QStringList &lineTexts);

    void FormShow();
    void sbDetailsClick();
    void sbAddFileClick();
    void sbDeleteClick();
    void sbCommChangeClick();
    void bbHelpClick();
    void ShowCommSettings();

    void reject() override;

signals:
    void showing(); // hand the values in now
    // A file was added or deleted.
    void filesChanged(const QStringList &files, const QString &lastFile);
    void commChangeRequested(); // "Change": the owner shows the settings dialog
    void commSummaryWanted();   // hand in the link settings to show, now

protected:
    void showEvent(QShowEvent *event) override;

private:
    void applyDetails();

    int FDetails = 0; // 0 compact, 1 detailed (also the "tag" property of sbDetails)

    QStringList FFiles;
    QString FLastFile; // the add dialog starts here
    bool FFirstRun = false;
    int FPort = 1;
    QString FIPAddress;
    QStringList FLineTexts;
};
