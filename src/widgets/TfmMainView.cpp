// The main window's controls, menu, entry, status line and meaning line.
#include "core/BatchAssembly.h"
#include "core/BatchOutcome.h"
#include "core/Globals.h"
#include "core/Gs1Epc.h"
#include "core/Journal.h"
#include "core/PacketText.h"
#include "core/Settings.h"
#include "core/TagData.h"
#include "link/BatchSession.h"
#include "link/NetLink.h"
#include "link/PortNames.h"
#include "link/SendJournal.h"
#include "link/SerialLink.h"
#include "link/StatusCheck.h"
#include "widgets/Controls.h"
#include "widgets/Forms.h"
#include "widgets/Help.h"
#include "widgets/Hints.h"
#include "widgets/Prompt.h"
#include "widgets/TfmAbout.h"
#include "widgets/TfmCommSet.h"
#include "widgets/TfmEPCField.h"
#include "widgets/TfmFormFl.h"
#include "widgets/TfmFormat.h"
#include "widgets/TfmGs1Epc.h"
#include "widgets/TfmHRError.h"
#include "widgets/TfmInit.h"
#include "widgets/TfmJournal.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmMainParts.h"
#include "widgets/TfmNet.h"
#include "widgets/TfmProg.h"
#include "widgets/TfmQty.h"
#include "widgets/TfmWarnIncHR.h"
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QFontMetrics>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

using namespace MainParts;

namespace
{
void setEntryRow(QLineEdit *entry, QLabel *caption, const TagFormatRow &row, const QString &text)
{
    entry->setInputMask(QtInputMask(row.mask));
    entry->setText(text);
    caption->setText(row.caption);
}

// Checking a radio item unchecks the other of its pair.
void checkRadio(QAction *on, QAction *off)
{
    off->setChecked(false);
    on->setChecked(true);
}
} // namespace

void TfmMain::LoadPictures()
{
    if (std::exchange(m_picturesLoaded, true))
        return;
    const QIcon programIcon(QStringLiteral(":/pictures/quilbo.svg"));
    QApplication::setWindowIcon(programIcon); // the dialogs' too
    setWindowIcon(programIcon);
    imVelmo->setPixmap(QIcon(QStringLiteral(":/pictures/logo.svg")).pixmap(QSize(180, 55)));
    QIcon sendIcon;
    sendIcon.addFile(QStringLiteral(":/pictures/send.svg"), QSize(), QIcon::Normal);
    sendIcon.addFile(QStringLiteral(":/pictures/send-disabled.svg"), QSize(), QIcon::Disabled);
    sbSendBatch->setIcon(sendIcon);
    imEPC->setPixmap(QIcon(QStringLiteral(":/pictures/epc.svg")).pixmap(QSize(96, 96)));
}

