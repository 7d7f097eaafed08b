#pragma once
// A scripted stand-in for message boxes and file dialogs: records every question and returns
// the answers queued by the test (OK, or an empty path, when none is queued).
#include <QList>
#include <QQueue>
#include <QString>

#include "widgets/Help.h"
#include "widgets/Prompt.h"

struct PromptQuestion {
    enum Kind { Message, Open, Save } kind = Message;
    QString caption; // message caption or dialog title
    QString text;    // message text, or the dialog's starting file name
    QString folder;
    QString filter;
    PromptIcon icon = PromptIcon::Warning;
    PromptButtons buttons = PromptButtons::OK;
};

class FakePrompt : public Prompt
{
public:
    FakePrompt() { setPrompt(this); }
    ~FakePrompt() override { setPrompt(nullptr); }

    QList<PromptQuestion> asked;
    QQueue<int> answers;   // for message()
    QQueue<QString> paths; // for openFile() / saveFile()

    int message(QWidget *, const QString &caption, const QString &text, PromptIcon icon,
                PromptButtons buttons) override;
    QString openFile(QWidget *, const QString &title, const QString &filter, const QString &folder,
                     const QString &fileName) override;
    QString saveFile(QWidget *, const QString &title, const QString &filter, const QString &folder,
                     const QString &fileName, const QString &defaultSuffix) override;

    // "caption: text" of every message asked, in order.
    QStringList messages() const;
};

// Records help requests instead of opening the viewer.
class FakeHelp : public HelpSink
{
public:
    FakeHelp() { setHelpSink(this); }
    ~FakeHelp() override { setHelpSink(nullptr); }
    struct Request {
        QString file;
        int context;
    };
    QList<Request> requests;
    void showHelp(const QString &file, int context) override { requests.append({file, context}); }
};
