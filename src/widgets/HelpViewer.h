#pragma once
// The help window: one reused window over the help pages shipped with the program, created on
// the first request. It is the default destination of help requests (about/Help.h).
#include <QUrl>
#include <QWidget>

class HelpSink;
class QLabel;
class QPushButton;
class QTextBrowser;

class HelpViewer : public QWidget
{
    Q_OBJECT
public:
    static HelpViewer *instance(); // creates the window on first use
    static HelpViewer *existing(); // nullptr until then

    // Opens the page of a context (HelpContentsPage: the contents). A file that is not ours or
    // a context without a page shows the contents with a note saying so.
    void showHelp(const QString &helpFile, int context);

    QUrl currentPage() const;
    QString note() const; // empty when the last request was served as asked

    static QUrl contentsPage();
    static QUrl pageFor(int context); // empty when the context has no page
    static bool isOurHelpFile(const QString &name);

    QLabel *laNote = nullptr;
    QTextBrowser *tbHelp = nullptr;
    QPushButton *bnContents = nullptr;
    QPushButton *bnBack = nullptr;
    QPushButton *bnForward = nullptr;
    QPushButton *bnClose = nullptr;

private:
    HelpViewer();
    void followModal();
    void moveTo(QWidget *owner);
    bool eventFilter(QObject *watched, QEvent *event) override;
    void setNote(const QString &text);

    QUrl m_noteFor;
};

// The sink that opens HelpViewer.
HelpSink &HelpViewerSink();
