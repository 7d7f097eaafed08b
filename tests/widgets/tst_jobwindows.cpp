// The printer-jobs windows: format editor, human-readable field dialogs, batch quantity.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QTimer>
#include <QWhatsThis>
#include <QtTest>
#include <functional>
#include <optional>

#include "TestFiles.h"
#include "TestWindows.h"
#include "app/Windows.h"
#include "core/Globals.h"
#include "link/PortNames.h"
#include "widgets/Hints.h"
#include "widgets/TfmEPCField.h"
#include "widgets/TfmFormat.h"
#include "widgets/TfmHRError.h"
#include "widgets/TfmMain.h"
#include "widgets/TfmQty.h"
#include "widgets/TfmWarnIncHR.h"

namespace
{

const QStringList DefaultText = DefaultFormatText();

const QString StartTag = QStringLiteral("0123456789ABCDEF00000000");

// Answers a modal dialog each time it comes up, from a short polling timer. A modal window
// nobody answers is rejected after two seconds, so a wrong turn fails instead of hanging.
class ModalAnswerer : public QObject
{
public:
    ModalAnswerer(QDialog *dialog, std::function<void()> answer)
        : m_dialog(dialog), m_answer(std::move(answer))
    {
        answered().insert(dialog);
        dialog->installEventFilter(this);
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poll);
        m_timer.start(5);
    }
    ~ModalAnswerer() override { answered().remove(m_dialog); }

    int shown = 0;
    QStringList unexpected;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        // A dialog may close and come up again with no event loop turn in between.
        if (watched == m_dialog && event->type() == QEvent::Show)
            m_handled = false;
        return false;
    }

private:
    static QSet<QWidget *> &answered()
    {
        static QSet<QWidget *> set;
        return set;
    }

    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal == m_dialog && !m_handled) {
            m_handled = true;
            ++shown;
            m_answer();
            return;
        }
        // Still up after its answer, or nobody's to answer: close it so the test fails.
        auto *stray = qobject_cast<QDialog *>(modal);
        if (stray && (stray == m_dialog || !answered().contains(stray))) {
            if (++m_strayPolls > 400) {
                unexpected << stray->objectName();
                stray->reject();
                m_strayPolls = 0;
            }
        } else {
            m_strayPolls = 0;
        }
    }

    QDialog *m_dialog;
    std::function<void()> m_answer;
    QTimer m_timer;
    bool m_handled = false;
    int m_strayPolls = 0;
};

QStringList recentCaptions()
{
    QStringList out;
    for (QAction *a : {fmFormat->miOpen1, fmFormat->miOpen2, fmFormat->miOpen3, fmFormat->miOpen4,
                       fmFormat->miOpen5})
        if (a->isVisible())
            out << a->text();
    return out;
}

// The default text with a data line for text field 2 in the batch packet.
QString textWithField2()
{
    QStringList lines = DefaultText;
    lines.insert(14, QStringLiteral("2,\"HR\"|"));
    return lines.join(QLatin1Char('\n'));
}

// Batch sends go to a serial port that has no device, so nothing leaves the machine; the
// tag data steps on only when a batch got as far as the send.
void routeToMissingPort(TestWindows &w)
{
    fmMain->FSession->FComPort = 250;
    PortOverrides.insert(250, w.tempPath(QStringLiteral("no-such-port")));
}

} // namespace

class tst_JobWindows : public QObject
{
    Q_OBJECT

private slots:
    void fixedTexts_data();
    void fixedTexts();
    void editorStartsWithDefaultText();
    void recentListFromSettings_data();
    void recentListFromSettings();
    void sixOpensKeepFiveNewestFirst();
    void openDialogAsGiven();
    void caseDifferentPathsAreTwoEntries();
    void reopenOfDeletedFileAsksOpenDialog();
    void fileLineBreaks_data();
    void fileLineBreaks();
    void saveKeepsChangedFlag();
    void saveToFolderNameDoesNothing_data();
    void saveToFolderNameDoesNothing();
    void unreadableFileChangesNothing_data();
    void unreadableFileChangesNothing();
    void failedSaveChangesNothing_data();
    void failedSaveChangesNothing();
    void severalMegabyteFileLoads();
    void editorPlacement_data();
    void editorPlacement();
    void editorHelpReturnAndHints();

    void hrDialogThroughMenu_data();
    void hrDialogThroughMenu();
    void hrDialogCancelChangesNothing();
    void hrDialogFieldNumber_data();
    void hrDialogFieldNumber();
    void hrDialogHelp();
    void hrErrorAnswers_data();
    void hrErrorAnswers();
    void hrErrorTitleBarCloseKeepsAbort();
    void hrLineFilledWhenBatchHasField();
    void hrWarningByQuantity_data();
    void hrWarningByQuantity();
    void hrWarningHelpOpensContents();

    void quantityThroughMenu();
    void quantityTypedText_data();
    void quantityTypedText();
    void quantityShownClamped_data();
    void quantityShownClamped();
};

// ---- Fixed texts ----------------------------------------------------------------------------

