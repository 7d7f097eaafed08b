#pragma once
// The file transfer window: sends one printer file, unchanged, over the selected link while
// showing its path, size and progress. Shown modally; it closes itself when the file has gone.
#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QString>
#include <functional>

#include "link/FileSender.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// What the main window lends a transfer: which link the session uses, its serial port
// (opened with the session's settings, a failure shown), and its status line.
struct TransferHost {
    std::function<bool()> serial;
    std::function<bool()> openPort; // true when the port is open, now or already
    std::function<void()> closePort;
    std::function<void(const QString &)> reportFailure;
};

class TfmProg : public QDialog
{
    Q_OBJECT
public:
    TfmProg(FileSender *sender, const TransferHost &host, QWidget *parent = nullptr);
    ~TfmProg() override;

    QLabel *laFileName = nullptr;
    QProgressBar *pbFile = nullptr;
    QLabel *laFileSizeL = nullptr;
    QLabel *laFileSize = nullptr;
    QPushButton *bbCancel = nullptr;
    QTimer *tiDelay = nullptr;    // 100 ms after the show: open the file
    QTimer *tiMsgDelay = nullptr; // 200 ms after the open: serial transfer

    static constexpr int BlockSize = FileSender::BlockSize;

    const QFile &file() const { return FFileHandle; } // the file being sent
    qint64 fileSize() const { return FFileSize; }
    int &FSliceMs; // the sender's (see FileSender.h)

    void FormShow();
    void tiDelayTimer();
    void tiMsgDelayTimer();
    void bbCancelClick();
    void StartTransfer();
    void SendIPFile();

    // The file a path names: ".\name" (a path written for the other platform, as the
    // start-up list stores it) is taken relative to the current folder.
    static QString LocalPath(const QString &path);

    // A transfer is under way (serial blocks or the network stream).
    bool busy() const { return m_sender->busy(); }
    FileSender *fileSender() const { return m_sender; }
    // The last transfer was cancelled after part of the file had gone to the printer.
    bool cancelledPartway() const { return m_cancelledPartway; }
    // How the last transfer ended, for the journal: "Sent", or what went wrong. linkFailed:
    // the network link failed and said why itself.
    QString outcomeText() const { return m_outcome; }
    bool linkFailed() const { return m_linkFailed; }

    void done(int result) override;
    void reject() override; // Escape and the close box: as Cancel

signals:
    // One serial block went to the port (size in bytes); the sender's, passed on.
    void blockWritten(int size);

protected:
    void showEvent(QShowEvent *event) override;

private:
    QFile FFileHandle;
    qint64 FFileSize = 0;

    void finished(FileSender::Outcome outcome);
    void netProgress(qint64 sent, qint64 total);
    void stopTransfer();
    void setBarRange(qint64 total);

    FileSender *const m_sender;
    const TransferHost m_host;
    bool m_serialSend = false; // the transfer under way goes to the serial port
    bool m_cancelledPartway = false;
    QString m_outcome;
    bool m_linkFailed = false;
    int m_barShift = 0; // network progress: bytes >> shift fits the bar's int range
};