void TfmMain::createControls()
{
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("central"));
    setCentralWidget(central);

    imVelmo = MakeLabel(central, "imVelmo", QString());
    imVelmo->setGeometry(8, 6, 180, 55);

    sbSendBatch = new QToolButton(central);
    sbSendBatch->setObjectName(QStringLiteral("sbSendBatch"));
    sbSendBatch->setAutoRaise(true);
    sbSendBatch->setToolTip(QStringLiteral("Send batch packet to printer"));
    sbSendBatch->setIconSize(QSize(133, 52));
    sbSendBatch->setFocusPolicy(Qt::NoFocus);
    sbSendBatch->setGeometry(MinWidth - 141 - 40, 4, 141, 60);
    connect(sbSendBatch, &QToolButton::clicked, this, &TfmMain::sbSendBatchClick);

    laEPC = MakeLabel(central, "laEPC", QStringLiteral("Hex RFID Code"));
    laEPC->setGeometry(EpcLeft, 68, MaxWidth, 16);

    medEPC = new QLineEdit(central);
    medEPC->setObjectName(QStringLiteral("medEPC"));
    QFont epcFont(QStringLiteral("Courier New"), 24, QFont::Bold);
    epcFont.setStyleHint(QFont::TypeWriter);
    medEPC->setFont(epcFont);
    medEPC->setInputMask(QtInputMask(QStringLiteral("AAAAAAAAAAAAAAAAAAAAAAAA")));
    medEPC->setMaxLength(24);
    medEPC->setText(QStringLiteral("0123456789ABCEDF00000000"));
    medEPC->setToolTip(QStringLiteral("Enter RFID (EPC) value"));
    medEPC->setGeometry(EpcLeft, 86, MinWidth - 2 * EpcLeft - 8, 40);
    connect(medEPC, &QLineEdit::textChanged, this, &TfmMain::medEPCChange);

    // Long texts (a path, a printer's reply) end in "..." at the window's edge, whole in the
    // tool tip.
    laStat = new ElidedLabel(QStringLiteral("Initializing"), central);
    laStat->setObjectName(QStringLiteral("laStat"));
    laStat->setToolTip(laStat->text());
    laStat->setTextFormat(Qt::PlainText); // printer replies are shown here as they came
    QFont statFont = laStat->font();
    statFont.setPointSize(12);
    laStat->setFont(statFont);
    laStat->setGeometry(EpcLeft, 132, MaxWidth, 24);
    QPalette statPal = laStat->palette();
    statPal.setColor(QPalette::WindowText, Red);
    laStat->setPalette(statPal);

    imEPC = MakeLabel(central, "imEPC", QString());
    imEPC->setGeometry(MinWidth - 96 - 24, 160, 96, 96);

    QFont italic = font();
    italic.setItalic(true);
    QFont bold = font();
    bold.setBold(true);
    laInfo1 = MakeLabel(central, "laInfo1", QStringLiteral("For all your RFID needs, please ..."));
    laInfo2 = MakeLabel(central, "laInfo2", QStringLiteral("e-mail:"));
    laInfo4 = MakeLabel(central, "laInfo4", QStringLiteral("rfid-sales@example.com"));
    laInfo3 = MakeLabel(central, "laInfo3", QStringLiteral("or call:"));
    laInfo5 = MakeLabel(central, "laInfo5", QStringLiteral("+1 555 0134"));
    for (QLabel *l : {laInfo1, laInfo2, laInfo3})
        l->setFont(italic);
    for (QLabel *l : {laInfo4, laInfo5})
        l->setFont(bold);
    laInfo1->setGeometry(EpcLeft, 172, 200, 16);
    laInfo2->setGeometry(EpcLeft + 8, 192, 50, 16);
    laInfo4->setGeometry(EpcLeft + 60, 192, 160, 16);
    laInfo3->setGeometry(EpcLeft + 8, 212, 50, 16);
    laInfo5->setGeometry(EpcLeft + 60, 212, 160, 16);

    laLenTest = MakeLabel(central, "laLenTest", QString());
    laLenTest->setVisible(false);

    tiStatHold = new QTimer(this);
    tiStatHold->setObjectName(QStringLiteral("tiStatHold"));
    tiStatHold->setInterval(5000);
    connect(tiStatHold, &QTimer::timeout, this, &TfmMain::tiStatHoldTimer);
    tiStatHold->start();

    tiEncdStat = new QTimer(this);
    tiEncdStat->setObjectName(QStringLiteral("tiEncdStat"));
    tiEncdStat->setInterval(1000);
    connect(tiEncdStat, &QTimer::timeout, this, &TfmMain::tiEncdStatTimer);

    tiInitDelay = new QTimer(this);
    tiInitDelay->setObjectName(QStringLiteral("tiInitDelay"));
    tiInitDelay->setInterval(500);
    connect(tiInitDelay, &QTimer::timeout, this, &TfmMain::tiInitDelayTimer);

    // F1 opens the page of the main window.
    auto *f1 = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(f1, &QShortcut::activated, this, [] { HelpContext(5); });

    tiInitFileSend = new QTimer(this);
    tiInitFileSend->setObjectName(QStringLiteral("tiInitFileSend"));
    tiInitFileSend->setInterval(500);
    connect(tiInitFileSend, &QTimer::timeout, this, &TfmMain::tiInitFileSendTimer);
}

