#include "widgets/TfmGs1Epc.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QUrl>
#include <QVBoxLayout>

#include "core/Gs1Epc.h"
#include "widgets/Controls.h"
#include "widgets/Help.h"
#include "widgets/Prompt.h"

namespace
{

bool isSgtin(const QComboBox *scheme)
{
    return scheme->currentData().toString() == QLatin1String("sgtin-96");
}

// A Digital Link URI's path as an element string: /01/{gtin}/21/{serial} gives (01)...(21)....
QString elementStringOfLink(const QString &link)
{
    const QStringList parts =
        QUrl(link).path(QUrl::FullyDecoded).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out += QLatin1Char('(') + parts.at(i) + QLatin1Char(')') + parts.at(i + 1);
    return out;
}

} // namespace

TfmGs1Epc::TfmGs1Epc(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("fmGs1Epc"));
    setWindowTitle(QStringLiteral("GS1 EPC"));

    cxScheme = new QComboBox(this);
    cxScheme->setObjectName(QStringLiteral("cxScheme"));
    cxScheme->addItem(QStringLiteral("SGTIN-96"), QStringLiteral("sgtin-96"));
    cxScheme->addItem(QStringLiteral("SSCC-96"), QStringLiteral("sscc-96"));
    udFilter = new QSpinBox(this);
    udFilter->setObjectName(QStringLiteral("udFilter"));
    udFilter->setRange(0, 7);
    udFilter->setValue(1);
    udPrefixLength = new QSpinBox(this);
    udPrefixLength->setObjectName(QStringLiteral("udPrefixLength"));
    udPrefixLength->setRange(6, 12);
    udPrefixLength->setValue(7);
    laKey = MakeLabel(this, "laKey", QStringLiteral("GTIN"));
    edKey = new QLineEdit(this);
    edKey->setObjectName(QStringLiteral("edKey"));
    edKey->setToolTip(QStringLiteral("The GTIN or SSCC; an element string or a Digital Link "
                                     "pasted here fills all fields"));
    laSerial = MakeLabel(this, "laSerial", QStringLiteral("Serial"));
    edSerial = new QLineEdit(this);
    edSerial->setObjectName(QStringLiteral("edSerial"));
    laHex = MakeLabel(this, "laHex", QString());
    laTagUri = MakeLabel(this, "laTagUri", QString());
    laProblem = MakeLabel(this, "laProblem", QString());
    for (QLabel *label : {laHex, laTagUri, laProblem})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    laProblem->setWordWrap(true);
    QPalette warning = laProblem->palette();
    warning.setColor(QPalette::WindowText, QColor(192, 0, 0));
    laProblem->setPalette(warning);

    bbOk = MakeButton(this, "bbOk", QStringLiteral("OK"));
    bbOk->setDefault(true);
    bbCancel = MakeButton(this, "bbCancel", QStringLiteral("Cancel"));
    bbHelp = MakeButton(this, "bbHelp", QStringLiteral("&Help"));

    auto *fields = new QFormLayout;
    fields->addRow(QStringLiteral("Scheme"), cxScheme);
    fields->addRow(QStringLiteral("Filter"), udFilter);
    fields->addRow(QStringLiteral("Company prefix length"), udPrefixLength);
    fields->addRow(laKey, edKey);
    fields->addRow(laSerial, edSerial);
    fields->addRow(QStringLiteral("Hex"), laHex);
    fields->addRow(QStringLiteral("Tag URI"), laTagUri);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(bbOk);
    buttons->addWidget(bbCancel);
    buttons->addWidget(bbHelp);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(laProblem);
    layout->addLayout(buttons);
    setMinimumWidth(480);

    connect(cxScheme, &QComboBox::currentIndexChanged, this, &TfmGs1Epc::FieldsChange);
    connect(udFilter, &QSpinBox::valueChanged, this, &TfmGs1Epc::FieldsChange);
    connect(udPrefixLength, &QSpinBox::valueChanged, this, &TfmGs1Epc::FieldsChange);
    connect(edKey, &QLineEdit::textEdited, this, &TfmGs1Epc::edKeyEdited);
    connect(edKey, &QLineEdit::textChanged, this, &TfmGs1Epc::FieldsChange);
    connect(edSerial, &QLineEdit::textChanged, this, &TfmGs1Epc::FieldsChange);
    connect(bbOk, &QPushButton::clicked, this, &TfmGs1Epc::bbOkClick);
    connect(bbCancel, &QPushButton::clicked, this, &TfmGs1Epc::bbCancelClick);
    connect(bbHelp, &QPushButton::clicked, this, &TfmGs1Epc::bbHelpClick);
    FieldsChange();
}

