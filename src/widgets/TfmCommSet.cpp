#include "widgets/TfmCommSet.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>

#include <iterator>

#include "link/SerialLink.h"
#include "widgets/Help.h"
#include "widgets/Hints.h"
#include "widgets/Prompt.h"

namespace
{

constexpr int LastPort = 255;

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QComboBox *makeList(QWidget *parent, const char *name,
                    const std::initializer_list<std::pair<const char *, int>> &items)
{
    auto *list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    for (const auto &item : items)
        list->addItem(QLatin1String(item.first), item.second);
    return list;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text,
                        QStyle::StandardPixmap icon)
{
    auto *button = new QPushButton(parent->style()->standardIcon(icon), text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

// A stored value that is not an item leaves the list without a selection.
void selectValue(QComboBox *list, int value)
{
    list->setCurrentIndex(list->findData(value));
}

// No selection keeps what was stored: the operator did not choose anything else.
void takeValue(const QComboBox *list, int &field)
{
    if (list->currentIndex() >= 0)
        field = list->currentData().toInt();
}

// "COM12:" or "COM12: **" gives 12.
int portNumberOf(const QString &item, bool *ok)
{
    const QString digits = item.mid(3);
    return digits.left(digits.indexOf(QLatin1Char(':'))).toInt(ok);
}

} // namespace

TfmCommSet::TfmCommSet(QWidget *parent) : QDialog(parent), portProbe(&SerialLink::canOpen)
{
    setObjectName(QStringLiteral("fmCommSet"));
    setWindowTitle(QStringLiteral("Comm Setup"));

    laPort = makeLabel(this, "laPort", QStringLiteral("Port"));
    laIPAddr = makeLabel(this, "laIPAddr", QStringLiteral("IP Address"));
    laBaud = makeLabel(this, "laBaud", QStringLiteral("Baud"));
    laParity = makeLabel(this, "laParity", QStringLiteral("Parity"));
    laDBits = makeLabel(this, "laDBits", QStringLiteral("Data Bits"));
    laSBits = makeLabel(this, "laSBits", QStringLiteral("Stop Bits"));
    laFlow = makeLabel(this, "laFlow", QStringLiteral("Flow Control"));

    cxPort = makeList(this, "cxPort", {});
    cxPort->setToolTip(QStringLiteral("Select communication port"));
    edIP = new QLineEdit(QStringLiteral("0.0.0.0"), this);
    edIP->setObjectName(QStringLiteral("edIP"));
    edIP->setToolTip(QStringLiteral("Enter IP address"));
    cxBaud = makeList(this, "cxBaud",
                      {{"1200", 1200},
                       {"2400", 2400},
                       {"4800", 4800},
                       {"9600", 9600},
                       {"19200", 19200},
                       {"38400", 38400},
                       {"57600", 57600},
                       {"115200", 115200}});
    cxParity = makeList(this, "cxParity",
                        {{"NONE", 0}, {"ODD", 1}, {"EVEN", 2}, {"MARK", 3}, {"SPACE", 4}});
    cxDBits = makeList(this, "cxDBits", {{"7", 7}, {"8", 8}});
    cxSBits = makeList(this, "cxSBits", {{"1", 1}, {"2", 2}});
    cxFlow =
        makeList(this, "cxFlow", {{"DTR/DSR", 0}, {"XON/XOFF", 1}, {"CTS/RTS", 2}, {"NONE", 3}});

    bbOK = makeButton(this, "bbOK", QStringLiteral("OK"), QStyle::SP_DialogOkButton);
    bbOK->setDefault(true);
    bbOK->setToolTip(QStringLiteral("Accept changes"));
    bbCancel =
        makeButton(this, "bbCancel", QStringLiteral("Cancel"), QStyle::SP_DialogCancelButton);
    bbCancel->setToolTip(QStringLiteral("Ignore changes"));
    BitBtn1 = makeButton(this, "BitBtn1", QStringLiteral("&Help"), QStyle::SP_DialogHelpButton);

    auto *grid = new QGridLayout;
    const std::pair<QLabel *, QWidget *> rows[] = {
        {laPort, cxPort},   {laIPAddr, edIP},   {laBaud, cxBaud}, {laParity, cxParity},
        {laDBits, cxDBits}, {laSBits, cxSBits}, {laFlow, cxFlow}};
    int row = 0;
    for (const auto &r : rows) {
        grid->addWidget(r.first, row, 0);
        grid->addWidget(r.second, row, 1);
        ++row;
    }
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(bbOK);
    buttons->addWidget(bbCancel);
    buttons->addWidget(BitBtn1);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    QWidget *tabOrder[] = {cxPort,  edIP,   cxBaud, cxParity, cxDBits,
                           cxSBits, cxFlow, bbOK,   bbCancel, BitBtn1};
    for (size_t i = 1; i < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(cxPort, &QComboBox::activated, this, [this] { cxPortChange(); });
    connect(edIP, &QLineEdit::textChanged, this, [this] { edIPChange(); });
    connect(bbOK, &QPushButton::clicked, this, [this] {
        bbOKClick();
        emit settingsChosen(FSettings, FIPChanged);
        done(ModalResult::OK);
    });
    connect(bbCancel, &QPushButton::clicked, this, &TfmCommSet::reject);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { BitBtn1Click(); });
}

void TfmCommSet::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        emit showing();
        FormShow();
    }
}