void tst_JobWindows::fixedTexts_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("child");
    QTest::addColumn<QString>("text"); // label, button or check box caption; or the tool tip

    QTest::newRow("primary") << "fmEPCField"
                             << "laPrimary"
                             << "X-Field:";
    QTest::newRow("hr label") << "fmEPCField"
                              << "laHRField"
                              << "HR Field:";
    QTest::newRow("use hr") << "fmEPCField"
                            << "ckUseHR"
                            << "Use Human-Readable";
    QTest::newRow("help note") << "fmEPCField"
                               << "laHelp"
                               << "See the Help file fore more information.";
    QTest::newRow("hr edit hint") << "fmEPCField"
                                  << "edHRField"
                                  << "tip:Optional Human-Readable Field #";
    QTest::newRow("use hr hint") << "fmEPCField"
                                 << "ckUseHR"
                                 << "tip:Enable Human-Readable field";
    QTest::newRow("ok hint") << "fmEPCField"
                             << "bbOK"
                             << "tip:Accept changes";
    QTest::newRow("cancel hint") << "fmEPCField"
                                 << "bbCancel"
                                 << "tip:Ignore changes";
    QTest::newRow("error 1") << "fmHRError"
                             << "laText1"
                             << "The specified human-readable";
    QTest::newRow("error 2") << "fmHRError"
                             << "laText2"
                             << "field was not found:";
    QTest::newRow("error cancel") << "fmHRError"
                                  << "bnCancel"
                                  << "Cancel";
    QTest::newRow("error ignore") << "fmHRError"
                                  << "bnIgnore"
                                  << "Ignore";
    QTest::newRow("error disable") << "fmHRError"
                                   << "bnDisable"
                                   << "Disable";
    QTest::newRow("error cancel hint") << "fmHRError"
                                       << "bnCancel"
                                       << "tip:Cancel print request";
    QTest::newRow("error ignore hint") << "fmHRError"
                                       << "bnIgnore"
                                       << "tip:Ignore HR field";
    QTest::newRow("error disable hint") << "fmHRError"
                                        << "bnDisable"
                                        << "tip:Disable HR field";
    QTest::newRow("warn 0") << "fmWarnIncHR"
                            << "laWarning"
                            << "Warning!";
    QTest::newRow("warn 1") << "fmWarnIncHR"
                            << "laText1"
                            << "Using a Human-Readable field";
    QTest::newRow("warn 2") << "fmWarnIncHR"
                            << "laText2"
                            << "with quanties greater than 1";
    QTest::newRow("warn 3") << "fmWarnIncHR"
                            << "laText3"
                            << "can cause problems.";
    QTest::newRow("warn 4") << "fmWarnIncHR"
                            << "laText4"
                            << "Text fields do not increment in hex.";
    QTest::newRow("quantity") << "fmQty"
                              << "laQuantity"
                              << "Number of labels in batch?";
    QTest::newRow("quantity edit") << "fmQty"
                                   << "edQuantity"
                                   << "1";
}

void tst_JobWindows::fixedTexts()
{
    QFETCH(QString, window);
    QFETCH(QString, child);
    QFETCH(QString, text);
    TestWindows w;
    QWidget *win = nullptr;
    for (QWidget *candidate :
         std::initializer_list<QWidget *>{fmEPCField, fmHRError, fmWarnIncHR, fmQty, fmFormat})
        if (candidate->objectName() == window)
            win = candidate;
    QVERIFY(win);
    auto *c = win->findChild<QWidget *>(child);
    QVERIFY2(c, qPrintable(child));
    QString actual;
    if (text.startsWith(QLatin1String("tip:"))) {
        text = text.mid(4);
        actual = c->toolTip();
    } else if (auto *l = qobject_cast<QLabel *>(c)) {
        actual = l->text();
    } else if (auto *b = qobject_cast<QAbstractButton *>(c)) {
        actual = b->text();
    } else if (auto *e = qobject_cast<QLineEdit *>(c)) {
        actual = e->text();
    }
    QCOMPARE(actual, text);
}

// ---- Format editor --------------------------------------------------------------------------

void tst_JobWindows::editorStartsWithDefaultText()
{
    TestWindows w;
    QCOMPARE(fmFormat->lines(), DefaultText);
    QCOMPARE(fmFormat->windowTitle(), QStringLiteral("Format and Batch Data"));
    QCOMPARE(fmFormat->size(), QSize(464, 393));
    QCOMPARE(fmFormat->meFormat->lineWrapMode(), QPlainTextEdit::NoWrap);
    // No settings file: only "&Open" and the separator under the "&Open" menu.
    QStringList visible;
    for (QAction *a : fmFormat->miFileList->actions())
        if (a->isVisible())
            visible << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(visible, (QStringList{"&Open", "-"}));
    QVERIFY(!fmFormat->miFileList->actionGeometry(fmFormat->miN1).isEmpty()); // not collapsed
    QCOMPARE(fmFormat->miFileList->title(), QStringLiteral("&Open"));
}

