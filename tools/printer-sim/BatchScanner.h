#pragma once
// Picks batch packets ("{B" ... "}") out of a byte stream of any size and content. One packet
// is kept at most MaxPacket bytes; a longer one is skipped, so memory stays bounded.
#include <QByteArray>
#include <QList>
#include <QString>

struct BatchField {
    QByteArray number;
    QByteArray data;
};

struct Batch {
    QByteArray quantity; // last value of the header record
    QList<BatchField> fields;
};

class BatchScanner
{
public:
    static constexpr int MaxPacket = 64 * 1024;

    // Returns the batches that these bytes complete, in order.
    QList<Batch> feed(const QByteArray &bytes);
    int skipped() const { return m_skipped; } // packets dropped for being too long

    static Batch parse(const QByteArray &packet);
    // One line for the console: batch quantity=N field 1="..." ..., with the tag URI (and
    // what is wrong with it) after a field of 16 or 24 hex digits.
    static QByteArray describe(const Batch &batch);

private:
    enum State { Idle, Brace, Packet, Skip };
    State m_state = Idle;
    bool m_inQuote = false;
    QByteArray m_packet;
    int m_skipped = 0;
};