void TfmMain::createMenu()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("mmMain"));
    miSetup = bar->addMenu(QStringLiteral("&Setup"));
    miSetup->setObjectName(QStringLiteral("miSetup"));

    miSendFormat = makeAction(this, "miSendFormat", QStringLiteral("Send For&mat"));
    miViewFile = makeAction(this, "miViewFile", QStringLiteral("&Open/Edit File"));
    miSendPkt = makeAction(this, "miSendPkt", QStringLiteral("Send &File"));
    miBatchQty = makeAction(this, "miBatchQty", QStringLiteral("Batch &Quantity   1"));
    miJournal = makeAction(this, "miJournal", QStringLiteral("Batch &Journal"));
    miSetup->addActions({miSendFormat, miViewFile, miSendPkt, miBatchQty, miJournal});
    miN4 = miSetup->addSeparator();
    miN4->setObjectName(QStringLiteral("miN4"));

    miDataFormat = miSetup->addMenu(QStringLiteral("&Data Format"));
    miDataFormat->setObjectName(QStringLiteral("miDataFormat"));
    miDataFormat->menuAction()->setData(2);
    miDataFormat->menuAction()->setVisible(false); // operators work in hex only
    miSGTIN = makeAction(this, "miSGTIN", QStringLiteral("&SGTIN"), 1);
    miHex = makeAction(this, "miHex", QStringLiteral("&Hex "), 2);
    auto *formatGroup = new QActionGroup(this);
    for (QAction *a : {miSGTIN, miHex}) {
        a->setCheckable(true);
        formatGroup->addAction(a);
        miDataFormat->addAction(a);
    }
    miSGTIN->setChecked(true);

    miDataSize = miSetup->addMenu(QStringLiteral("Data Size"));
    miDataSize->setObjectName(QStringLiteral("miDataSize"));
    miDataSize64 = makeAction(this, "miDataSize64", QStringLiteral("&64-bit"), 64);
    miDataSize96 = makeAction(this, "miDataSize96", QStringLiteral("&96-bit"), 96);
    auto *sizeGroup = new QActionGroup(this);
    for (QAction *a : {miDataSize64, miDataSize96}) {
        a->setCheckable(true);
        sizeGroup->addAction(a);
        miDataSize->addAction(a);
    }

    miSetEPCField = makeAction(this, "miSetEPCField", QStringLiteral("Set &Hum.-Rd. Field"));
    miSetEPCField->setToolTip(QStringLiteral("Set the Human-Readable field"));
    miSetEPCField->setStatusTip(miSetEPCField->toolTip());
    miSetup->addAction(miSetEPCField);
    miN2 = miSetup->addSeparator();
    miN2->setObjectName(QStringLiteral("miN2"));
    miComm = makeAction(this, "miComm", QStringLiteral("&Comm"));
    miIPTest = makeAction(this, "miIPTest", QStringLiteral("&IP Test"));
    miSetup->addActions({miComm, miIPTest});
    miN3 = miSetup->addSeparator();
    miN3->setObjectName(QStringLiteral("miN3"));
    miAutoInc = makeAction(this, "miAutoInc", QStringLiteral("Auto &Increment"));
    miShowHints = makeAction(this, "miShowHints", QStringLiteral("Show &Hints"));
    for (QAction *a : {miAutoInc, miShowHints}) {
        a->setCheckable(true);
        a->setChecked(true);
        miSetup->addAction(a);
    }
    // Off unless the settings file says otherwise: the whole value steps, as it always did.
    miStepSerial = makeAction(this, "miStepSerial", QStringLiteral("Step the GS1 &serial"));
    miStepSerial->setCheckable(true);
    miSetup->insertAction(miShowHints, miStepSerial);

    miHelp = makeAction(this, "miHelp", QStringLiteral("&Help"));
    miAbout = makeAction(this, "miAbout", QStringLiteral("&About"));
    bar->addAction(miHelp);
    bar->addAction(miAbout);

    // A checkable item flips its own mark before `triggered` arrives, but the handlers decide
    // by the mark as it stood: put it back, then let the handler check what it checks.
    // ExclusiveOptional keeps the radio look and allows the start-up state with none checked.
    auto connectRadio = [this](QAction *a, void (TfmMain::*handler)()) {
        a->actionGroup()->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
        connect(a, &QAction::triggered, this, [this, a, handler](bool checked) {
            a->setChecked(!checked);
            (this->*handler)();
        });
    };
    connectRadio(miSGTIN, &TfmMain::miSGTINClick);
    connectRadio(miHex, &TfmMain::miHexClick);
    connectRadio(miDataSize64, &TfmMain::miDataSize64Click);
    connectRadio(miDataSize96, &TfmMain::miDataSize96Click);

    connect(miSendFormat, &QAction::triggered, this, &TfmMain::miSendFormatClick);
    connect(miViewFile, &QAction::triggered, this, &TfmMain::miViewFileClick);
    connect(miSendPkt, &QAction::triggered, this, &TfmMain::miSendFileClick);
    connect(miBatchQty, &QAction::triggered, this, &TfmMain::miBatchQtyClick);
    connect(miJournal, &QAction::triggered, this, &TfmMain::miJournalClick);
    connect(miSetEPCField, &QAction::triggered, this, &TfmMain::miSetEPCFieldClick);
    connect(miComm, &QAction::triggered, this, &TfmMain::miCommClick);
    connect(miIPTest, &QAction::triggered, this, &TfmMain::miIPTestClick);
    connect(miShowHints, &QAction::triggered, this, &TfmMain::miShowHintsClick);
    connect(miHelp, &QAction::triggered, this, &TfmMain::miHelpClick);
    connect(miAbout, &QAction::triggered, this, &TfmMain::miAboutClick);
}

