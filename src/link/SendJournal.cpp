#include "link/SendJournal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QUrl>

#include <utility>

#include "core/BatchOutcome.h"
#include "core/Files.h"
#include "core/Gs1Epc.h"
#include "link/NetLink.h"

SendJournal::SendJournal(NetLink *net, StatusCheck *check, QObject *parent) : QObject(parent)
{
    connect(net, &NetLink::sendEnded, this, &SendJournal::sendEnded);
    connect(check, &StatusCheck::checked, this, &SendJournal::checked);
}

SendJournal::~SendJournal()
{
    if (m_loader.joinable())
        m_loader.join();
}

void SendJournal::open(const QString &path, const QString &station, bool noRepeat,
                       const QString &importCsv)
{
    waitLoaded();
    m_path = path;
    m_loaded = false;
    m_failing = false;
    m_newest = JournalEvent();
    m_newest.batch = 0;
    m_skipped = 0;
    m_loadError.clear();
    m_store.reset();
    if (JournalStore::isServerLocation(path) ||
        !path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
        m_station = station.isEmpty() ? JournalStore::defaultStation(QDir::currentPath()) : station;
        m_noRepeat = noRepeat;
        openStore(path, importCsv);
        return;
    }
    m_loader = std::thread([this, path] {
        // The writer reads the whole file for its numbering, the index for its ranges; the
        // newest batch comes from the file's end. No file is made before there is something
        // to put in it.
        if (QFileInfo::exists(path) && !m_writer.open(path))
            m_loadError = m_writer.error();
        QString error;
        m_index.load(path, &m_skipped, &error);
        if (m_loadError.isEmpty())
            m_loadError = error;
        if (!NewestJournalBatch(path, &m_newest))
            m_newest.batch = 0;
        QMetaObject::invokeMethod(this, &SendJournal::finishLoad, Qt::QueuedConnection);
    });
}

void SendJournal::openStore(const QString &location, const QString &importCsv)
{
    m_store = std::make_unique<JournalStore>();
    // No database is made before there is something to put in it (nor beside settings that
    // cannot be written): a local one that is missing waits for the first event or the import.
    m_importCsv = !importCsv.isEmpty() && QFileInfo::exists(importCsv) ? importCsv : QString();
    m_importFailed = false;
    m_importNote.clear();
    const bool waits = !JournalStore::isServerLocation(location) && !QFileInfo::exists(location) &&
                       m_importCsv.isEmpty();
    if (!waits)
        m_loadError = openStoreAt(m_store.get(), location, m_station);
    if (!waits && m_loadError.isEmpty()) {
        m_loadError = importOldJournal(); // said in red, as any journal fault
        if (!m_store->newestBatch(&m_newest, m_station))
            m_newest.batch = 0;
    }
    // Reported from the event loop, as the file journal's background read is.
    m_storeLoadPending = true;
    QMetaObject::invokeMethod(this, &SendJournal::finishLoad, Qt::QueuedConnection);
}

bool SendJournal::storeReady()
{
    waitLoaded();
    // Tried again at every event, so that a server back up or a freed disk is noticed.
    QString error = m_store->isOpen() ? QString() : openStoreAt(m_store.get(), m_path, m_station);
    if (error.isEmpty())
        error = importOldJournal();
    if (!error.isEmpty())
        failed(error);
    if (!m_importNote.isEmpty())
        emit journalFailed(std::exchange(m_importNote, QString()));
    return error.isEmpty();
}

QString SendJournal::importOldJournal()
{
    // Before any other event: one written first would leave the store no longer empty, and
    // the old journal's EPCs would never reach the already-sent lookup and the guard. Tried
    // again while the store fails; a file that cannot be read is given up, and said.
    if (m_importCsv.isEmpty())
        return QString();
    const JournalStore::Import import = m_store->importCsv(m_importCsv);
    const QString error = m_store->error();
    if (!import.done && !error.isEmpty() && !import.unreadable) {
        m_importFailed = true;
        return error;
    }
    if (import.done) {
        m_skipped = import.skipped;
    } else if (import.unreadable || m_importFailed) { // given up: said once
        const QString why =
            import.unreadable ? error
            : QFileInfo::exists(m_importCsv)
                ? QStringLiteral("the journal database holds events of another writer already")
                : QStringLiteral("the file is gone");
        m_importNote = QStringLiteral("Old journal not imported (%1): %2")
                           .arg(QDir::toNativeSeparators(m_importCsv), why);
    } // else a later start: the store has its events already
    m_importCsv.clear();
    return QString();
}