void TfmGs1Epc::FieldsChange()
{
    const bool sgtin = isSgtin(cxScheme);
    laKey->setText(sgtin ? QStringLiteral("GTIN") : QStringLiteral("SSCC"));
    laSerial->setEnabled(sgtin);
    edSerial->setEnabled(sgtin);
    const QString key = edKey->text().trimmed();
    QString problem;
    FHex.clear();
    if (key.isEmpty()) {
        problem = sgtin ? QStringLiteral("Type a GTIN and a serial.")
                        : QStringLiteral("Type an "
                                         "SSCC.");
    } else {
        const QString elementString =
            sgtin ? QStringLiteral("(01)%1(21)%2").arg(key, edSerial->text().trimmed())
                  : QStringLiteral("(00)%1").arg(key);
        FHex = EpcFromElementString(elementString, udPrefixLength->value(), udFilter->value(),
                                    &problem);
    }
    FLastKey = edKey->text();
    laHex->setText(FHex);
    laTagUri->setText(FHex.isEmpty() ? QString() : ReadEpc(FHex).tagUri);
    laProblem->setText(problem);
    bbOk->setEnabled(!FHex.isEmpty());
}

void TfmGs1Epc::edKeyEdited(const QString &text)
{
    // Only a paste (more than one character at once) is read as a whole, so that typing an
    // element string by hand is not taken apart half-way.
    const bool paste = text.size() > FLastKey.size() + 1;
    FLastKey = text;
    const QString pasted = text.trimmed();
    if (!paste)
        return;
    if (pasted.startsWith(QLatin1Char('(')))
        fillFromElementString(pasted);
    else if (pasted.startsWith(QLatin1String("http"), Qt::CaseInsensitive))
        fillFromElementString(elementStringOfLink(pasted));
}

// Takes the scheme, key and serial out of "(01)...(21)..." or "(00)..."; false when neither.
bool TfmGs1Epc::fillFromElementString(const QString &elementString)
{
    static const QRegularExpression pair(QStringLiteral("\\((\\d{2,4})\\)([^(]*)"));
    QString gtin, sscc, serial;
    for (const QRegularExpressionMatch &m : pair.globalMatch(elementString)) {
        const QString ai = m.captured(1), value = m.captured(2).trimmed();
        if (ai == QLatin1String("01"))
            gtin = value;
        else if (ai == QLatin1String("00"))
            sscc = value;
        else if (ai == QLatin1String("21"))
            serial = value;
    }
    if (gtin.isEmpty() && sscc.isEmpty())
        return false;
    const QSignalBlocker block(edKey);
    cxScheme->setCurrentIndex(gtin.isEmpty() ? 1 : 0);
    edKey->setText(gtin.isEmpty() ? sscc : gtin);
    edSerial->setText(serial);
    FieldsChange();
    return true;
}

void TfmGs1Epc::setHex(const QString &hex24)
{
    const EpcReading r = ReadEpc(hex24);
    if (!r.problem.isEmpty() ||
        (r.scheme != QLatin1String("sgtin-96") && r.scheme != QLatin1String("sscc-96")))
        return;
    // urn:epc:tag:sgtin-96:F.CCCCCCC.IIIIII.S: the filter and the company prefix's length.
    const QString fields = r.tagUri.section(QLatin1Char(':'), 4);
    udFilter->setValue(fields.section(QLatin1Char('.'), 0, 0).toInt());
    udPrefixLength->setValue(int(fields.section(QLatin1Char('.'), 1, 1).size()));
    fillFromElementString(r.elementString);
}

void TfmGs1Epc::bbOkClick()
{
    if (!FHex.isEmpty())
        done(ModalResult::OK);
}

void TfmGs1Epc::bbCancelClick()
{
    done(ModalResult::Cancel);
}

void TfmGs1Epc::bbHelpClick()
{
    SetHelpFile(QLatin1String(HelpFileName));
    HelpContext(HelpContextId);
}