void tst_JobWindows::recentListFromSettings_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("captions");

    QTest::newRow("five in key order")
        << QByteArray("[EPC]\r\nFILENAME1=/f/1.fmt\r\nFILENAME2=/f/2.fmt\r\nFILENAME3=/f/3.fmt\r\n"
                      "FILENAME4=/f/4.fmt\r\nFILENAME5=/f/5.fmt\r\n")
        << QStringList{"/f/1.fmt", "/f/2.fmt", "/f/3.fmt", "/f/4.fmt", "/f/5.fmt"};
    QTest::newRow("one path under two keys")
        << QByteArray("[EPC]\r\nFILENAME1=/f/a.fmt\r\nFILENAME2=/f/b.fmt\r\nFILENAME3=/f/a.fmt\r\n")
        << QStringList{"/f/a.fmt", "/f/b.fmt"};
    QTest::newRow("gap skipped") << QByteArray(
                                        "[EPC]\r\nFILENAME1=/f/a.fmt\r\nFILENAME4=/f/d.fmt\r\n")
                                 << QStringList{"/f/a.fmt", "/f/d.fmt"};
    QTest::newRow("letter case differs")
        << QByteArray("[EPC]\r\nFILENAME1=/f/A.fmt\r\nFILENAME2=/f/a.fmt\r\n")
        << QStringList{"/f/A.fmt", "/f/a.fmt"};
    QTest::newRow("ampersand shown as is")
        << QByteArray("[EPC]\r\nFILENAME1=/f/R&D.fmt\r\n") << QStringList{"/f/R&&D.fmt"};
}

void tst_JobWindows::recentListFromSettings()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, captions);
    TestWindows w(ini);
    QCOMPARE(recentCaptions(), captions);
    // Tags tell the five items apart.
    QCOMPARE(fmFormat->miOpen1->data().toInt(), 1);
    QCOMPARE(fmFormat->miOpen5->data().toInt(), 5);
}

void tst_JobWindows::sixOpensKeepFiveNewestFirst()
{
    TestWindows w;
    QStringList files;
    for (int i = 1; i <= 6; ++i) {
        const QString path = w.tempPath(QStringLiteral("f%1.fmt").arg(i));
        QVERIFY(writeFile(path, QByteArray("file ") + QByteArray::number(i) + "\r\n"));
        files << path;
        w.prompt.paths.enqueue(path);
    }
    for (int i = 0; i < 6; ++i)
        fmFormat->miOpenClick();

    const PromptQuestion first = w.prompt.asked.first();
    QCOMPARE(first.kind, PromptQuestion::Open);
    QCOMPARE(first.caption, QStringLiteral("Open Format File"));
    QCOMPARE(first.filter,
             QStringLiteral("Format files (*.fmt, *.txt)|*.fmt;*.txt|All files (*.*)|*.*"));
    QVERIFY(first.folder.isEmpty());
    // Later dialogs start at the file last used.
    QCOMPARE(w.prompt.asked[1].text, files[0]);
    QCOMPARE(QDir(w.prompt.asked[1].folder), QFileInfo(files[0]).absoluteDir());

    QCOMPARE(recentCaptions(), (QStringList{files[5], files[4], files[3], files[2], files[1]}));
    QCOMPARE(fmFormat->lines(), QStringList{"file 6"});
    QCOMPARE(fmFormat->windowTitle(), QStringLiteral("Format:  ") + files[5]);
    QCOMPARE(FormatFileName, files[5]);

    // Reopen slot 3: it moves up, slots 1 and 2 move down, 4 and 5 stay.
    fmMain->FSession->FFormatChanged = false;
    w.prompt.asked.clear();
    fmFormat->miOpen3->trigger();
    QVERIFY(w.prompt.asked.isEmpty());
    QCOMPARE(recentCaptions(), (QStringList{files[3], files[5], files[4], files[2], files[1]}));
    QCOMPARE(fmFormat->lines(), QStringList{"file 4"});
    QCOMPARE(fmFormat->windowTitle(), QStringLiteral("Format:  ") + files[3]);
    QCOMPARE(FormatFileName, files[3]);
    QVERIFY(fmMain->FSession->FFormatChanged);
    QCOMPARE(RecentFiles.entries(), recentCaptions());
}

void tst_JobWindows::openDialogAsGiven()
{
    TestWindows w;
    setPrompt(nullptr); // the real dialog
    QStringList names, allFiles;
    QString typed;
    QTimer::singleShot(0, fmFormat, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        auto *list = dialog->findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
        for (int i = 0; i < list->count(); ++i)
            names << list->itemText(i);
        dialog->selectNameFilter(dialog->nameFilters().constLast());
        allFiles = dialog->findChild<QFileSystemModel *>()->nameFilters();
        dialog->selectFile(QStringLiteral("label"));
        typed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
        dialog->reject();
    });
    fmFormat->miOpenClick();
    QCOMPARE(names, (QStringList{"Format files (*.fmt, *.txt)", "All files (*.*)"}));
    QCOMPARE(allFiles, QStringList{"*"}); // also names without a dot
    QCOMPARE(typed, QStringLiteral("label.fmt"));
}

void tst_JobWindows::caseDifferentPathsAreTwoEntries()
{
    TestWindows w;
    const QString upper = w.tempPath(QStringLiteral("Label.fmt"));
    const QString lower = w.tempPath(QStringLiteral("label.fmt"));
    QVERIFY(writeFile(upper, "U\r\n"));
    QVERIFY(writeFile(lower, "L\r\n"));
    if (QFileInfo(upper).canonicalFilePath() == QFileInfo(lower).canonicalFilePath())
        QSKIP("file names on this system ignore letter case");
    w.prompt.paths << upper << lower << upper;
    fmFormat->miOpenClick();
    fmFormat->miOpenClick();
    QCOMPARE(recentCaptions(), (QStringList{lower, upper}));
    fmFormat->miOpenClick();
    QCOMPARE(recentCaptions(), (QStringList{upper, lower}));
}

