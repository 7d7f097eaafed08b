#pragma once
// Every message box and file dialog goes through one interface, so that tests can answer them.
#include <QString>

class QWidget;

// Modal results, with the values the rest of the program stores and compares.
namespace ModalResult
{
enum : int { None = 0, OK = 1, Cancel = 2, Yes = 6, No = 7 };
}

enum class PromptIcon { Warning, Question, Information };
enum class PromptButtons { OK, YesNo, YesNoCancel };

class Prompt
{
public:
    virtual ~Prompt() = default;
    // Returns the pressed button as a ModalResult value.
    virtual int message(QWidget *owner, const QString &caption, const QString &text,
                        PromptIcon icon, PromptButtons buttons) = 0;
    // filter is "description|patterns|description|patterns..."; the result is empty on cancel.
    virtual QString openFile(QWidget *owner, const QString &title, const QString &filter,
                             const QString &folder, const QString &fileName) = 0;
    // As above; a name typed without an extension gets defaultSuffix.
    virtual QString openFile(QWidget *owner, const QString &title, const QString &filter,
                             const QString &folder, const QString &fileName,
                             const QString &defaultSuffix);
    virtual QString saveFile(QWidget *owner, const QString &title, const QString &filter,
                             const QString &folder, const QString &fileName,
                             const QString &defaultSuffix) = 0;
};

// The prompt in force; setPrompt(nullptr) restores the one with real dialogs.
Prompt &prompt();
void setPrompt(Prompt *p);

// The common case: an exclamation box with one OK button.
void ShowWarning(QWidget *owner, const QString &caption, const QString &text);

// "Format files (*.fmt, *.txt)|*.fmt;*.txt|..." as a Qt name filter list.
QString QtNameFilters(const QString &pairs);

// The files a printer takes as they are: the filter of Send File and of the initial files.
inline constexpr char PrinterFileFilter[] =
    "CVPL files (*.txt,*.fmt,*.bat,*.gph,*.tfd,*.cfu,*.all)|*.txt;*.fmt;*.bat;*.gph;*.tfd;*.cfu;"
    "*.all|Format files (*.txt, *.fmt)|*.txt;*.fmt|Graphic files (*.gph)|*.gph|Font files "
    "(*.tfd)|*.tfd|QDK files (*.cfu, *.all)|*.cfu;*.all|All files (*.*)|*.*";

// The folder a file dialog opens at for path; empty for no path.
QString folderOf(const QString &path);
