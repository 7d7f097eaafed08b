#include "batch/BatchOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <limits>

#include "link/JournalStore.h"

namespace
{
// Longest wait for one reply that still fits the deadline timer's milliseconds: a day.
constexpr qint64 PollsLimit = 24 * 3600;

bool readNumber(const QString &text, qint64 low, qint64 high, qint64 *value)
{
    bool ok = false;
    const qint64 v = text.trimmed().toLongLong(&ok);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

// HOST, HOST:PORT, [IPv6] or [IPv6]:PORT; a bare IPv6 address has no port.
bool readPrinter(const QString &text, QString *host, quint16 *port)
{
    QString portText;
    if (text.startsWith(QLatin1Char('['))) {
        const int close = int(text.indexOf(QLatin1Char(']')));
        if (close < 0)
            return false;
        *host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return false;
            portText = rest.mid(1);
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        *host = text.section(QLatin1Char(':'), 0, 0);
        portText = text.section(QLatin1Char(':'), 1);
    } else {
        *host = text;
    }
    if (host->trimmed().isEmpty())
        return false;
    if (portText.isNull())
        return true;
    qint64 value = 0;
    if (!readNumber(portText, 1, 65535, &value))
        return false;
    *port = quint16(value);
    return true;
}
// The exit statuses and an example that runs as typed against the bundled emulator, with the
// sample format installed beside the program (copied there in the build folder too).
QString HelpEnd()
{
    const QString sample = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                           QStringLiteral("/../share/quilbo/label.fmt"));
    return QStringLiteral(
               "\nExit status:\n"
               "  0  Every batch gave \"Operation OK\" (or was sent, on a serial port).\n"
               "  1  A batch failed or had no response, or the run was stopped.\n"
               "  2  A usage error, or input it cannot use (format, tag data, journal; with\n"
               "     --step-serial, a batch its serial field cannot hold, before that batch).\n"
               "  3  The printer cannot be reached, or it closed the connection or flooded it.\n"
               "  4  Stopped before a batch whose EPC range the journal has sent already\n"
               "     (--no-repeat).\n"
               "\nExample: three batches against the printer emulator; the sample format has a "
               "96-bit\nRFID field and a batch packet of one label.\n"
               "  quilbo-printer-sim --port 9100 --quiet &\n"
               "  quilbo-batch --printer 127.0.0.1 --format %1 \\\n"
               "      --epc 3074257BF7194E4000001A85 --batches 3\n")
        .arg(sample);
}
} // namespace