void tst_JobWindows::reopenOfDeletedFileAsksOpenDialog()
{
    TestWindows w;
    const QString gone = w.tempPath(QStringLiteral("gone.fmt"));
    const QString kept = w.tempPath(QStringLiteral("kept.fmt"));
    const QString other = w.tempPath(QStringLiteral("other.fmt"));
    QVERIFY(writeFile(gone, "G\r\n"));
    QVERIFY(writeFile(kept, "K\r\n"));
    QVERIFY(writeFile(other, "O\r\n"));
    w.prompt.paths << gone << kept;
    fmFormat->miOpenClick();
    fmFormat->miOpenClick();
    QVERIFY(QFile::remove(gone));

    // Cancelled dialog: the entry is on top all the same, the text stays.
    w.prompt.asked.clear();
    fmFormat->miOpen2->trigger();
    QCOMPARE(w.prompt.asked.size(), 1);
    QCOMPARE(w.prompt.asked[0].kind, PromptQuestion::Open);
    QCOMPARE(w.prompt.asked[0].text, gone);
    QCOMPARE(QDir(w.prompt.asked[0].folder), QFileInfo(gone).absoluteDir());
    QCOMPARE(recentCaptions(), (QStringList{gone, kept}));
    QCOMPARE(fmFormat->lines(), QStringList{"K"});
    QCOMPARE(fmFormat->windowTitle(), QStringLiteral("Format:  ") + kept);

    // A file found in the dialog is loaded and listed as any open.
    w.prompt.asked.clear();
    w.prompt.paths << other;
    fmFormat->miOpen1->trigger();
    QVERIFY(w.prompt.messages().isEmpty());
    QCOMPARE(recentCaptions(), (QStringList{other, gone, kept}));
    QCOMPARE(fmFormat->lines(), QStringList{"O"});
    QCOMPARE(FormatFileName, other);
}

void tst_JobWindows::fileLineBreaks_data()
{
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("CR LF") << QByteArray("{B,1|\r\n1,\"A\"|\r\n}\r\n")
                           << QStringList{"{B,1|", "1,\"A\"|", "}"};
    QTest::newRow("LF") << QByteArray("a\nb\n") << QStringList{"a", "b"};
    QTest::newRow("no final break") << QByteArray("a\r\nb") << QStringList{"a", "b"};
    QTest::newRow("lone CR") << QByteArray("a\rb\r\n") << QStringList{"a", "b"};
    QTest::newRow("empty lines kept")
        << QByteArray("a\r\n\r\nb\r\n\r\n") << QStringList{"a", "", "b", ""};
    QTest::newRow("blanks kept") << QByteArray("  {F,1|  \r\n") << QStringList{"  {F,1|  "};
    QTest::newRow("8-bit text") << QByteArray("caf\xE9 \xA0\xFF\r\n")
                                << QStringList{QString::fromLatin1("caf\xE9 \xA0\xFF")};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
}

void tst_JobWindows::fileLineBreaks()
{
    QFETCH(QByteArray, onDisk);
    QFETCH(QStringList, lines);
    TestWindows w;
    const QString in = w.tempPath(QStringLiteral("in.fmt"));
    const QString out = w.tempPath(QStringLiteral("out.fmt"));
    QVERIFY(writeFile(in, onDisk));
    w.prompt.paths << in << out;
    fmFormat->miOpenClick();
    QVERIFY(w.prompt.messages().isEmpty());
    QCOMPARE(fmFormat->lines(), lines);

    // Saved back: the same lines, every one ended by CR LF, the same 8-bit bytes.
    fmFormat->miSaveAsClick();
    QVERIFY(w.prompt.messages().isEmpty());
    QByteArray expected;
    for (const QString &l : lines)
        expected += l.toLatin1() + "\r\n";
    QCOMPARE(readFile(out), expected);
}

void tst_JobWindows::saveKeepsChangedFlag()
{
    TestWindows w;
    const QString path = w.tempPath(QStringLiteral("saved.fmt"));
    w.prompt.paths << path;
    fmMain->FSession->FFormatChanged = false;
    fmFormat->miSaveAsClick();

    const PromptQuestion q = w.prompt.asked.value(0);
    QCOMPARE(q.kind, PromptQuestion::Save);
    QCOMPARE(q.caption, QStringLiteral("Save Format File As"));
    QCOMPARE(readFile(path), (DefaultText.join(QStringLiteral("\r\n")) + "\r\n").toLatin1());
    QCOMPARE(fmFormat->windowTitle(), QStringLiteral("Format:  ") + path);
    QCOMPARE(FormatFileName, path);
    QCOMPARE(recentCaptions(), QStringList{path});
    QVERIFY(!fmMain->FSession->FFormatChanged);

    QTest::keyClick(fmFormat->meFormat, Qt::Key_X);
    QVERIFY(fmMain->FSession->FFormatChanged);
}

void tst_JobWindows::saveToFolderNameDoesNothing_data()
{
    QTest::addColumn<QString>("separator");
    QTest::newRow("slash") << "/";
    QTest::newRow("backslash") << "\\";
}

