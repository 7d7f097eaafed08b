#pragma once
// Controls carry their names as objectName, so that tests and help find them by name.
#include <QLabel>
#include <QPushButton>
#include <QString>

inline QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

inline QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption,
                               const QString &hint = QString())
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    if (!hint.isEmpty())
        button->setToolTip(hint);
    return button;
}
