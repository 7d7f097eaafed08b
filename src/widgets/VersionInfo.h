#pragma once
// The program's version record, shaped like the platform's version resource: a translation table
// and, per translation, a string table queried by path ("\StringFileInfo\040904e4\ProductName").
// The built-in record comes from the build; tests install a provider of their own.
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

struct VersionTranslation {
    quint16 language = 0;
    quint16 codePage = 0;
};

class VersionRecord
{
public:
    void addTranslation(quint16 language, quint16 codePage);
    // block: the eight hexadecimal digits of a translation, any case.
    void setString(const QString &block, const QString &name, const QString &value);

    // "\VarFileInfo\Translation".
    QList<VersionTranslation> translations() const { return m_translations; }
    // A string value by its path; block and name match without regard to case. No value when the
    // path names nothing.
    std::optional<QString> queryValue(const QString &subBlock) const;

private:
    QList<VersionTranslation> m_translations;
    QHash<QString, QHash<QString, QString>> m_strings; // lower-case block, lower-case name
};

// "%04x%04x": language, then code page, lower-case.
QString TranslationBlock(const VersionTranslation &t);

// The record compiled into this build.
VersionRecord BuiltInVersionRecord();

// Where ReadVersionRecord gets the record; no value means the program has none.
using VersionRecordProvider = std::function<std::optional<VersionRecord>()>;
void setVersionRecordProvider(VersionRecordProvider provider); // empty restores the built-in one
std::optional<VersionRecord> ReadVersionRecord();
