#pragma once
// Splits fuzz bytes into the pieces a target needs, as 8-bit text.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>

class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size)
        : m_bytes(reinterpret_cast<const char *>(data), qsizetype(size))
    {
    }
    // The next piece up to a zero byte (or the rest), as Latin-1 text.
    QString nextText()
    {
        const qsizetype end = m_bytes.indexOf('\0', m_pos);
        const qsizetype stop = end < 0 ? m_bytes.size() : end;
        const QString out = QString::fromLatin1(m_bytes.mid(m_pos, stop - m_pos));
        m_pos = end < 0 ? m_bytes.size() : end + 1;
        return out;
    }
    int nextInt()
    {
        int v = 0;
        for (int i = 0; i < 4 && m_pos < m_bytes.size(); ++i)
            v = (v << 8) | uchar(m_bytes.at(m_pos++));
        return v;
    }
    QByteArray rest() const { return m_bytes.mid(m_pos); }

private:
    QByteArray m_bytes;
    qsizetype m_pos = 0;
};