void tst_JobWindows::saveToFolderNameDoesNothing()
{
    QFETCH(QString, separator);
    TestWindows w;
    const QStringList before =
        QDir(w.tempPath(".")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    w.prompt.paths << w.tempPath(QStringLiteral("name")) + separator;
    fmFormat->miSaveAsClick();
    QCOMPARE(QDir(w.tempPath(".")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), before);
    QVERIFY(w.prompt.messages().isEmpty());
    QCOMPARE(fmFormat->windowTitle(), QStringLiteral("Format and Batch Data"));
    QVERIFY(FormatFileName.isEmpty());
    QVERIFY(recentCaptions().isEmpty());
}

void tst_JobWindows::unreadableFileChangesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing") << "missing";
    QTest::newRow("folder") << "folder";
    QTest::newRow("too large") << "large";
    QTest::newRow("endless line") << "long line";
    QTest::newRow("endless device") << "device";
}

void tst_JobWindows::unreadableFileChangesNothing()
{
    QFETCH(QString, kind);
    TestWindows w;
    const QString earlier = w.tempPath(QStringLiteral("earlier.fmt"));
    QVERIFY(writeFile(earlier, "{B,1|\r\n}\r\n"));
    w.prompt.paths << earlier;
    fmFormat->miOpenClick();
    const QStringList text = fmFormat->lines();
    const QString caption = fmFormat->windowTitle();

    QString path = w.tempPath(QStringLiteral("bad.fmt"));
    if (kind == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == QLatin1String("large")) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QVERIFY(f.resize(TfmFormat::MaxFileSize + 1));
    } else if (kind == QLatin1String("long line")) {
        QVERIFY(writeFile(path, "{F,1|\r\n" + QByteArray(TfmFormat::MaxLineLength + 1, 'A')));
    } else if (kind == QLatin1String("device")) {
        path = QStringLiteral("/dev/zero");
        if (!QFileInfo::exists(path))
            QSKIP("no endless device on this system");
    }
    w.prompt.paths << path;
    fmFormat->miOpenClick();

    const QStringList messages = w.prompt.messages();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].startsWith(QLatin1String("File Error: ")), qPrintable(messages[0]));
    QVERIFY2(messages[0].contains(QDir::toNativeSeparators(path)), qPrintable(messages[0]));
    QCOMPARE(fmFormat->lines(), text);
    QCOMPARE(fmFormat->windowTitle(), caption);
    QCOMPARE(FormatFileName, earlier);
    QCOMPARE(recentCaptions(), QStringList{earlier});
}

void tst_JobWindows::failedSaveChangesNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("missing folder") << "folder";
    QTest::newRow("character beyond 8 bits") << "wide";
    QTest::newRow("full disk") << "full";
}

void tst_JobWindows::failedSaveChangesNothing()
{
    QFETCH(QString, kind);
    TestWindows w;
    QString path = w.tempPath(QStringLiteral("target.fmt"));
    if (kind == QLatin1String("folder")) {
        path = w.tempPath(QStringLiteral("no/such/folder/target.fmt"));
    } else {
        QVERIFY(writeFile(path, "old\r\n"));
        if (kind == QLatin1String("wide"))
            fmFormat->meFormat->setPlainText(QStringLiteral("{B,1|\n1,\"\u20AC\"|\n}"));
    }
    fmMain->FSession->FFormatChanged = false;
    w.prompt.paths << path;
    {
        std::optional<FullDisk> full;
        if (kind == QLatin1String("full"))
            QVERIFY(full.emplace().on());
        fmFormat->miSaveAsClick();
    }

    const QStringList messages = w.prompt.messages();
    QCOMPARE(messages.size(), 1);
    QVERIFY2(messages[0].startsWith(QLatin1String("File Error: ")), qPrintable(messages[0]));
    if (kind != QLatin1String("folder")) {
        if (kind == QLatin1String("wide"))
            QVERIFY2(messages[0].contains(QLatin1String("Line 2")), qPrintable(messages[0]));
        QCOMPARE(readFile(path), QByteArray("old\r\n"));
        QCOMPARE(QDir(w.tempPath(QString())).entryList({"target.fmt*"}, QDir::Files),
                 QStringList{"target.fmt"});
    } else {
        QVERIFY(!QFile::exists(path));
    }
    QCOMPARE(fmFormat->windowTitle(), QStringLiteral("Format and Batch Data"));
    QVERIFY(FormatFileName.isEmpty());
    QVERIFY(recentCaptions().isEmpty());
    QVERIFY(!fmMain->FSession->FFormatChanged);
}

void tst_JobWindows::severalMegabyteFileLoads()
{
    TestWindows w;
    const QString path = w.tempPath(QStringLiteral("big.fmt"));
    QByteArray data;
    const int count = 100000;
    data.reserve(count * 44);
    for (int i = 0; i < count; ++i)
        data += "C,45,80,0,50,13,13,O,L,0,0,\"" + QByteArray::number(i).rightJustified(8, '0') +
                "\",1|\r\n";
    QVERIFY(data.size() > 4 * 1000 * 1000);
    QVERIFY(writeFile(path, data));
    w.prompt.paths << path;
    fmFormat->miOpenClick();
    QVERIFY(w.prompt.messages().isEmpty());
    const QStringList lines = fmFormat->lines();
    QCOMPARE(lines.size(), count);
    QCOMPARE(lines.last(), QStringLiteral("C,45,80,0,50,13,13,O,L,0,0,\"00099999\",1|"));
}

