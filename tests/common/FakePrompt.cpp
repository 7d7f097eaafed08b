#include "FakePrompt.h"

#include <QStringList>

int FakePrompt::message(QWidget *, const QString &caption, const QString &text, PromptIcon icon,
                        PromptButtons buttons)
{
    PromptQuestion q;
    q.kind = PromptQuestion::Message;
    q.caption = caption;
    q.text = text;
    q.icon = icon;
    q.buttons = buttons;
    asked.append(q);
    return answers.isEmpty() ? int(ModalResult::OK) : answers.dequeue();
}

QString FakePrompt::openFile(QWidget *, const QString &title, const QString &filter,
                             const QString &folder, const QString &fileName)
{
    PromptQuestion q;
    q.kind = PromptQuestion::Open;
    q.caption = title;
    q.text = fileName;
    q.folder = folder;
    q.filter = filter;
    asked.append(q);
    return paths.isEmpty() ? QString() : paths.dequeue();
}

QString FakePrompt::saveFile(QWidget *, const QString &title, const QString &filter,
                             const QString &folder, const QString &fileName, const QString &)
{
    PromptQuestion q;
    q.kind = PromptQuestion::Save;
    q.caption = title;
    q.text = fileName;
    q.folder = folder;
    q.filter = filter;
    asked.append(q);
    return paths.isEmpty() ? QString() : paths.dequeue();
}

QStringList FakePrompt::messages() const
{
    QStringList out;
    for (const PromptQuestion &q : asked)
        if (q.kind == PromptQuestion::Message)
            out << q.caption + QStringLiteral(": ") + q.text;
    return out;
}