QString SendJournal::openStoreAt(JournalStore *store, const QString &location,
                                 const QString &station)
{
    if (!JournalStore::isServerLocation(location)) {
        const QString reason = NotPlainFileReason(location);
        if (!reason.isEmpty())
            return reason;
        if (!QFileInfo::exists(location)) {
            // Made private before the database writes anything into it (its side files
            // follow).
            QFile file(location);
            if (file.open(QIODevice::WriteOnly))
                file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
    }
    return store->open(location, station) ? QString() : store->error();
}

void SendJournal::waitLoaded()
{
    if (m_loader.joinable() || m_storeLoadPending)
        finishLoad();
}

void SendJournal::finishLoad()
{
    if (m_storeLoadPending)
        m_storeLoadPending = false;
    else if (m_loader.joinable())
        m_loader.join();
    else
        return; // reported already, by waitLoaded
    m_loaded = true;
    // Said at the start; a batch that then finds it unwritable says it again, where it is seen.
    if (!m_loadError.isEmpty())
        emit journalFailed(
            QStringLiteral("Journal not written (%1): %2").arg(shownPath(), m_loadError));
    else if (!m_importNote.isEmpty())
        emit journalFailed(std::exchange(m_importNote, QString()));
    if (!m_store)
        m_lastBatch = qMax(m_lastBatch, m_writer.nextBatchNumber() - 1);
    emit journalLoaded(m_newest, m_skipped);
}

void SendJournal::failed(const QString &error)
{
    if (m_failing)
        return;
    m_failing = true;
    emit journalFailed(QStringLiteral("Journal not written (%1): %2").arg(shownPath(), error));
}

void SendJournal::worked()
{
    if (!m_failing)
        return;
    m_failing = false;
    emit journalWrittenAgain(QStringLiteral("Journal written again (%1)").arg(shownPath()));
}

bool SendJournal::writerReady()
{
    waitLoaded();
    // Tried again at every event, so that a freed disk or a mended folder is noticed.
    if (!m_writer.isOpen() && !m_writer.open(m_path)) {
        failed(m_writer.error());
        return false;
    }
    // Batches numbered while it failed keep their numbers: the next one follows them.
    m_writer.skipTo(m_lastBatch + 1);
    m_lastBatch = qMax(m_lastBatch, m_writer.nextBatchNumber() - 1);
    return true;
}

void SendJournal::write(const JournalEvent &event)
{
    if (m_store) {
        bool written = storeReady();
        if (written) {
            switch (event.kind) {
            case JournalKind::Result:
                written = m_store->appendResult(event.batch, event.result);
                break;
            case JournalKind::Format:
                written = m_store->appendFormat(event.link, event.name, event.bytes, event.result);
                break;
            case JournalKind::File:
                written = m_store->appendFile(event.link, event.name, event.bytes, event.result);
                break;
            case JournalKind::Batch:
                written = false;
                break;
            }
            storeWritten(written);
        }
        emit appended(event, written);
        return;
    }
    const bool written = writerReady() && m_writer.append(event);
    if (written)
        worked();
    else if (m_writer.isOpen())
        failed(m_writer.error());
    emit appended(event, written);
}

void SendJournal::storeWritten(bool written)
{
    if (written) {
        worked();
        return;
    }
    // Opened again at the next event: a server connection that broke does not mend itself.
    const QString error = m_store->error();
    m_store->close();
    failed(error);
}

QString SendJournal::shownPath() const
{
    // A server address may carry a password: the status line never shows it.
    if (JournalStore::isServerLocation(m_path))
        return QUrl(m_path).toString(QUrl::RemovePassword);
    return QDir::toNativeSeparators(m_path);
}

QString SendJournal::conflictText(const JournalStore::Conflict &c)
{
    return QStringLiteral("EPC %1 was sent already: batch %2 (%3 to %4), %5.")
        .arg(c.epc)
        .arg(c.batch)
        .arg(c.firstEpc, c.lastEpc, usedText(c));
}

QString SendJournal::usedText(const JournalStore::Conflict &c)
{
    const QDateTime t = QDateTime::fromString(c.time, Qt::ISODate);
    const QString when =
        t.isValid() ? QLocale::c().toString(t, QStringLiteral("dd MMM HH:mm")) : c.time;
    return QStringLiteral("sent %1 at %2, %3")
        .arg(when, c.station, c.result.isEmpty() ? QStringLiteral("no result yet") : c.result);
}

QString SendJournal::sentNote(const QString &hex) const
{
    if (!m_loaded)
        return QString();
    if (m_store) {
        JournalStore::Conflict hit;
        return m_store->isOpen() && m_store->lookup(hex, &hit) ? usedText(hit) : QString();
    }
    SentIndex::Hit hit;
    return m_index.lookup(hex, &hit) ? SentIndex::describe(hit) : QString();
}

qint64 SendJournal::batchHanded(JournalEvent batch, quint64 netSend)
{
    batch.kind = JournalKind::Batch;
    batch.firstEpc = batch.firstEpc.toUpper();
    if (batch.time.isEmpty())
        batch.time = JournalTimeText(QDateTime::currentDateTime());
    if (batch.lastEpc.isEmpty())
        batch.lastEpc = JournalLastEpc(batch.firstEpc, batch.quantity);
    if (batch.tagUri.isEmpty())
        batch.tagUri = ReadEpc(batch.firstEpc).tagUri;
    m_refusal = JournalStore::Conflict();
    m_refusalText.clear();
    if (m_store)
        return storeBatchHanded(batch, netSend);
    // Numbered even when the line cannot be written, so that this run's index still tells the
    // batches apart; a result for such a batch is not written either.
    const bool open = writerReady();
    const qint64 number = open ? m_writer.nextBatchNumber() : m_lastBatch + 1;
    const qint64 written = open ? m_writer.appendBatch(batch) : 0;
    if (open && written == 0)
        failed(m_writer.error());
    else if (written != 0)
        worked();
    if (written == 0)
        m_unwritten.insert(number);
    batch.batch = number;
    m_lastBatch = qMax(m_lastBatch, number);
    if (batch.quantity > 0) // a batch of 0 labels encodes nothing
        m_index.addBatch(batch.batch, batch.time, batch.firstEpc, batch.lastEpc);
    if (netSend != 0)
        m_pending.insert(netSend, Pending{batch.batch, JournalEvent()});
    emit appended(batch, written != 0);
    return batch.batch;
}

qint64 SendJournal::storeBatchHanded(JournalEvent batch, quint64 netSend)
{
    qint64 written = 0;
    if (storeReady()) {
        written = m_store->appendBatch(batch, m_noRepeat && !m_repeatOnce, &m_refusal);
        m_repeatOnce = false;
        if (written == 0 && m_refusal.batch != 0) {
            m_refusalText = conflictText(m_refusal);
            return 0;
        }
        storeWritten(written != 0);
        // A number this run gave a batch while the store failed is the store's now.
        m_unwritten.remove(written);
    }
    if (written == 0 && m_noRepeat) {
        m_refusalText = QStringLiteral("Nothing sent: the journal database (%1) does not answer, "
                                       "and without it a repeat cannot be ruled out.")
                            .arg(shownPath());
        return 0;
    }
    // Numbered even when the line cannot be written, so that this run tells its batches apart;
    // a result for such a batch is not written either.
    batch.batch = written != 0 ? written : m_lastBatch + 1;
    if (written == 0)
        m_unwritten.insert(batch.batch);
    m_lastBatch = qMax(m_lastBatch, batch.batch);
    if (netSend != 0)
        m_pending.insert(netSend, Pending{batch.batch, JournalEvent()});
    emit appended(batch, written != 0);
    return batch.batch;
}

void SendJournal::batchResult(qint64 batch, const QString &result)
{
    JournalEvent event = JournalResultEvent(batch, result);
    event.time = JournalTimeText(QDateTime::currentDateTime());
    if (!m_store)
        m_index.setResult(batch, result);
    if (m_unwritten.contains(batch))
        emit appended(event, false);
    else
        write(event);
}

void SendJournal::formatHanded(const QString &link, const QString &name, qint64 bytes,
                               quint64 netSend, const QString &result)
{
    const JournalEvent event = JournalTransferEvent(JournalKind::Format, link, name, bytes, result);
    if (netSend != 0)
        m_pending.insert(netSend, Pending{0, event});
    else
        write(event);
}

void SendJournal::fileSent(const QString &link, const QString &name, qint64 bytes,
                           const QString &result)
{
    write(JournalTransferEvent(JournalKind::File, link, name, bytes, result));
}

bool SendJournal::lookup(const QString &hex, SentIndex::Hit *hit) const
{
    return m_loaded && m_index.lookup(hex, hit);
}

void SendJournal::settle(quint64 send, const QString &result)
{
    const auto it = m_pending.constFind(send);
    if (it == m_pending.constEnd())
        return; // not a send of ours (the console, a file, the flash format)
    Pending pending = *it;
    m_pending.erase(it);
    if (pending.batch != 0) {
        batchResult(pending.batch, result);
    } else {
        pending.format.result = result;
        write(pending.format);
    }
}

void SendJournal::sendEnded(quint64 send, bool allSent, bool checked, const QString &failure)
{
    if (!allSent) {
        m_lastNetFailure = failure;
        settle(send, failure);
    } else if (checked) {
        m_replyOrder.enqueue(send); // its outcome is the status check's
    } else {
        settle(send, BatchOutcomeText(BatchOutcome::Sent));
    }
}

void SendJournal::checked(const StatusCheck::Result &result)
{
    switch (result.outcome) {
    case StatusCheck::Outcome::Polling:
        return;
    case StatusCheck::Outcome::NoResponse:
    case StatusCheck::Outcome::LinkClosed:
        // The check gives up on every reply it was still waiting for.
        while (!m_replyOrder.isEmpty())
            settle(m_replyOrder.dequeue(), StatusCheck::resultText(result));
        return;
    case StatusCheck::Outcome::OperationOk:
    case StatusCheck::Outcome::EncodingFailed:
        if (!m_replyOrder.isEmpty())
            settle(m_replyOrder.dequeue(), StatusCheck::resultText(result));
        return;
    }
}