void tst_JobWindows::editorPlacement_data()
{
    QTest::addColumn<QPoint>("mainAt");
    QTest::addColumn<QPoint>("editorAt");
    QTest::newRow("below and left") << QPoint(100, 100) << QPoint(75, 125);
    QTest::newRow("at the corner") << QPoint(20, -30) << QPoint(2, 2);
    QTest::newRow("sum exactly zero") << QPoint(25, -25) << QPoint(2, 2);
}

void tst_JobWindows::editorPlacement()
{
    QFETCH(QPoint, mainAt);
    QFETCH(QPoint, editorAt);
    TestWindows w;
    fmMain->show();
    fmMain->move(mainAt);
    QCOMPARE(fmMain->pos(), mainAt);
    fmFormat->show();
    QCOMPARE(fmFormat->pos(), editorAt);
    fmFormat->hide();
    fmMain->hide();
}

void tst_JobWindows::editorHelpReturnAndHints()
{
    TestWindows w;
    fmFormat->miHelp->trigger();
    QCOMPARE(w.help.requests.size(), 1);
    QCOMPARE(w.help.requests[0].file, QStringLiteral("Quilbo_HELP.HLP"));
    QCOMPARE(w.help.requests[0].context, 5);

    fmMain->miShowHints->setChecked(false);
    fmMain->miViewFileClick();
    QVERIFY(fmFormat->isVisible());
    QVERIFY(!ShowHint(fmFormat));
    fmFormat->meFormat->setPlainText(QStringLiteral("kept"));
    fmFormat->miReturn->trigger();
    QVERIFY(!fmFormat->isVisible());
    fmMain->miShowHints->setChecked(true);
    fmMain->miViewFileClick();
    QVERIFY(ShowHint(fmFormat));
    QCOMPARE(fmFormat->lines(), QStringList{"kept"});
    fmFormat->hide();
}

// ---- Human-readable field -------------------------------------------------------------------

void tst_JobWindows::hrDialogThroughMenu_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("xField");
    QTest::addColumn<int>("hrLine");

    QTest::newRow("default text") << DefaultText.join(QLatin1Char('\n')) << "1" << 0;
    QTest::newRow("with field 2 line") << textWithField2() << "1" << 2;
    QTest::newRow("no X line") << QStringLiteral("{F,1|\nT,2|\n}\n{B,1|\n2,\"a\"|\n}") << "None"
                               << 1;
}

void tst_JobWindows::hrDialogThroughMenu()
{
    QFETCH(QString, text);
    QFETCH(QString, xField);
    QFETCH(int, hrLine);
    TestWindows w;
    fmFormat->meFormat->setPlainText(text);
    fmMain->miShowHints->setChecked(false);

    QString seenX, seenHR;
    bool seenChecked = true, seenHints = true;
    ModalAnswerer answer(fmEPCField, [&] {
        seenX = fmEPCField->laXField->text();
        seenHR = fmEPCField->edHRField->text();
        seenChecked = fmEPCField->ckUseHR->isChecked();
        seenHints = ShowHint(fmEPCField);
        fmEPCField->edHRField->setText(QStringLiteral("2"));
        fmEPCField->ckUseHR->setChecked(true);
        fmEPCField->bbOK->click();
    });
    fmMain->miSetEPCFieldClick();
    QCOMPARE(answer.shown, 1);
    QVERIFY(answer.unexpected.isEmpty());
    QCOMPARE(seenX, xField);
    QCOMPARE(seenHR, QStringLiteral("0"));
    QVERIFY(!seenChecked);
    QVERIFY(!seenHints);
    QCOMPARE(fmMain->FSession->FHRField, 2);
    QVERIFY(fmMain->FSession->FHREnabled);
    QVERIFY(fmMain->FSession->FHRChanged);
    // The split after the dialog follows the new field.
    QCOMPARE(fmMain->FSession->FHRLine, hrLine);
    QVERIFY(!fmEPCField->isVisible());
}

void tst_JobWindows::hrDialogCancelChangesNothing()
{
    TestWindows w;
    fmMain->FSession->FHRField = 4;
    fmMain->FSession->FHREnabled = true;
    QString seenHR;
    bool seenChecked = false;
    ModalAnswerer answer(fmEPCField, [&] {
        seenHR = fmEPCField->edHRField->text();
        seenChecked = fmEPCField->ckUseHR->isChecked();
        fmEPCField->edHRField->setText(QStringLiteral("7"));
        fmEPCField->ckUseHR->setChecked(false);
        fmEPCField->bbCancel->click();
    });
    fmMain->miSetEPCFieldClick();
    QCOMPARE(answer.shown, 1);
    QCOMPARE(seenHR, QStringLiteral("4"));
    QVERIFY(seenChecked);
    QCOMPARE(fmMain->FSession->FHRField, 4);
    QVERIFY(fmMain->FSession->FHREnabled);
    QVERIFY(!fmMain->FSession->FHRChanged);
}

void tst_JobWindows::hrDialogFieldNumber_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("field");

    QTest::newRow("number") << "12" << true << 12;
    QTest::newRow("blanks around") << " 3 " << true << 3;
    QTest::newRow("letters") << "abc" << false << 5;
    QTest::newRow("empty") << "" << false << 5;
    QTest::newRow("digit then letter") << "2x" << false << 5;
    QTest::newRow("decimal point") << "2.5" << false << 5;
    QTest::newRow("too large") << "99999999999" << false << 5;
}