// ---- Status line, size ----------------------------------------------------------------------

void TfmMain::SetStatus(const QString &text, const QColor &colour)
{
    tiStatHold->stop();
    laStat->setText(text);
    laStat->setToolTip(text);
    QPalette pal = laStat->palette();
    pal.setColor(QPalette::WindowText, colour);
    laStat->setPalette(pal);
    tiStatHold->start();
}

void TfmMain::tiStatHoldTimer()
{
    tiStatHold->stop();
    if (!m_nextNote.isEmpty()) {
        SetStatus(std::exchange(m_nextNote, QString()), m_nextNoteColour);
        SetSendBusy(false);
        return;
    }
    laStat->setText(QStringLiteral("Idle"));
    laStat->setToolTip(laStat->text());
    QPalette pal = laStat->palette();
    pal.setColor(QPalette::WindowText, Grey);
    laStat->setPalette(pal);
    SetSendBusy(false);
}

void TfmMain::FitWidthToEPC()
{
    medEPCChange();
    laLenTest->setText(medEPC->displayText());
    const int textWidth = QFontMetrics(laLenTest->font()).horizontalAdvance(medEPC->displayText());
    const int width = qBound(MinWidth, textWidth + 48, MaxWidth);
    setMinimumWidth(MinWidth);
    setMaximumWidth(MaxWidth);
    resize(width, FixedHeight);
    applyResizeRules();
}

void TfmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    applyResizeRules();
    ShowTagMeaning();
    laStat->update(); // its cut follows the width
}

void TfmMain::applyResizeRules()
{
    const int w = width();
    sbSendBatch->move(w - sbSendBatch->width() - 40, sbSendBatch->y());
    imEPC->move(w - imEPC->width() - 24, imEPC->y());
    medEPC->resize(w - 2 * medEPC->x() - 8, medEPC->height());
}

bool TfmMain::showHints() const
{
    return miShowHints->isChecked();
}

// ---- Tag data -------------------------------------------------------------------------------

QString TfmMain::entryText() const
{
    // Qt leaves untyped positions out of text(), which would move the later digits left; the
    // shown text keeps every position in place. A blank in the middle then fails the limit
    // check, while an untyped tail counts as zeros like a short text.
    QString shown = medEPC->displayText();
    while (shown.endsWith(QLatin1Char(EntryBlank)) || shown.endsWith(QLatin1Char(' ')))
        shown.chop(1);
    return shown;
}

void TfmMain::setEntryText(const QString &text)
{
    // The masked edit skips a character it cannot hold and moves the later ones left into its
    // place: put a digit there first, then clear those positions as the Delete key does.
    const QString layout = currentLayout();
    QString filled = text;
    QList<qsizetype> blanks;
    for (qsizetype i = 0; i < filled.size() && i < layout.size(); ++i) {
        if (layout.at(i) != QLatin1Char(' ') && !filled.at(i).isLetterOrNumber()) {
            filled[i] = QLatin1Char('0');
            blanks << i;
        }
    }
    medEPC->setText(filled);
    const int cursor = medEPC->cursorPosition();
    for (const qsizetype i : blanks) {
        medEPC->setSelection(int(i), 1);
        medEPC->del();
    }
    medEPC->setCursorPosition(cursor);
}

QString TfmMain::currentLayout() const
{
    return TagFormatFor(FSession->FDataFormat, FSession->FDataSize).layout;
}

void TfmMain::miHexClick()
{
    if (!miHex->isChecked()) {
        checkRadio(miHex, miSGTIN);
        FSession->FDataFormat = 2;
        const int size = miDataSize64->isChecked() ? 64 : 96;
        const QString hex = PackTagFields(entryText(), TagFormatFor(1, size).layout);
        const TagFormatRow &row = TagFormatFor(2, size);
        setEntryRow(medEPC, laEPC, row, UnpackTagFields(hex, row.layout));
    }
    FitWidthToEPC();
}

