#include "widgets/Prompt.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

namespace
{

// Qt's own dialog is the one that shows a description exactly as given (without the patterns
// repeated after it) and adds the default suffix on every platform.
void SetFileDialogFilters(QFileDialog &dialog, const QString &pairs, const QString &defaultSuffix)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(QtNameFilters(pairs));
    dialog.setDefaultSuffix(defaultSuffix);
}

class DialogPrompt : public Prompt
{
public:
    int message(QWidget *owner, const QString &caption, const QString &text, PromptIcon icon,
                PromptButtons buttons) override
    {
        QMessageBox box(owner);
        box.setWindowTitle(caption);
        box.setText(text);
        box.setIcon(icon == PromptIcon::Warning    ? QMessageBox::Warning
                    : icon == PromptIcon::Question ? QMessageBox::Question
                                                   : QMessageBox::Information);
        switch (buttons) {
        case PromptButtons::OK:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case PromptButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case PromptButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Yes:
            return ModalResult::Yes;
        case QMessageBox::No:
            return ModalResult::No;
        case QMessageBox::Ok:
            return ModalResult::OK;
        default:
            return ModalResult::Cancel;
        }
    }

    QString openFile(QWidget *owner, const QString &title, const QString &filter,
                     const QString &folder, const QString &fileName) override
    {
        return openFile(owner, title, filter, folder, fileName, QString());
    }

    QString openFile(QWidget *owner, const QString &title, const QString &filter,
                     const QString &folder, const QString &fileName,
                     const QString &defaultSuffix) override
    {
        QFileDialog dialog(owner, title, fileName.isEmpty() ? folder : fileName);
        dialog.setFileMode(QFileDialog::ExistingFile);
        SetFileDialogFilters(dialog, filter, defaultSuffix);
        return chosenPath(dialog);
    }

    QString saveFile(QWidget *owner, const QString &title, const QString &filter,
                     const QString &folder, const QString &fileName,
                     const QString &defaultSuffix) override
    {
        QFileDialog dialog(owner, title, fileName.isEmpty() ? folder : fileName);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        SetFileDialogFilters(dialog, filter, defaultSuffix);
        return chosenPath(dialog);
    }

private:
    static QString chosenPath(QFileDialog &dialog)
    {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    }
};

DialogPrompt g_dialogPrompt;
Prompt *g_prompt = &g_dialogPrompt;

} // namespace

Prompt &prompt()
{
    return *g_prompt;
}

void setPrompt(Prompt *p)
{
    g_prompt = p ? p : &g_dialogPrompt;
}

QString Prompt::openFile(QWidget *owner, const QString &title, const QString &filter,
                         const QString &folder, const QString &fileName, const QString &)
{
    return openFile(owner, title, filter, folder, fileName);
}

void ShowWarning(QWidget *owner, const QString &caption, const QString &text)
{
    prompt().message(owner, caption, text, PromptIcon::Warning, PromptButtons::OK);
}

QString QtNameFilters(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
        // "*.*" means every file, also one without a dot in its name.
        for (QString &p : patterns)
            if (p.trimmed() == QLatin1String("*.*"))
                p = QStringLiteral("*");
        // Qt reads the patterns from the last parentheses; the description keeps its own.
        filters << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                       QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

QString folderOf(const QString &path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
}
