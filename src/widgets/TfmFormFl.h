#pragma once
// The offer to format the printer's flash memory, made once by the start-up sequence. On Yes
// it sends the format commands and waits out the printer's busy time with a progress bar.
#include <QByteArray>
#include <QDialog>
#include <functional>

class QLabel;
class QProgressBar;
class QTimer;
class QToolButton;

// The link as the session uses it, lent by the main window.
struct FlashLink {
    std::function<bool()> serial;                 // a serial port, not the network
    std::function<void(const QByteArray &)> send; // a checked send over the session's link
    std::function<void()> release;                // close the port and the connection
};

class TfmFormFl : public QDialog
{
    Q_OBJECT
public:
    explicit TfmFormFl(const FlashLink &link, QWidget *parent = nullptr);

    QLabel *laMsg1 = nullptr;
    QProgressBar *pbProgress = nullptr;
    QToolButton *sbYes = nullptr;
    QToolButton *sbNo = nullptr;
    QToolButton *sbCancel = nullptr;
    QTimer *tiWait = nullptr;

    int tickLimit() const { return FTickLimit; }
    int closingResult() const { return FResult; }

    void FormShow();
    void sbYesClick();
    void sbNoClick();
    void sbCancelClick();
    void tiWaitTimer();

    // The packet that sets the packet language's own punctuation, then the format command.
    static const char SetPunctuation[];
    static const char FormatFlash[];

    void done(int result) override;
    void reject() override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    int FTicks = 0;
    int FTickLimit = 40; // ticks of 500 ms: 40 on a serial port, 120 on the network
    int FResult = 2;     // what closing returns: Cancel until No or a completed format
    const FlashLink m_link;
};
