#include "widgets/TfmMain.h"
#include "widgets/Controls.h"

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
#include "widgets/TfmNet.h"
#include "widgets/TfmProg.h"
#include "widgets/TfmQty.h"
#include "widgets/TfmWarnIncHR.h"

const QColor TfmMain::Blue(0x00, 0x00, 0xFF);
const QColor TfmMain::DarkGreen(0x00, 0x80, 0x00);
const QColor TfmMain::BrightGreen(0x00, 0xFF, 0x00);
const QColor TfmMain::Red(0xFF, 0x00, 0x00);
const QColor TfmMain::Grey(0x80, 0x80, 0x80);
const QColor TfmMain::SentPurple(0x80, 0x00, 0x80);

namespace
{
constexpr int MinWidth = 354;
constexpr int MaxWidth = 800;
constexpr int FixedHeight = 303;
constexpr int EpcLeft = 16;
constexpr char EntryBlank = '-'; // shown in entry positions not yet typed

const char SendFileFilter[] =
    "CVPL files (*.txt,*.fmt,*.bat,*.gph,*.tfd,*.cfu,*.all)|*.txt;*.fmt;*.bat;*.gph;*.tfd;*.cfu;"
    "*.all|Format files (*.txt, *.fmt)|*.txt;*.fmt|Graphic files (*.gph)|*.gph|Font files "
    "(*.tfd)|*.tfd|QDK files (*.cfu, *.all)|*.cfu;*.all|All files (*.*)|*.*";

// The entry masks use "A" for a required letter or digit and keep literal spaces; Qt spells
// that "N", with ">" for upper case and "-" shown in positions not yet typed.
QString QtInputMask(const QString &mask)
{
    QString m = QStringLiteral(">");
    for (const QChar c : mask)
        m += (c == QLatin1Char('A')) ? QLatin1Char('N') : c;
    return m + QLatin1Char(';') + QLatin1Char(EntryBlank);
}

QAction *makeAction(QObject *parent, const char *name, const QString &caption, int tag = 0)
{
    auto *a = new QAction(caption, parent);
    a->setObjectName(QLatin1String(name));
    a->setData(tag);
    return a;
}

QString folderOf(const QString &path)
{
    return path.isEmpty() ? QString() : QFileInfo(path).absolutePath();
}
} // namespace

TfmMain::TfmMain(const QString &settingsPath, BatchSession *session, QWidget *parent)
    : QMainWindow(parent), FSession(session),
      m_settingsPath(settingsPath.isEmpty() ? DefaultSettingsPath() : settingsPath)
{
    setObjectName(QStringLiteral("fmMain"));
    setWindowTitle(QStringLiteral("Quilbo"));
    QFont font(QStringLiteral("Arial"), 8);
    setFont(font);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);

    createControls();
    createMenu();
    createMeaningLine();
    connectSession();

    // Creation handler: settings first, then data format, size and the stored tag data.
    FSession->FFormatChanged = true;
    FFirstRun = false;
    ReadSettings();

    laLenTest->setFont(medEPC->font());
    FitWidthToEPC();
    setFixedHeight(FixedHeight);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FSession->OpenJournal(JournalPath(m_settingsPath));
    tiInitDelay->start();
}

TfmMain::~TfmMain() = default;

bool TfmMain::event(QEvent *event)
{
    // The pictures and the dialogs come right after the first paint: the first picture drawn
    // loads the SVG support, and the dialogs take as long to make as the main window.
    if (event->type() == QEvent::Paint && !m_painted) {
        m_painted = true;
        QTimer::singleShot(0, this, [this] { MakePendingWindows(); });
    }
    return QMainWindow::event(event);
}

void TfmMain::MakePendingWindows()
{
    if (m_makePending)
        m_makePending();
}

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

// ---- Settings -------------------------------------------------------------------------------

void TfmMain::ReadSettings()
{
    SettingsFile file;
    file.load(m_settingsPath);
    const StoredSettings s = file.read();

    FSession->FComPort = s.comPort;
    FFirstRun = s.firstRun;
    FSession->FBaudRate = s.baudRate;
    FSession->FParity = s.parity;
    FSession->FDataBits = s.dataBits;
    FSession->FStopBits = s.stopBits;
    FSession->FFlowControl = s.flowControl;

    FSession->FDataFormat = 2;
    miHexClick();
    if (s.dataSize == 96)
        miDataSize96Click();
    else
        miDataSize64Click();
    setEntryText(s.rfidData);
    m_storedEntry = entryText();
    m_settingsTime = QFileInfo(m_settingsPath).lastModified();

    FSession->FHREnabled = false;
    IniRecentFiles = s.recentFiles;
    SendFileName = s.sendFileName;
    LastInitFile = s.recentFiles.value(0);
    TcpIpAddr = s.tcpIpAddr;
    InitFiles = s.initFiles;
    PortOverrides = s.ports;

    FSession->FBatchQty = 1;
    FInitFileIndex = 0;
}

