#pragma once
// The file transfer window: sends one printer file, unchanged, over the selected link while
// showing its path, size and progress. Shown modally; it closes itself when the file has gone.
#include <QByteArray>
#include <QDialog>
#include <QFile>
#include <QString>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

class TfmProg : public QDialog
{
    Q_OBJECT
public:
    explicit TfmProg(QWidget *parent = nullptr);
    ~TfmProg() override;

    QLabel *laFileName = nullptr;
    QProgressBar *pbFile = nullptr;
    QLabel *laFileSizeL = nullptr;
    QLabel *laFileSize = nullptr;
    QPushButton *bbCancel = nullptr;
    QTimer *tiDelay = nullptr;    // 100 ms after the show: open the file
    QTimer *tiMsgDelay = nullptr; // 200 ms after the open: serial transfer

    static constexpr int BlockSize = 512;

    QByteArray FBlock; // serial: the blocks read ahead of the port, QueueAhead bytes
    QFile FFileHandle;
    qint64 FFileSize = 0;
    // How long one run of reading serial blocks may hold the event loop; 0 gives one block
    // per turn, and then only one block waits for the port at a time.
    int FSliceMs = 30;
    // Serial: how far reading may run ahead of the port.
    static constexpr qint64 QueueAhead = 64 * 1024;

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
    bool busy() const { return m_serialActive || m_netActive; }
    // The last transfer was cancelled after part of the file had gone to the printer.
    bool cancelledPartway() const { return m_cancelledPartway; }

    void done(int result) override;
    void reject() override; // Escape and the close box: as Cancel

signals:
    // One serial block went to the port (size in bytes).
    void blockWritten(int size);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void sendSerialSlice();
    void reportTaken();
    void serialFailed();
    void finishSerial();
    void netProgress(qint64 sent, qint64 total);
    void netFinished(bool ok);
    void stopTransfer();
    void setBarRange(qint64 total);

    QTimer *m_blockTimer = nullptr; // lets the window breathe between runs of blocks
    qint64 m_read = 0;              // serial: bytes read from the file and queued for the port
    int m_blocksSent = 0;
    bool m_serialActive = false;
    bool m_readFailed = false;
    bool m_cancelledPartway = false;
    bool m_netActive = false;
    int m_barShift = 0; // network progress: bytes >> shift fits the bar's int range
    int m_netAhead = 0; // sends the network window finishes before this file's
};