void tst_JobWindows::hrDialogFieldNumber()
{
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(int, field);
    TestWindows w;
    fmMain->FSession->FHRField = 5;
    fmEPCField->show();
    fmEPCField->edHRField->setText(typed);
    fmEPCField->ckUseHR->setChecked(true);
    fmEPCField->bbOK->click();

    QCOMPARE(fmMain->FSession->FHRField, field);
    QCOMPARE(fmMain->FSession->FHREnabled, accepted);
    QCOMPARE(fmMain->FSession->FHRChanged, accepted);
    QCOMPARE(fmEPCField->isVisible(), !accepted);
    QCOMPARE(w.prompt.messages().size(), accepted ? 0 : 1);
    if (!accepted) {
        QVERIFY2(w.prompt.messages()[0].contains(QStringLiteral("'%1'").arg(typed)),
                 qPrintable(w.prompt.messages()[0]));
        QCOMPARE(fmEPCField->result(), int(ModalResult::None));
        fmEPCField->bbCancel->click();
    } else {
        QCOMPARE(fmEPCField->result(), int(ModalResult::OK));
    }
    QVERIFY(!fmEPCField->isVisible());
}

void tst_JobWindows::hrDialogHelp()
{
    TestWindows w;
    SetHelpFile(QStringLiteral("Other.HLP"));
    fmEPCField->show();
    QVERIFY(QTest::qWaitForWindowActive(fmEPCField));

    fmEPCField->bbHelp->click();
    QTest::keyClick(fmEPCField, Qt::Key_F1);
    // The title bar's help button puts the application into what's-this mode.
    QWhatsThis::enterWhatsThisMode();
    QVERIFY(!QWhatsThis::inWhatsThisMode());

    QCOMPARE(w.help.requests.size(), 3);
    for (const FakeHelp::Request &r : w.help.requests) {
        QCOMPARE(r.file, QStringLiteral("Quilbo_HELP.HLP"));
        QCOMPARE(r.context, 9);
    }
    fmEPCField->bbCancel->click();
    // Hidden, it leaves what's-this mode to whoever asked for it.
    QWhatsThis::enterWhatsThisMode();
    QCOMPARE(w.help.requests.size(), 3);
    QWhatsThis::leaveWhatsThisMode();
}

void tst_JobWindows::hrErrorAnswers_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<bool>("enabledAfter");
    QTest::addColumn<bool>("asksAgain");

    QTest::newRow("Ignore") << "bnIgnore" << true << true << true;
    QTest::newRow("Disable") << "bnDisable" << true << false << false;
    QTest::newRow("Cancel") << "bnCancel" << false << true << true;
}

void tst_JobWindows::hrErrorAnswers()
{
    QFETCH(QString, button);
    QFETCH(bool, sent);
    QFETCH(bool, enabledAfter);
    QFETCH(bool, asksAgain);
    TestWindows w;
    routeToMissingPort(w);
    fmMain->FSession->FHRField = 2;
    fmMain->FSession->FHREnabled = true;
    fmMain->FSession->FHRChanged = true;
    fmMain->FSession->FBatchQty = 1;

    QString seenField;
    ModalAnswerer answer(fmHRError, [&] {
        seenField = fmHRError->laHRFieldVal->text();
        fmHRError->findChild<QPushButton *>(button)->click();
    });
    fmMain->sbSendBatchClick();
    QCOMPARE(answer.shown, 1);
    QCOMPARE(seenField, QStringLiteral("2"));
    QCOMPARE(fmMain->FHRAbort, !sent);
    QCOMPARE(fmMain->FSession->FHREnabled, enabledAfter);
    QCOMPARE(fmMain->medEPC->text(), sent ? QStringLiteral("0123456789ABCDEF00000001") : StartTag);
    for (const QString &line : fmMain->FSession->FBatchLines)
        QVERIFY2(!line.startsWith(QLatin1String("2,")), qPrintable(line));

    fmMain->sbSendBatchClick();
    QCOMPARE(answer.shown, asksAgain ? 2 : 1);
    QVERIFY(answer.unexpected.isEmpty());
}

void tst_JobWindows::hrErrorTitleBarCloseKeepsAbort()
{
    TestWindows w;
    for (const bool abort : {false, true}) {
        fmMain->FHRAbort = abort;
        fmMain->FSession->FHREnabled = true;
        ModalAnswerer answer(fmHRError, [] { fmHRError->close(); });
        fmHRError->exec();
        QCOMPARE(answer.shown, 1);
        QCOMPARE(fmMain->FHRAbort, abort);
        QVERIFY(fmMain->FSession->FHREnabled);
    }
}

void tst_JobWindows::hrLineFilledWhenBatchHasField()
{
    TestWindows w;
    routeToMissingPort(w);
    fmFormat->meFormat->setPlainText(textWithField2());
    fmMain->FSession->FHRField = 2;
    fmMain->FSession->FHREnabled = true;
    fmMain->FSession->FHRChanged = true;
    ModalAnswerer answer(fmHRError, [] { fmHRError->bnCancel->click(); });
    fmMain->sbSendBatchClick();
    QCOMPARE(answer.shown, 0);
    QVERIFY(fmMain->FSession->FBatchLines.contains(QStringLiteral("2,\"%1\"|").arg(StartTag)));
}

