#include "widgets/TfmFormat.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

#include "core/Files.h"
#include "core/FormatFile.h"
#include "core/PacketText.h"
#include "widgets/Help.h"
#include "widgets/Hints.h"
#include "widgets/Prompt.h"

namespace
{
const char FormatFilter[] = "Format files (*.fmt, *.txt)|*.fmt;*.txt|All files (*.*)|*.*";
const char DefaultSuffix[] = "fmt";
const QString CaptionPrefix = QStringLiteral("Format:  ");

QAction *makeAction(QObject *parent, const char *name, const QString &caption)
{
    auto *a = new QAction(caption, parent);
    a->setObjectName(QLatin1String(name));
    return a;
}

void fileError(QWidget *owner, const QString &path, const QString &reason)
{
    ShowWarning(owner, QStringLiteral("File Error"),
                QStringLiteral("%1\n%2").arg(QDir::toNativeSeparators(path), reason));
}
} // namespace

TfmFormat::TfmFormat(QWidget *parent) : QDialog(parent, Qt::Window)
{
    setObjectName(QStringLiteral("fmFormat"));
    setWindowTitle(QStringLiteral("Format and Batch Data"));
    resize(464, 393);

    meFormat = new QPlainTextEdit(this);
    meFormat->setObjectName(QStringLiteral("meFormat"));
    meFormat->setLineWrapMode(QPlainTextEdit::NoWrap);
    meFormat->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    meFormat->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    meFormat->setPlainText(DefaultFormatLines().join(QLatin1Char('\n')));
    connect(meFormat, &QPlainTextEdit::textChanged, this, &TfmFormat::meFormatChange);

    mmMain = new QMenuBar(this);
    mmMain->setObjectName(QStringLiteral("mmMain"));
    miFileList = mmMain->addMenu(QStringLiteral("&Open"));
    miFileList->setObjectName(QStringLiteral("miFileList"));
    // With no recent file the separator ends the menu; it stays all the same.
    miFileList->setSeparatorsCollapsible(false);
    miOpen = makeAction(this, "miOpen", QStringLiteral("&Open"));
    miFileList->addAction(miOpen);
    miN1 = miFileList->addSeparator();
    miN1->setObjectName(QStringLiteral("miN1"));
    QAction **recent[] = {&miOpen1, &miOpen2, &miOpen3, &miOpen4, &miOpen5};
    for (int k = 1; k <= RecentFileList::Slots; ++k) {
        QAction *a =
            makeAction(this, QByteArray("miOpen" + QByteArray::number(k)).constData(), QString());
        a->setData(k);
        a->setVisible(false);
        miFileList->addAction(a);
        connect(a, &QAction::triggered, this, [this, a] { miOpenItemClick(a->data().toInt()); });
        *recent[k - 1] = a;
    }
    miSaveAs = makeAction(this, "miSaveAs", QStringLiteral("Save &As"));
    miReturn = makeAction(this, "miReturn", QStringLiteral("&Return"));
    miHelp = makeAction(this, "miHelp", QStringLiteral("&Help"));
    mmMain->addAction(miSaveAs);
    mmMain->addAction(miReturn);
    mmMain->addAction(miHelp);
    connect(miOpen, &QAction::triggered, this, &TfmFormat::miOpenClick);
    connect(miSaveAs, &QAction::triggered, this, &TfmFormat::miSaveAsClick);
    connect(miReturn, &QAction::triggered, this, &TfmFormat::miReturnClick);
    connect(miHelp, &QAction::triggered, this, &TfmFormat::miHelpClick);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setMenuBar(mmMain);
    layout->addWidget(meFormat);
    UpdateRecentMenu();
}

void TfmFormat::setFiles(const QString &fileName, const RecentFileList &recent)
{
    FFileName = fileName;
    FRecent = recent;
    UpdateRecentMenu();
}

void TfmFormat::nameFile(const QString &path)
{
    FFileName = path;
    setWindowTitle(CaptionPrefix + path);
}

QStringList TfmFormat::lines() const
{
    const QTextDocument *doc = meFormat->document();
    if (doc->isEmpty())
        return {};
    QStringList out;
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next())
        // A soft break (Shift+Enter) is a line break too once the text is in a file.
        out += b.text().split(QChar::LineSeparator);
    return out;
}