bool TfmMain::WriteSettings()
{
    StoredSettings s;
    s.comPort = FSession->FComPort;
    s.baudRate = FSession->FBaudRate;
    s.parity = FSession->FParity;
    s.dataBits = FSession->FDataBits;
    s.stopBits = FSession->FStopBits;
    s.flowControl = FSession->FFlowControl;
    s.dataFormat = FSession->FDataFormat;
    s.dataSize = FSession->FDataSize;
    s.hrField = FSession->FHRField;
    s.recentFiles = RecentFiles.entries();
    s.sendFileName = SendFileName;
    s.tcpIpAddr = TcpIpAddr;
    s.rfidData = entryText();
    if (FInitListLoaded) {
        s.initFiles = FInitFileList;
    } else {
        // The list was never loaded into the dialog: keep what was stored.
        s.initFiles.clear();
        for (const QString &f : InitFiles) {
            if (f.isEmpty())
                break;
            s.initFiles << f;
        }
    }

    // Read the file afresh so that whatever else it holds survives the write.
    SettingsFile file;
    file.load(m_settingsPath);
    file.write(s);
    if (!file.save(m_settingsPath)) {
        ShowWarning(this, QStringLiteral("Write Error"),
                    QStringLiteral("Could not write initialization file.\nIs it read-only?"));
        return false;
    }
    return true;
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

// ---- Keyboard, close ------------------------------------------------------------------------

void TfmMain::keyPressEvent(QKeyEvent *event)
{
    // Only keys that reach the window while none of its controls has the focus.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QWidget *focus = QApplication::focusWidget();
    if (enter && (focus == nullptr || focus == this || !isAncestorOf(focus))) {
        sbSendBatchClick();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void TfmMain::closeEvent(QCloseEvent *event)
{
    // A file transfer waiting on a held line ends as its Cancel ends it.
    if (fmProg && fmProg->isVisible())
        fmProg->reject();
    if (!m_closed) {
        m_closed = true;
        FSession->FFormatLines.clear();
        FSession->FBatchLines.clear();
        FEditorLines.clear();
        WriteSettings();
        FSession->ClosePort();
        if (fmNet)
            fmNet->NetDisconnect();
    }
    event->accept();
}

// ---- Tag data -------------------------------------------------------------------------------

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

// ---- Format text, human-readable field ------------------------------------------------------

bool TfmMain::SplitFormatText()
{
    FEditorLines = fmFormat ? fmFormat->lines() : QStringList();
    return ShowBatchStop(FSession->SplitFormatText(FEditorLines));
}

void TfmMain::miSetEPCFieldClick()
{
    if (FSession->FFormatChanged && !SplitFormatText())
        return;
    fmEPCField->exec();
    SplitFormatText();
    fmEPCField->close();
}

bool TfmMain::ConfirmHRQuantity()
{
    if (FSession->FBatchQty > 1 && FSession->FHREnabled &&
        (FSession->FFormatChanged || FSession->FHRChanged))
        return fmWarnIncHR->exec() == ModalResult::OK;
    return true;
}

// ---- Batch send -----------------------------------------------------------------------------

void TfmMain::sbSendBatchClick()
{
    // A resume from the journal must reach the entry before this batch reads it.
    FSession->FJournal->waitLoaded();
    SetSendBusy(true);
    SetStatus(QStringLiteral("Sending ..."), Blue);

    bool sendFormat = false;
    if (FSession->FFormatChanged) {
        if (!SplitFormatText())
            return;
        sendFormat = prompt().message(this, QStringLiteral("Send Format"),
                                      QStringLiteral("Send format packet?"), PromptIcon::Question,
                                      PromptButtons::YesNo) == ModalResult::Yes;
    }
    if (!ConfirmHRQuantity())
        return;

    const QString entry = entryText();
    BatchAssembly batch = FSession->PrepareBatch(entry, sendFormat, FSession->FHREnabled);
    if (batch.stop == BatchStop::HRLineMissing) {
        if (!PutHRLine())
            return;
        // Ignored or disabled: this batch goes without the human-readable line.
        batch = FSession->PrepareBatch(entry, sendFormat, false);
    }
    if (batch.stop == BatchStop::DataError || batch.stop == BatchStop::UnsendableText ||
        batch.stop == BatchStop::None)
        CheckTagData(); // paints the entry red, or back to normal
    if (!ShowBatchStop(batch))
        return;
    m_batchSent = true;
    const QString next = FSession->SendBatch(batch, entry, sendFormat);
    if (miAutoInc->isChecked() && FSession->FBatchQty != 0)
        medEPC->setText(next);
}

bool TfmMain::PutHRLine()
{
    // The assembly found no line for the human-readable field: the operator decides.
    fmHRError->exec();
    return !FHRAbort;
}

bool TfmMain::ShowBatchStop(const BatchAssembly &batch)
{
    if (batch.stop == BatchStop::None || batch.stop == BatchStop::HRLineMissing)
        return batch.stop == BatchStop::None;
    // Split again at the next try, once the operator has mended the text.
    if (batch.stop == BatchStop::NoBatchPacket || batch.stop == BatchStop::BadFieldNumber)
        FSession->FFormatChanged = true;
    const BatchStopText message = BatchStopMessage(batch);
    ShowWarning(this, message.caption, message.text);
    return false;
}

void TfmMain::miSendFormatClick()
{
    if (FSession->FFormatChanged && !SplitFormatText())
        return;
    const BatchAssembly format = AssembleFormat(FSession->FFormatLines);
    if (!ShowBatchStop(format))
        return;
    // The file the editor's text came from; it may have been edited since.
    FSession->SendFormat(format.text, FormatFileName.isEmpty()
                                          ? QStringLiteral("(the editor's text)")
                                          : FormatFileName);
}

void TfmMain::miBatchQtyClick()
{
    fmQty->exec();
    miBatchQty->setText(QStringLiteral("Batch Quantity   ") + QString::number(FSession->FBatchQty));
    ShowTagMeaning();
}

void TfmMain::miViewFileClick()
{
    fmFormat->show();
    fmFormat->raise();
    fmFormat->activateWindow();
}

// ---- Printer link ---------------------------------------------------------------------------

void TfmMain::connectSession()
{
    BatchSession *session = FSession;
    FSession->FAutoInc = miAutoInc->isChecked();
    connect(miAutoInc, &QAction::toggled, this, [this](bool on) { FSession->FAutoInc = on; });
    NetLink *net = session->FNetLink;
    connect(net, &NetLink::statusText, this, &TfmMain::ShowLinkStatus);
    connect(net, &NetLink::checkDue, this, &TfmMain::StartStatusCheck);
    // Said at once: no reply can come any more.
    connect(session->FStatusCheck, &StatusCheck::closedBeforeReply, this, [this] {
        FSession->FNetLink->checkNow();
        if (tiEncdStat->isActive())
            tiEncdStatTimer();
    });
    // A send must not clear the reply a running check still polls for.
    net->setReplyAwaited(
        [main = QPointer<TfmMain>(this)] { return main && main->tiEncdStat->isActive(); });
    connect(session, &BatchSession::warning, this,
            [this](const QString &caption, const QString &text) {
                ShowWarning(caption == QLatin1String("Comm Error") ? nullptr : this, caption, text);
            });
    connect(session, &BatchSession::serialSent, this, &TfmMain::tiStatHoldTimer);
    connect(session, &BatchSession::stepWarning, this, [this](qint64 batch, const QString &why) {
        m_nextNote = QStringLiteral("Warning after batch %1: %2").arg(batch).arg(why);
        m_nextNoteColour = Red;
    });

    SendJournal *journal = session->FJournal;
    connect(journal, &SendJournal::journalLoaded, this, &TfmMain::JournalLoaded);
    // Found at a send, it would vanish under the send's own texts: it follows them instead.
    const auto note = [this](const QString &text, const QColor &colour) {
        if (FSendBusy) {
            m_nextNote = text;
            m_nextNoteColour = colour;
        } else {
            SetStatus(text, colour);
        }
    };
    connect(journal, &SendJournal::journalFailed, this,
            [note](const QString &text) { note(text, Red); });
    connect(journal, &SendJournal::journalWrittenAgain, this,
            [note](const QString &text) { note(text, DarkGreen); });
    connect(journal, &SendJournal::appended, this, [this](const JournalEvent &e, bool written) {
        if (written && fmJournal)
            fmJournal->journalAppended(e);
        ShowTagMeaning(); // a new range or result may change what the value means
    });
}

void TfmMain::ShowLinkStatus(const QString &text, NetLink::Tone tone)
{
    switch (tone) {
    case NetLink::Tone::Progress:
        SetStatus(text, DarkGreen);
        break;
    case NetLink::Tone::Good:
        SetStatus(text, BrightGreen);
        break;
    case NetLink::Tone::Failure:
        SetStatus(text, Red);
        break;
    }
}

void TfmMain::StartStatusCheck()
{
    // A check still polling for an earlier request's reply goes on to take this one's.
    FSession->BeginCheck(tiEncdStat->isActive());
    tiEncdStat->start();
}

void TfmMain::tiEncdStatTimer()
{
    tiEncdStat->stop();
    const StatusCheck::Result result = FSession->Poll();
    switch (result.outcome) {
    case StatusCheck::Outcome::Polling:
        tiEncdStat->start();
        SetStatus(QString::number(result.poll), Blue);
        return;
    case StatusCheck::Outcome::NoResponse:
    case StatusCheck::Outcome::LinkClosed:
        SetStatus(StatusCheck::resultText(result), Red);
        return;
    case StatusCheck::Outcome::OperationOk:
        SetStatus(BatchOutcomeText(BatchOutcome::OperationOk), BrightGreen);
        break;
    case StatusCheck::Outcome::EncodingFailed:
        SetStatus(BatchOutcomeText(BatchOutcome::EncodingFailed, result.reply), Red);
        break;
    }
    SetSendBusy(false);
    if (result.pollAgain)
        tiEncdStat->start();
    emit encodingCheckDone();
}

void TfmMain::miCommClick()
{
    fmCommSet->exec();
}

void TfmMain::miIPTestClick()
{
    fmNet->exec();
}

void TfmMain::miSendFileClick()
{
    const QString path =
        prompt().openFile(this, QStringLiteral("Send File"), QLatin1String(SendFileFilter),
                          folderOf(SendFileName), SendFileName);
    if (path.isEmpty())
        return;
    SetStatus(QStringLiteral("Sending File"), DarkGreen);
    SendFileName = path;
    fmProg->exec();
    RecordFileTransfer();
}

// ---- Start-up initialization ----------------------------------------------------------------

void TfmMain::tiInitDelayTimer()
{
    tiInitDelay->stop();
    MakePendingWindows(); // a window not painted yet (hidden at start) still needs them
    if (FFirstRun)
        FInitFileList << QStringLiteral(".\\showgphf.gph");
    fmFormat->show();
    fmFormat->hide();
    fmCommSet->show();
    fmCommSet->hide();
    if (fmInit->exec() != ModalResult::Yes)
        return;
    if ((FSession->FComPort == 1 || FSession->FComPort == 2) && FSession->FBaudRate <= 19200) {
        const int answer =
            prompt().message(nullptr, QStringLiteral("Initialize Printer"),
                             QStringLiteral("Long delay possible.  Change comm settings?"),
                             PromptIcon::Question, PromptButtons::YesNoCancel);
        if (answer == ModalResult::Yes)
            fmCommSet->exec();
        else if (answer != ModalResult::No)
            return;
    }
    const int flash = fmFormFl->exec();
    if (flash == ModalResult::Yes || flash == ModalResult::No)
        tiInitFileSend->start();
}

void TfmMain::tiInitFileSendTimer()
{
    // A send is under way (or a transfer the operator started by hand, which does not hold
    // the send button): try again at the next tick.
    if (FSendBusy || fmProg->isVisible())
        return;
    tiInitFileSend->stop();
    if (FInitFileIndex < FInitFileList.size()) {
        SendFileName = FInitFileList.at(FInitFileIndex);
        SetSendBusy(true);
        SetStatus(QStringLiteral("Sending initial file"), Blue);
        fmProg->exec();
        RecordFileTransfer();
        ++FInitFileIndex;
        // The next file would land on top of the part of this one the printer already has.
        if (fmProg->cancelledPartway())
            return;
        tiInitFileSend->setInterval(2000);
        tiInitFileSend->start();
    }
}

void TfmMain::ShowInitDialog()
{
    // The stored files join the list once: the list keeps what the operator changed since,
    // and taking the stored files again would send each of them twice.
    if (!FInitListLoaded) {
        for (int i = 0; i < InitFiles.size() && i < 10; ++i) {
            if (InitFiles[i].isEmpty())
                break;
            FInitFileList << InitFiles[i];
        }
        FInitListLoaded = true;
    }
    fmInit->setFiles(FInitFileList);
    fmInit->setFirstRun(FFirstRun);
}

void TfmMain::SetSendBusy(bool busy)
{
    FSendBusy = busy;
    sbSendBatch->setEnabled(!busy);
}

// ---- Dialogs: values in before they show, out when they close -------------------------------

void TfmMain::ConnectDialogs()
{
    connect(fmQty, &TfmQty::showing, this, [this] { fmQty->setQuantity(FSession->FBatchQty); });
    connect(fmQty, &QDialog::finished, this, [this](int result) {
        if (result == ModalResult::OK)
            FSession->FBatchQty = fmQty->quantity();
    });
    connect(fmEPCField, &TfmEPCField::showing, this, [this] {
        fmEPCField->setValues(FSession->FEPCField, FSession->FHRField, FSession->FHREnabled,
                              showHints());
    });
    connect(fmEPCField, &QDialog::finished, this, [this](int result) {
        if (result != ModalResult::OK)
            return;
        FSession->FHRField = fmEPCField->hrField();
        FSession->FHREnabled = fmEPCField->hrEnabled();
        FSession->FHRChanged = true;
    });
    connect(fmHRError, &TfmHRError::showing, this,
            [this] { fmHRError->setField(FSession->FHRField); });
    connect(fmHRError, &QDialog::finished, this, [this] {
        switch (fmHRError->choice()) {
        case TfmHRError::Choice::Cancel:
            FHRAbort = true;
            break;
        case TfmHRError::Choice::Disable:
            FSession->FHREnabled = false;
            FHRAbort = false;
            break;
        case TfmHRError::Choice::Ignore:
            FHRAbort = false;
            break;
        case TfmHRError::Choice::None:
            break; // closed by its title bar: the last answer stands
        }
    });
    connect(fmFormat, &TfmFormat::showing, this, [this] { SetShowHint(fmFormat, showHints()); });
    connect(fmFormat, &TfmFormat::formatChanged, this, [this] { FSession->FFormatChanged = true; });
    connect(fmCommSet, &TfmCommSet::showing, this, [this] {
        // Our own open port would not probe as present.
        if (FSession->portOpen())
            FSession->ClosePort();
        fmCommSet->setSettings(commSettings(), showHints());
    });
    connect(fmCommSet, &QDialog::finished, this, [this](int result) {
        if (result == ModalResult::OK)
            ApplyCommSettings(fmCommSet->settings(), fmCommSet->FIPChanged);
    });
    connect(fmInit, &TfmInit::showing, this, &TfmMain::ShowInitDialog);
    connect(fmInit, &TfmInit::filesChanged, this, [this] { FInitFileList = fmInit->FileList(); });
    connect(fmInit, &TfmInit::commChangeRequested, this, &TfmMain::miCommClick);
    connect(fmInit, &TfmInit::commSummaryWanted, this, [this] {
        fmInit->setCommSummary(FSession->FComPort, fmCommSet->shownAddress(),
                               fmCommSet->shownLineTexts());
    });
}

CommSettings TfmMain::commSettings() const
{
    return {FSession->FComPort,  FSession->FBaudRate,    FSession->FParity, FSession->FDataBits,
            FSession->FStopBits, FSession->FFlowControl, TcpIpAddr};
}

void TfmMain::ApplyCommSettings(const CommSettings &s, bool ipTyped)
{
    FSession->FComPort = s.port;
    FSession->FBaudRate = s.baudRate;
    FSession->FParity = s.parity;
    FSession->FDataBits = s.dataBits;
    FSession->FStopBits = s.stopBits;
    FSession->FFlowControl = s.flowControl;
    TcpIpAddr = s.ipAddress;
    // The network window drops its connection itself when its address text changes.
    fmNet->edIP->setText(TcpIpAddr);
    if (ipTyped)
        fmNet->NetDisconnect();
}

// ---- Other menu items -----------------------------------------------------------------------

void TfmMain::miShowHintsClick()
{
    const bool on = miShowHints->isChecked();
    for (QWidget *w :
         std::initializer_list<QWidget *>{this, fmInit, fmFormat, fmEPCField, fmNet, fmCommSet})
        SetShowHint(w, on);
}

void TfmMain::miHelpClick()
{
    HelpContents();
}

void TfmMain::miAboutClick()
{
    TfmAbout about(this);
    about.exec();
}

// ---- GS1 EPC meaning line and dialog --------------------------------------------------------

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
    const QString layout = currentLayout();
    const QString text = entryText();
    QString shown;
    QStringList tip;
    bool warn = true;
    bool seen = false; // in a batch already sent: a cue, not a warning
    const int bad = FindLimitBreak(text, layout);
    if (bad >= 0) {
        shown = QStringLiteral("Not a tag value: position %1 breaks its limit.").arg(bad + 1);
        tip << QStringLiteral("Format (max data):  ") + layout;
    } else {
        const QString hex = PackTagFields(text, layout);
        const EpcReading r = ReadEpc(hex);
        const QString next =
            miAutoInc->isChecked() ? IncrementWarning(hex, FSession->FBatchQty) : QString();
        SentIndex::Hit hit;
        const QString sent =
            FSession->FJournal->lookup(hex, &hit) ? SentIndex::describe(hit) : QString();
        // What is wrong, or already done, comes first: a raw URI is long and the end of the
        // line is cut.
        for (const QString &why : {r.problem, next, sent})
            if (!why.isEmpty())
                shown += why + QStringLiteral(" - ");
        shown += r.tagUri;
        for (const QString &line : {sent, r.problem, next, r.elementString, r.digitalLink})
            if (!line.isEmpty())
                tip << line;
        warn = !r.problem.isEmpty() || !next.isEmpty();
        seen = !sent.isEmpty();
    }
    const int room = width() - 2 * EpcLeft;
    laMeaning->setText(laMeaning->fontMetrics().elidedText(shown, Qt::ElideRight, room));
    laMeaning->setToolTip(tip.join(QLatin1Char('\n')));
    QPalette pal = laMeaning->palette();
    pal.setColor(QPalette::WindowText, warn   ? Red
                                       : seen ? SentPurple
                                              : palette().color(QPalette::WindowText));
    laMeaning->setPalette(pal);
}

void TfmMain::miGs1EpcClick()
{
    TfmGs1Epc dialog(this);
    if (FSession->FDataSize == 96)
        dialog.setHex(PackTagFields(entryText(), currentLayout()));
    if (dialog.exec() != ModalResult::OK || dialog.hex().isEmpty())
        return;
    // The dialog builds 96-bit values: switch the entry the way the menu does, so that the
    // check marks, mask and caption stay in step, then put the value in.
    miHexClick();
    miDataSize96Click();
    medEPC->setText(dialog.hex());
}

// ---- Batch journal --------------------------------------------------------------------------

void TfmMain::miJournalClick()
{
    // Made at the first look; from then on it is kept current by what the program writes.
    if (!fmJournal) {
        fmJournal = new TfmJournal(this);
        fmJournal->setJournalPath(JournalPath(m_settingsPath));
        fmJournal->reload();
    }
    fmJournal->show();
    fmJournal->raise();
    fmJournal->activateWindow();
}

void TfmMain::JournalLoaded(const JournalEvent &newest, int skipped)
{
    const QString damaged =
        skipped > 0 ? QStringLiteral("Journal: %1 damaged lines skipped").arg(skipped) : QString();
    ResumeCheck now;
    now.batchSent = m_batchSent;
    now.dataFormat = FSession->FDataFormat;
    now.dataSize = FSession->FDataSize;
    now.entry = entryText();
    now.storedEntry = m_storedEntry;
    now.settingsTime = m_settingsTime;
    const QString nextHex = ResumeFromJournal(newest, now);
    const int bits = int(nextHex.size()) * 4;
    if (!nextHex.isEmpty()) {
        if (bits == 96 && FSession->FDataSize != 96)
            miDataSize96Click();
        else if (bits == 64 && FSession->FDataSize != 64)
            miDataSize64Click();
        setEntryText(nextHex);
        SetStatus(QStringLiteral("Resumed after EPC %1 from the journal").arg(newest.lastEpc),
                  DarkGreen);
        if (!damaged.isEmpty()) {
            m_nextNote = damaged;
            m_nextNoteColour = Red;
        }
    } else if (!damaged.isEmpty()) {
        SetStatus(damaged, Red);
    }
    ShowTagMeaning();
}

void TfmMain::RecordFileTransfer()
{
    if (!FSession->journalOpen())
        return;
    const QString failure = FSession->FJournal->lastNetFailure();
    FSession->FJournal->fileSent(
        FSession->JournalLink(), SendFileName, fmProg->FFileSize,
        fmProg->linkFailed() && !failure.isEmpty() ? failure : fmProg->outcomeText());
}
