#include "widgets/TfmNet.h"

#include <QCloseEvent>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/Globals.h"
#include "widgets/Help.h"
#include "widgets/Hints.h"
#include "widgets/Prompt.h"

namespace
{

QString displayLines(const ReplyBuffer &buffer, int from)
{
    QStringList parts;
    for (int i = from; i < buffer.finishedLines(); ++i)
        parts << ReplyBuffer::displayText(buffer.line(i));
    parts << ReplyBuffer::displayText(buffer.unfinished());
    return parts.join(QLatin1Char('\n'));
}

} // namespace

TfmNet::TfmNet(NetLink *link, QWidget *parent)
    : QDialog(parent), csNet(link->csNet), tiNetConnected(link->tiNetConnected),
      tiCheck(link->tiCheck), FPending(link->FPending), FTotal(link->FTotal),
      FLinkActive(link->FLinkActive), FAwaitConnect(link->FAwaitConnect),
      FCheckStatus(link->FCheckStatus), m_link(link)
{
    setObjectName(QStringLiteral("fmNet"));
    setWindowTitle(QStringLiteral("Network Connection"));
    setSizeGripEnabled(true);
    createControls();

    connect(link, &NetLink::linkState, laStat, &QLabel::setText);
    connect(link, &NetLink::warning, this, [this](const QString &caption, const QString &text) {
        ShowWarning(this, caption, text);
    });
    connect(link, &NetLink::received, this, &TfmNet::showReceived);
    connect(link, &NetLink::replyTaken, this, &TfmNet::removeTakenReply);
    connect(link, &NetLink::receiveCleared, meReceive, &QPlainTextEdit::clear);
    connect(link, &NetLink::transferProgress, this, &TfmNet::transferProgress);
    connect(link, &NetLink::transferFinished, this, &TfmNet::transferFinished);
    // The link reads the address and port when it connects.
    connect(edIP, &QLineEdit::textChanged, link, &NetLink::setHost);
    // The link keeps the address; this window shows it, wherever it was set.
    connect(link, &NetLink::hostChanged, edIP, [this](const QString &host) {
        if (edIP->text() != host)
            edIP->setText(host);
    });
    connect(edPort, &QLineEdit::textChanged, link, &NetLink::setPortText);
    link->setPortText(edPort->text());

    FormCreate();
    // Connected after the address is filled in, so that creation does not count as a change.
    connect(edIP, &QLineEdit::textChanged, this, &TfmNet::edIPChange);
}

TfmNet::~TfmNet()
{
    // The link outlives the window; what it reports afterwards has nowhere to go.
    disconnect(m_link, nullptr, this, nullptr);
}

