#pragma once
#include <QDialog>
#include <QString>
#include <QStringList>

#include "core/FormatFile.h"
#include "core/RecentFileList.h"

class QAction;
class QMenu;
class QMenuBar;
class QPlainTextEdit;

// Format and batch editor: the one text every label job is built from. It sends nothing; it
// only marks the text as changed so that the main window splits it again before the next use.
class TfmFormat : public QDialog
{
    Q_OBJECT
public:
    explicit TfmFormat(QWidget *parent = nullptr);

    QPlainTextEdit *meFormat = nullptr;
    QMenuBar *mmMain = nullptr;
    QMenu *miFileList = nullptr;
    QAction *miOpen = nullptr;
    QAction *miN1 = nullptr;
    QAction *miOpen1 = nullptr, *miOpen2 = nullptr, *miOpen3 = nullptr, *miOpen4 = nullptr,
            *miOpen5 = nullptr;
    QAction *miSaveAs = nullptr;
    QAction *miReturn = nullptr;
    QAction *miHelp = nullptr;

    // The editor's text, one entry per line. A final line break adds no empty line.
    QStringList lines() const;
    // In: the file the text came from and the recent files. Out: both as filesChanged() says.
    void setFiles(const QString &fileName, const RecentFileList &recent);

    void FormShow();
    void meFormatChange();
    void miOpenClick();
    void miOpenItemClick(int tag); // tag 1..5: the recent-file slot
    void miSaveAsClick();
    void miReturnClick();
    void miHelpClick();
    void AddRecentFile(const QString &path);
    void UpdateRecentMenu();

    static constexpr qint64 MaxFileSize = FormatFileMaxSize;
    static constexpr int MaxLineLength = FormatFileMaxLineLength;

signals:
    void showing();       // before the window takes its place: hand in the hint setting
    void formatChanged(); // the operator or a file changed the text
    // A file was opened or saved, or a recent one moved up.
    void filesChanged(const QString &fileName, const RecentFileList &recent);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QAction *recentItem(int slot) const;
    // Loads path into the editor; on failure returns false with the reason in *error.
    bool loadFile(const QString &path, QString *error);
    void openThroughDialog(const QString &startPath);
    void nameFile(const QString &path); // the text is now this file's

    QString FFileName;
    RecentFileList FRecent;
};
