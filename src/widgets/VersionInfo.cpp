#include "widgets/VersionInfo.h"

#include <QStringList>

#include "VersionStrings.h"

namespace
{
VersionRecordProvider &provider()
{
    static VersionRecordProvider p;
    return p;
}
} // namespace

void VersionRecord::addTranslation(quint16 language, quint16 codePage)
{
    m_translations.append({language, codePage});
}

void VersionRecord::setString(const QString &block, const QString &name, const QString &value)
{
    m_strings[block.toLower()][name.toLower()] = value;
}

std::optional<QString> VersionRecord::queryValue(const QString &subBlock) const
{
    const QStringList parts = subBlock.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    if (parts.size() != 3 || parts[0].compare(QLatin1String("StringFileInfo"), Qt::CaseInsensitive))
        return std::nullopt;
    const auto table = m_strings.constFind(parts[1].toLower());
    if (table == m_strings.cend())
        return std::nullopt;
    const auto value = table->constFind(parts[2].toLower());
    if (value == table->cend())
        return std::nullopt;
    return *value;
}

QString TranslationBlock(const VersionTranslation &t)
{
    return QStringLiteral("%1%2")
        .arg(t.language, 4, 16, QLatin1Char('0'))
        .arg(t.codePage, 4, 16, QLatin1Char('0'))
        .toLower();
}

VersionRecord BuiltInVersionRecord()
{
    VersionRecord r;
    const VersionTranslation t{QUILBO_VER_LANGUAGE, QUILBO_VER_CODEPAGE};
    r.addTranslation(t.language, t.codePage);
    const QString block = TranslationBlock(t);
    r.setString(block, QStringLiteral("ProductName"), QStringLiteral(QUILBO_VER_PRODUCT_NAME));
    r.setString(block, QStringLiteral("FileDescription"),
                QStringLiteral(QUILBO_VER_FILE_DESCRIPTION));
    r.setString(block, QStringLiteral("InternalName"), QStringLiteral(QUILBO_VER_INTERNAL_NAME));
    r.setString(block, QStringLiteral("Comments"), QStringLiteral(QUILBO_VER_COMMENTS));
    r.setString(block, QStringLiteral("ProductVersion"),
                QStringLiteral(QUILBO_VER_PRODUCT_VERSION));
    r.setString(block, QStringLiteral("LegalCopyright"),
                QStringLiteral(QUILBO_VER_LEGAL_COPYRIGHT));
    return r;
}

void setVersionRecordProvider(VersionRecordProvider p)
{
    provider() = std::move(p);
}

std::optional<VersionRecord> ReadVersionRecord()
{
    if (provider())
        return provider()();
    return BuiltInVersionRecord();
}