void TfmNet::createControls()
{
    bnConnect = new QPushButton(QStringLiteral("Connect"), this);
    bnConnect->setObjectName(QStringLiteral("bnConnect"));
    bnConnect->setToolTip(QStringLiteral("Connect to the printer"));
    bnDisconnect = new QPushButton(QStringLiteral("Disconnect"), this);
    bnDisconnect->setObjectName(QStringLiteral("bnDisconnect"));
    bnDisconnect->setToolTip(QStringLiteral("Close the connection"));
    bnSend = new QPushButton(QStringLiteral("Send"), this);
    bnSend->setObjectName(QStringLiteral("bnSend"));
    bnSend->setToolTip(QStringLiteral("Send the text below to the printer"));
    sbHelp = new QToolButton(this);
    sbHelp->setObjectName(QStringLiteral("sbHelp"));
    sbHelp->setText(QStringLiteral("Help"));
    sbHelp->setAutoRaise(true);
    sbHelp->setToolTip(QStringLiteral("Help"));
    for (QPushButton *b : {bnConnect, bnDisconnect, bnSend})
        b->setAutoDefault(false); // Enter in an edit must not press a button
    connect(bnConnect, &QPushButton::clicked, this, &TfmNet::bnConnectClick);
    connect(bnDisconnect, &QPushButton::clicked, this, &TfmNet::bnDisconnectClick);
    connect(bnSend, &QPushButton::clicked, this, &TfmNet::bnSendClick);
    connect(sbHelp, &QToolButton::clicked, this, &TfmNet::sbHelpClick);

    QFont bold = font();
    bold.setBold(true);
    Label4 = new QLabel(QStringLiteral("IP ADDRESS"), this);
    Label4->setObjectName(QStringLiteral("Label4"));
    Label4->setFont(bold);
    edIP = new QLineEdit(QStringLiteral("0.0.0.0"), this); // replaced by the stored address
    edIP->setObjectName(QStringLiteral("edIP"));
    edIP->setToolTip(QStringLiteral("Printer address or host name"));
    Label5 = new QLabel(QStringLiteral("PORT"), this);
    Label5->setObjectName(QStringLiteral("Label5"));
    Label5->setFont(bold);
    edPort = new QLineEdit(QStringLiteral("9100"), this);
    edPort->setObjectName(QStringLiteral("edPort"));
    edPort->setToolTip(QStringLiteral("TCP port of the printer"));
    laStat = new QLabel(QStringLiteral("Disconnected"), this);
    laStat->setObjectName(QStringLiteral("laStat"));
    edSend = new QLineEdit(QStringLiteral("{J,3}"), this);
    edSend->setObjectName(QStringLiteral("edSend"));
    edSend->setToolTip(QStringLiteral("Text for the Send button"));
    meReceive = new QPlainTextEdit(this);
    meReceive->setObjectName(QStringLiteral("meReceive"));
    meReceive->setReadOnly(true);
    meReceive->setUndoRedoEnabled(false); // an undo history would grow with every read
    meReceive->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(bnConnect);
    buttons->addWidget(bnDisconnect);
    buttons->addWidget(bnSend);
    buttons->addWidget(sbHelp);
    buttons->addStretch();

    auto *box = new QGroupBox(this);
    auto *grid = new QGridLayout(box);
    grid->addWidget(Label4, 0, 0);
    grid->addWidget(edIP, 1, 0);
    grid->addWidget(Label5, 0, 1);
    grid->addWidget(edPort, 1, 1);
    grid->addWidget(laStat, 1, 2);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 2);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(box);
    layout->addWidget(edSend);
    layout->addWidget(meReceive, 1);
    resize(520, 400);
}

// --- window events ------------------------------------------------------------------------

void TfmNet::FormCreate()
{
    FLinkActive = false;
    FAwaitConnect = false;
    FCheckStatus = false;
    edIP->setText(m_link->host()); // the session keeps the address; this shows it
    csNet->abort();
}

void TfmNet::FormShow()
{
    SetShowHint(this, m_showHints ? m_showHints() : true);
    if (QWidget *owner = parentWidget()) {
        QRect r = frameGeometry();
        r.moveCenter(owner->frameGeometry().center());
        move(r.topLeft());
    }
}

bool TfmNet::FormCloseQuery()
{
    return true;
}

void TfmNet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TfmNet::closeEvent(QCloseEvent *event)
{
    if (FormCloseQuery())
        event->accept();
    else
        event->ignore();
}

void TfmNet::edIPChange()
{
    NetDisconnect();
}

void TfmNet::bnConnectClick()
{
    m_link->ConnectNow();
}

void TfmNet::bnDisconnectClick()
{
    NetDisconnect();
}

void TfmNet::bnSendClick()
{
    NetSend(edSend->text().toLatin1());
}

void TfmNet::sbHelpClick()
{
    SetHelpFile(QString::fromLatin1(HelpFileName));
    HelpContext(8);
}

// --- receive area -------------------------------------------------------------------------

// Keeps meReceive in step with the reply buffer: one block per finished line, then one for
// the unfinished rest (possibly empty).
void TfmNet::showReceived(int fellOff, int finishedBefore)
{
    QTextDocument *doc = meReceive->document();
    if ((fellOff > 0 && fellOff >= finishedBefore) || doc->blockCount() != finishedBefore + 1) {
        meReceive->setPlainText(displayLines(m_link->replies(), 0));
    } else {
        if (fellOff > 0) {
            QTextCursor front(doc);
            front.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, fellOff);
            front.removeSelectedText();
        }
        const int from = finishedBefore - fellOff;
        QTextCursor tail(doc->findBlockByNumber(from));
        tail.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        tail.insertText(displayLines(m_link->replies(), from));
    }
    meReceive->moveCursor(QTextCursor::End);
}

// TakeReply took the first line: its block goes from the area.
void TfmNet::removeTakenReply(int finishedBefore)
{
    QTextCursor c(meReceive->document());
    c.movePosition(finishedBefore > 0 ? QTextCursor::NextBlock : QTextCursor::End,
                   QTextCursor::KeepAnchor);
    c.removeSelectedText();
    meReceive->moveCursor(QTextCursor::Start);
}