void tst_JobWindows::hrWarningByQuantity_data()
{
    QTest::addColumn<int>("quantity");
    QTest::addColumn<bool>("hrOn");
    QTest::addColumn<bool>("goOn");
    QTest::addColumn<int>("warnings"); // over two batches
    QTest::addColumn<QString>("tagAfter");

    QTest::newRow("one label") << 1 << true << true << 0 << "0123456789ABCDEF00000002";
    QTest::newRow("two labels, OK") << 2 << true << true << 2 << "0123456789ABCDEF00000004";
    QTest::newRow("two labels, Cancel") << 2 << true << false << 2 << StartTag;
    QTest::newRow("two labels, HR off") << 2 << false << true << 0 << "0123456789ABCDEF00000004";
}

void tst_JobWindows::hrWarningByQuantity()
{
    QFETCH(int, quantity);
    QFETCH(bool, hrOn);
    QFETCH(bool, goOn);
    QFETCH(int, warnings);
    QFETCH(QString, tagAfter);
    TestWindows w;
    routeToMissingPort(w);
    fmFormat->meFormat->setPlainText(textWithField2());
    fmMain->FSession->FHRField = 2;
    fmMain->FSession->FHREnabled = hrOn;
    fmMain->FSession->FHRChanged = true;
    fmMain->FSession->FBatchQty = quantity;

    ModalAnswerer answer(fmWarnIncHR,
                         [goOn] { (goOn ? fmWarnIncHR->bbOK : fmWarnIncHR->bbCancel)->click(); });
    fmMain->sbSendBatchClick();
    fmMain->sbSendBatchClick();
    QCOMPARE(answer.shown, warnings);
    QVERIFY(answer.unexpected.isEmpty());
    QCOMPARE(fmMain->medEPC->text(), tagAfter);
}

void tst_JobWindows::hrWarningHelpOpensContents()
{
    TestWindows w;
    SetHelpFile(QStringLiteral("Other.HLP"));
    fmMain->FSession->FBatchQty = 2;
    fmMain->FSession->FHREnabled = true;
    fmMain->FSession->FHRChanged = true;
    ModalAnswerer answer(fmWarnIncHR, [] {
        fmWarnIncHR->bbHelp->click();
        fmWarnIncHR->reject(); // title bar close
    });
    QVERIFY(!fmMain->ConfirmHRQuantity());
    QCOMPARE(answer.shown, 1);
    QCOMPARE(w.help.requests.size(), 1);
    QCOMPARE(w.help.requests[0].file, QStringLiteral("Other.HLP"));
    QCOMPARE(w.help.requests[0].context, int(HelpContentsPage));
}

// ---- Batch quantity -------------------------------------------------------------------------

void tst_JobWindows::quantityThroughMenu()
{
    TestWindows w;
    int value = 3;
    bool ok = true;
    ModalAnswerer answer(fmQty, [&] {
        fmQty->udQuantity->setValue(value);
        (ok ? fmQty->bbOk : fmQty->bbCancel)->click();
    });
    fmMain->miBatchQtyClick();
    QCOMPARE(fmMain->FSession->FBatchQty, 3);
    QCOMPARE(fmMain->miBatchQty->text(), QStringLiteral("Batch Quantity   3"));

    value = 7;
    ok = false;
    fmMain->miBatchQtyClick();
    QCOMPARE(answer.shown, 2);
    QCOMPARE(fmMain->FSession->FBatchQty, 3);
    QCOMPARE(fmMain->miBatchQty->text(), QStringLiteral("Batch Quantity   3"));
}

void tst_JobWindows::quantityTypedText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("stored");

    QTest::newRow("number") << "42" << 42;
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("largest") << "100" << 100;
    QTest::newRow("over the top") << "150" << 15;
    QTest::newRow("letters") << "ab" << 6;
    QTest::newRow("minus") << "-3" << 3;
}

void tst_JobWindows::quantityTypedText()
{
    QFETCH(QString, typed);
    QFETCH(int, stored);
    TestWindows w;
    fmMain->FSession->FBatchQty = 6;
    fmQty->show();
    fmQty->udQuantity->selectAll();
    QTest::keyClicks(fmQty->edQuantity, typed);
    fmQty->bbOk->click();
    QCOMPARE(fmMain->FSession->FBatchQty, stored);
    QVERIFY(!fmQty->isVisible());
}

void tst_JobWindows::quantityShownClamped_data()
{
    QTest::addColumn<int>("batchQty");
    QTest::addColumn<int>("shown");
    QTest::newRow("in range") << 17 << 17;
    QTest::newRow("above") << 250 << 100;
    QTest::newRow("far above") << 65537 << 100;
    QTest::newRow("below") << -4 << 0;
}

void tst_JobWindows::quantityShownClamped()
{
    QFETCH(int, batchQty);
    QFETCH(int, shown);
    TestWindows w;
    fmMain->FSession->FBatchQty = batchQty;
    fmQty->show();
    QCOMPARE(fmQty->udQuantity->value(), shown);
    QCOMPARE(fmQty->edQuantity->text(), QString::number(shown));
    fmQty->bbCancel->click();
    QCOMPARE(fmMain->FSession->FBatchQty, batchQty);
}

QTEST_MAIN(tst_JobWindows)
#include "tst_jobwindows.moc"
