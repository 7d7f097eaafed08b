#include "app/Prompt.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace
{

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
        const QString start = fileName.isEmpty() ? folder : fileName;
        return QFileDialog::getOpenFileName(owner, title, start, QtNameFilters(filter));
    }

    QString saveFile(QWidget *owner, const QString &title, const QString &filter,
                     const QString &folder, const QString &fileName,
                     const QString &defaultSuffix) override
    {
        QFileDialog dialog(owner, title, fileName.isEmpty() ? folder : fileName,
                           QtNameFilters(filter));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(defaultSuffix);
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

void ShowWarning(QWidget *owner, const QString &caption, const QString &text)
{
    prompt().message(owner, caption, text, PromptIcon::Warning, PromptButtons::OK);
}

QString QtNameFilters(const QString &pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        // Qt reads the patterns from the last parentheses; the description keeps its own.
        filters << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}