void TfmCommSet::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1) {
        BitBtn1Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfmCommSet::reject()
{
    done(ModalResult::Cancel);
}

void TfmCommSet::setSettings(const CommSettings &settings, bool showHints)
{
    FSettings = settings;
    FShowHints = showHints;
}

QStringList TfmCommSet::shownLineTexts() const
{
    return {cxBaud->currentText(), cxParity->currentText(), cxDBits->currentText(),
            cxSBits->currentText(), cxFlow->currentText()};
}

QString TfmCommSet::shownAddress() const
{
    return edIP->text();
}

void TfmCommSet::FormShow()
{
    SetShowHint(this, FShowHints);
    BuildPortList();
    selectValue(cxBaud, FSettings.baudRate);
    selectValue(cxFlow, FSettings.flowControl);
    selectValue(cxDBits, FSettings.dataBits);
    selectValue(cxSBits, FSettings.stopBits);
    selectValue(cxParity, FSettings.parity);
    cxPortChange();
    edIP->setText(FSettings.ipAddress);
    FIPChanged = false;
}

void TfmCommSet::BuildPortList()
{
    // The owner has closed its own open port (showing()): it would not probe as present.
    cxPort->clear();
    const int current = FSettings.port;
    int selected = 0;
    cxPort->addItem(current == 0 ? QStringLiteral("IP **") : QStringLiteral("IP"), 0);
    const std::function<bool(int)> probe = portProbe ? portProbe : &SerialLink::canOpen;
    for (int n = 1; n <= LastPort; ++n) {
        if (!probe(n))
            continue;
        QString text = QStringLiteral("COM%1:").arg(n);
        if (n == current) {
            text += QStringLiteral(" **");
            selected = cxPort->count();
        }
        cxPort->addItem(text, n);
    }
    cxPort->setCurrentIndex(selected);
}

void TfmCommSet::cxPortChange()
{
    const bool serial = cxPort->currentIndex() != 0;
    for (QWidget *w : {static_cast<QWidget *>(cxBaud), static_cast<QWidget *>(cxParity),
                       static_cast<QWidget *>(cxDBits), static_cast<QWidget *>(cxSBits),
                       static_cast<QWidget *>(cxFlow)})
        w->setEnabled(serial);
    edIP->setEnabled(!serial);
}

void TfmCommSet::edIPChange()
{
    FIPChanged = true;
}

void TfmCommSet::bbOKClick()
{
    // An empty list means the dialog was never shown: there is no choice to take.
    const int item = cxPort->currentIndex();
    if (item == 0) {
        FSettings.port = 0;
    } else if (item > 0) {
        bool ok = false;
        const int port = portNumberOf(cxPort->currentText(), &ok);
        FSettings.port = ok ? port : cxPort->currentData().toInt();
    }
    takeValue(cxBaud, FSettings.baudRate);
    takeValue(cxParity, FSettings.parity);
    takeValue(cxDBits, FSettings.dataBits);
    takeValue(cxSBits, FSettings.stopBits);
    takeValue(cxFlow, FSettings.flowControl);
    FSettings.ipAddress = edIP->text();
}

void TfmCommSet::BitBtn1Click()
{
    SetHelpFile(QLatin1String(HelpFileName));
    HelpContext(7);
}