ParseOutcome ParseBatchArguments(const QStringList &arguments, BatchOptions *options,
                                 QString *message)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sends batches of RFID labels to a printer unattended and counts what "
                       "the printer answers.\n\nNeeded: --printer or --serial, --format and "
                       "--epc; the other options have defaults."));
    const QCommandLineOption printer(
        QStringLiteral("printer"),
        QStringLiteral("Network printer (port 9100 by default). Needed, or --serial."),
        QStringLiteral("HOST[:PORT]"));
    const QCommandLineOption serial(
        QStringLiteral("serial"),
        QStringLiteral("Printer on this serial device instead. Needed, or --printer."),
        QStringLiteral("DEVICE"));
    const QCommandLineOption baud(QStringLiteral("baud"),
                                  QStringLiteral("Serial speed, 8 data bits, no parity, one stop "
                                                 "bit, no handshake (default: the device keeps "
                                                 "its settings)."),
                                  QStringLiteral("N"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("Format and batch text, as the editor loads "
                                                   "it. Needed."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption epc(QStringLiteral("epc"),
                                 QStringLiteral("First tag data: 16 or 24 hex digits. "
                                                "Needed."),
                                 QStringLiteral("VALUE"));
    const QCommandLineOption quantity(QStringLiteral("quantity"),
                                      QStringLiteral("Labels per batch, 0 to 100 (default 1)."),
                                      QStringLiteral("N"));
    const QCommandLineOption batches(QStringLiteral("batches"),
                                     QStringLiteral("How many batches (default 1)."),
                                     QStringLiteral("N"));
    const QCommandLineOption sendFormat(
        QStringLiteral("send-format"),
        QStringLiteral("Send the format packet in front of the first batch."));
    const QCommandLineOption polls(QStringLiteral("polls"),
                                   QStringLiteral("Status polls of one second before \"No "
                                                  "response\" (default 26)."),
                                   QStringLiteral("N"));
    const QCommandLineOption journal(
        QStringLiteral("journal"),
        QStringLiteral("Append every batch and its result to this journal: an SQLite database "
                       "file, a PostgreSQL database (postgresql://...) or a CSV file (.csv)."),
        QStringLiteral("FILE|URL"));
    const QCommandLineOption noRepeat(
        QStringLiteral("no-repeat"),
        QStringLiteral("Stop (exit status 4) before a batch whose EPC range the journal has "
                       "sent already, by any station (default with a postgresql:// journal)."));
    const QCommandLineOption repeat(QStringLiteral("repeat"),
                                    QStringLiteral("Send such batches anyway, on purpose."));
    const QCommandLineOption exportCsv(
        QStringLiteral("export-csv"),
        QStringLiteral("Only write the --journal database's events to this CSV file."),
        QStringLiteral("FILE"));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("Only the summary and errors."));
    const QCommandLineOption stepSerial(
        QStringLiteral("step-serial"),
        QStringLiteral("Step the serial field of the tag data's GS1 scheme (SGTIN serial, SSCC "
                       "serial reference, ...) instead of the whole value; a value of no scheme "
                       "steps whole. The run stops before a batch the field cannot hold; SSCC-96 "
                       "and GSRN-96 take batches of one only."));
    parser.addOptions({printer, serial, baud, format, epc, quantity, batches, sendFormat, polls,
                       journal, quiet, stepSerial});
    parser.addOptions({noRepeat, repeat, exportCsv});
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    if (!parser.parse(arguments)) {
        *message = parser.errorText();
        return ParseOutcome::UsageError;
    }
    if (parser.isSet(help) || parser.isSet(version)) {
        *message = parser.isSet(help)
                       ? parser.helpText() + HelpEnd()
                       : QCoreApplication::applicationName() + QLatin1Char(' ') +
                             QCoreApplication::applicationVersion() + QLatin1Char('\n');
        return ParseOutcome::Shown;
    }
    const auto fail = [message](const QString &text) {
        *message = text;
        return ParseOutcome::UsageError;
    };
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument \"%1\".")
                        .arg(parser.positionalArguments().constFirst()));
    // Given twice, an option would silently take one of its values.
    for (const QCommandLineOption &o :
         {printer, serial, baud, format, epc, quantity, batches, polls, journal, exportCsv}) {
        if (parser.values(o).size() > 1)
            return fail(QStringLiteral("--%1 is given more than once.").arg(o.names().first()));
    }

    BatchOptions o;
    if (parser.isSet(exportCsv)) {
        o.exportCsv = parser.value(exportCsv);
        o.journalPath = parser.value(journal);
        if (o.exportCsv.isEmpty() || o.journalPath.isEmpty())
            return fail(QStringLiteral("--export-csv FILE needs --journal with the database."));
        *options = o;
        return ParseOutcome::Run;
    }
    if (parser.isSet(noRepeat) && parser.isSet(repeat))
        return fail(QStringLiteral("Give --no-repeat or --repeat, not both."));
    if (parser.isSet(printer) == parser.isSet(serial))
        return fail(QStringLiteral("Give either --printer HOST[:PORT] or --serial DEVICE."));
    if (parser.isSet(printer) && !readPrinter(parser.value(printer).trimmed(), &o.host, &o.port))
        return fail(QStringLiteral("--printer \"%1\" is not HOST or HOST:PORT with a port from "
                                   "1 to 65535.")
                        .arg(parser.value(printer)));
    if (parser.isSet(serial)) {
        o.serialDevice = parser.value(serial);
        if (o.serialDevice.trimmed().isEmpty())
            return fail(QStringLiteral("--serial needs a device name."));
    }
    qint64 value = 0;
    if (parser.isSet(baud)) {
        if (!parser.isSet(serial))
            return fail(QStringLiteral("--baud goes with --serial."));
        if (!readNumber(parser.value(baud), 1, 100000000, &value))
            return fail(QStringLiteral("--baud \"%1\" is not a speed in bits per second.")
                            .arg(parser.value(baud)));
        o.baud = int(value);
    }
    if (!parser.isSet(format))
        return fail(QStringLiteral("--format FILE is missing."));
    o.formatPath = parser.value(format);
    if (!parser.isSet(epc))
        return fail(QStringLiteral("--epc VALUE is missing."));
    // As the entry would hold it: upper case, every digit typed.
    o.epc = parser.value(epc).trimmed().toUpper();
    if (o.epc.size() != 16 && o.epc.size() != 24)
        return fail(
            QStringLiteral("--epc \"%1\" is not 16 or 24 hex digits.").arg(parser.value(epc)));
    o.dataSize = o.epc.size() == 16 ? 64 : 96;
    if (parser.isSet(quantity)) {
        if (!readNumber(parser.value(quantity), 0, 100, &value))
            return fail(QStringLiteral("--quantity \"%1\" is not a number from 0 to 100.")
                            .arg(parser.value(quantity)));
        o.quantity = int(value);
    }
    if (parser.isSet(batches)) {
        if (!readNumber(parser.value(batches), 1, std::numeric_limits<qint64>::max(), &value))
            return fail(QStringLiteral("--batches \"%1\" is not a whole number from 1 up.")
                            .arg(parser.value(batches)));
        o.batches = value;
    }
    o.sendFormat = parser.isSet(sendFormat);
    if (parser.isSet(polls)) {
        if (!readNumber(parser.value(polls), 0, PollsLimit, &value))
            return fail(QStringLiteral("--polls \"%1\" is not a number from 0 to %2.")
                            .arg(parser.value(polls))
                            .arg(PollsLimit));
        o.polls = int(value);
    }
    if (parser.isSet(journal)) {
        o.journalPath = parser.value(journal);
        if (o.journalPath.isEmpty())
            return fail(QStringLiteral("--journal needs a file name."));
    }
    o.noRepeat = parser.isSet(noRepeat) ||
                 (!parser.isSet(repeat) && JournalStore::isServerLocation(o.journalPath));
    if (o.noRepeat && (o.journalPath.isEmpty() ||
                       (!JournalStore::isServerLocation(o.journalPath) &&
                        o.journalPath.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))))
        return fail(QStringLiteral("--no-repeat needs a --journal database (not a .csv file)."));
    o.quiet = parser.isSet(quiet);
    o.stepSerial = parser.isSet(stepSerial);
    *options = o;
    return ParseOutcome::Run;
}
