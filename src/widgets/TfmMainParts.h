#pragma once
// What the main window's two source files share: its measures and the entry masks.
#include <QAction>
#include <QString>

namespace MainParts
{
constexpr int MinWidth = 354;
constexpr int MaxWidth = 800;
constexpr int FixedHeight = 303;
constexpr int EpcLeft = 16;
constexpr char EntryBlank = '-'; // shown in entry positions not yet typed

// The entry masks use "A" for a required letter or digit and keep literal spaces; Qt spells
// that "N", with ">" for upper case and "-" shown in positions not yet typed.
inline QString QtInputMask(const QString &mask)
{
    QString m = QStringLiteral(">");
    for (const QChar c : mask)
        m += (c == QLatin1Char('A')) ? QLatin1Char('N') : c;
    return m + QLatin1Char(';') + QLatin1Char(EntryBlank);
}

inline QAction *makeAction(QObject *parent, const char *name, const QString &caption, int tag = 0)
{
    auto *a = new QAction(caption, parent);
    a->setObjectName(QLatin1String(name));
    a->setData(tag);
    return a;
}

} // namespace MainParts