void TfmMain::miSGTINClick()
{
    if (!miSGTIN->isChecked()) {
        checkRadio(miSGTIN, miHex);
        FSession->FDataFormat = 1;
        const int size = miDataSize64->isChecked() ? 64 : 96;
        const QString hex = PackTagFields(entryText(), TagFormatFor(2, size).layout);
        const TagFormatRow &row = TagFormatFor(1, size);
        setEntryRow(medEPC, laEPC, row, UnpackTagFields(hex, row.layout));
    }
    FitWidthToEPC();
}

void TfmMain::miDataSize96Click()
{
    if (!miDataSize96->isChecked()) {
        checkRadio(miDataSize96, miDataSize64);
        FSession->FDataSize = 96;
        const int format = miSGTIN->isChecked() ? 1 : 2;
        // The text is read with the other size's template: 64 bits, then 32 zero bits.
        const QString hex = PackTagFields(entryText(), TagFormatFor(format, 64).layout) +
                            QStringLiteral("00000000");
        const TagFormatRow &row = TagFormatFor(format, 96);
        setEntryRow(medEPC, laEPC, row, UnpackTagFields(hex, row.layout));
    }
    FitWidthToEPC();
}

void TfmMain::miDataSize64Click()
{
    if (!miDataSize64->isChecked()) {
        checkRadio(miDataSize64, miDataSize96);
        FSession->FDataSize = 64;
        const int format = miSGTIN->isChecked() ? 1 : 2;
        // The leading 64 bits stay, the last 32 are dropped.
        const QString hex = PackTagFields(entryText(), TagFormatFor(format, 96).layout).left(16);
        const TagFormatRow &row = TagFormatFor(format, 64);
        setEntryRow(medEPC, laEPC, row, UnpackTagFields(hex, row.layout));
    }
    FitWidthToEPC();
}

void TfmMain::medEPCChange()
{
    medEPC->setPalette(QPalette());
    ShowTagMeaning();
}

bool TfmMain::CheckTagData()
{
    const int format = miSGTIN->isChecked() ? 1 : 2;
    const int size = miDataSize96->isChecked() ? 96 : 64;
    const bool bad = FindLimitBreak(entryText(), TagFormatFor(format, size).layout) >= 0;
    if (bad) {
        QPalette pal = medEPC->palette();
        pal.setColor(QPalette::Base, QColor(255, 0, 0));
        medEPC->setPalette(pal);
    } else {
        medEPCChange();
    }
    return bad;
}

void TfmMain::IncrementTagData()
{
    if (FSession->FBatchQty == 0)
        return;
    medEPC->setText(StepTagText(entryText(), currentLayout(), FSession->FBatchQty));
}

void TfmMain::createMeaningLine()
{
    // The line sits right under the entry; the status line moves down to make room, so the
    // window keeps its height.
    laMeaning = MakeLabel(centralWidget(), "laMeaning", QString());
    laMeaning->setTextFormat(Qt::PlainText);
    laMeaning->setGeometry(EpcLeft, medEPC->geometry().bottom() + 2, MaxWidth, 16);
    laStat->move(laStat->x(), laMeaning->geometry().bottom() + 2);

    miGs1Epc = makeAction(this, "miGs1Epc", QStringLiteral("GS1 EPC..."));
    miSetup->insertAction(miSetEPCField, miGs1Epc);
    connect(miGs1Epc, &QAction::triggered, this, &TfmMain::miGs1EpcClick);
    // The warning about the next increment depends on it.
    connect(miAutoInc, &QAction::toggled, this, &TfmMain::ShowTagMeaning);
}

void TfmMain::ShowTagMeaning()
{
    if (!laMeaning)
        return; // the entry changes during creation, before the line exists
    const TagMeaning m = FSession->Meaning(entryText(), miAutoInc->isChecked());
    const QString &shown = m.shown;
    const int room = width() - 2 * EpcLeft;
    laMeaning->setText(laMeaning->fontMetrics().elidedText(shown, Qt::ElideRight, room));
    laMeaning->setToolTip(m.tip);
    QPalette pal = laMeaning->palette();
    pal.setColor(QPalette::WindowText, m.warn   ? Red
                                       : m.seen ? SentPurple
                                                : palette().color(QPalette::WindowText));
    laMeaning->setPalette(pal);
}