void TfmFormat::showEvent(QShowEvent *event)
{
    if (!event->spontaneous()) {
        emit showing();
        FormShow();
    }
    QDialog::showEvent(event);
}

void TfmFormat::FormShow()
{
    const QWidget *owner = parentWidget();
    if (!owner)
        return;
    int top = owner->y() + 25;
    if (top <= 0)
        top = 2;
    int left = owner->x() - 25;
    if (left <= 0)
        left = 2;
    move(left, top);
}

void TfmFormat::meFormatChange()
{
    emit formatChanged();
}

QAction *TfmFormat::recentItem(int slot) const
{
    switch (slot) {
    case 1:
        return miOpen1;
    case 2:
        return miOpen2;
    case 3:
        return miOpen3;
    case 4:
        return miOpen4;
    case 5:
        return miOpen5;
    default:
        return nullptr;
    }
}

void TfmFormat::AddRecentFile(const QString &path)
{
    FRecent.add(path);
}

void TfmFormat::UpdateRecentMenu()
{
    for (int k = 1; k <= RecentFileList::Slots; ++k) {
        QAction *item = recentItem(k);
        const QString path = FRecent.at(k);
        if (path.isEmpty()) {
            item->setVisible(false);
        } else {
            // A path is shown as it is: "&" in it must not turn into an accelerator.
            QString caption = path;
            caption.replace(QLatin1Char('&'), QLatin1String("&&"));
            item->setText(caption);
            item->setVisible(true);
        }
    }
}

bool TfmFormat::loadFile(const QString &path, QString *error)
{
    QStringList lines;
    if (!ReadFormatFile(path, &lines, error))
        return false;
    meFormat->setPlainText(lines.join(QLatin1Char('\n')));
    return true;
}

void TfmFormat::openThroughDialog(const QString &startPath)
{
    const QString path =
        prompt().openFile(this, QStringLiteral("Open Format File"), QLatin1String(FormatFilter),
                          folderOf(startPath), startPath, QLatin1String(DefaultSuffix));
    if (path.isEmpty())
        return;
    QString error;
    if (!loadFile(path, &error)) {
        fileError(this, path, error);
        return;
    }
    nameFile(path);
    meFormatChange();
    AddRecentFile(path);
    UpdateRecentMenu();
    emit filesChanged(FFileName, FRecent);
}

void TfmFormat::miOpenClick()
{
    openThroughDialog(FFileName);
}

void TfmFormat::miOpenItemClick(int tag)
{
    const QString path = FRecent.at(tag);
    if (path.isEmpty())
        return;
    FRecent.reopen(tag);
    UpdateRecentMenu();
    emit filesChanged(FFileName, FRecent);
    QString error;
    if (!loadFile(path, &error)) {
        // A recent file that went away: let the operator look for it where it was.
        openThroughDialog(path);
        return;
    }
    nameFile(path);
    meFormatChange();
    emit filesChanged(FFileName, FRecent);
}

void TfmFormat::miSaveAsClick()
{
    const QString path =
        prompt().saveFile(this, QStringLiteral("Save Format File As"), QLatin1String(FormatFilter),
                          folderOf(FFileName), FFileName, QLatin1String(DefaultSuffix));
    if (path.isEmpty() || path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\')))
        return;

    const QStringList text = lines();
    QByteArray data;
    for (int i = 0; i < text.size(); ++i) {
        const QString &line = text[i];
        for (const QChar c : line) {
            if (c.unicode() > 0xFF) {
                // Writing it as "?" would change the label without a word.
                fileError(this, path,
                          QStringLiteral("Line %1 holds the character \"%2\", which an 8-bit "
                                         "format file cannot carry. Nothing was written.")
                              .arg(i + 1)
                              .arg(c));
                return;
            }
        }
        data += line.toLatin1();
        data += "\r\n";
    }

    WholeFileOptions options;
    options.inPlaceFallback = true;
    QString error;
    if (!WriteWholeFile(path, data, &error, options)) {
        fileError(this, path, error);
        return;
    }
    nameFile(path);
    AddRecentFile(path);
    UpdateRecentMenu();
    emit filesChanged(FFileName, FRecent);
}

void TfmFormat::miReturnClick()
{
    hide();
}

void TfmFormat::miHelpClick()
{
    SetHelpFile(QLatin1String(HelpFileName));
    HelpContext(5);
}
