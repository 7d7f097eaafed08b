// About box and help viewer.
#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTextBrowser>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "TestWindows.h"
#include "app/Windows.h"
#include "widgets/Help.h"
#include "widgets/HelpViewer.h"
#include "widgets/TfmAbout.h"
#include "widgets/TfmMain.h"
#include "widgets/VersionInfo.h"

namespace
{
// translations: "0409:04e4,..."; strings: "Name=value" filed under block.
std::optional<VersionRecord> makeRecord(bool present, const QString &translations,
                                        const QString &block, const QStringList &strings)
{
    if (!present)
        return std::nullopt;
    VersionRecord r;
    for (const QString &t : translations.split(QLatin1Char(','), Qt::SkipEmptyParts))
        r.addTranslation(t.section(QLatin1Char(':'), 0, 0).toUShort(nullptr, 16),
                         t.section(QLatin1Char(':'), 1, 1).toUShort(nullptr, 16));
    for (const QString &s : strings)
        r.setString(block, s.section(QLatin1Char('='), 0, 0), s.section(QLatin1Char('='), 1));
    return r;
}

const QStringList FullStrings{"ProductName=Widget",   "FileDescription=A test build",
                              "InternalName=TB-7",    "Comments=Release",
                              "ProductVersion=2.3.4", "LegalCopyright=(C) Nobody"};

QStringList without(const QString &name, const QString &replacement = QString())
{
    QStringList out;
    for (const QString &s : FullStrings) {
        if (!s.startsWith(name + QLatin1Char('=')))
            out << s;
        else if (!replacement.isNull())
            out << replacement;
    }
    return out;
}

QUrl helpPage(const char *name)
{
    return QUrl(QStringLiteral("qrc:/help/") + QLatin1String(name));
}

// Answers the next modal window from inside its event loop; gives up after two seconds so that a
// missing window fails the test instead of hanging it.
void whenModal(std::function<void(QWidget *)> answer)
{
    auto *poll = new QTimer;
    auto *tries = new int(0);
    QObject::connect(poll, &QTimer::timeout, [poll, tries, answer] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal && ++*tries < 200)
            return;
        poll->stop();
        poll->deleteLater();
        delete tries;
        if (modal)
            answer(modal);
    });
    poll->start(10);
}

// A dialog that asks for help from its show handler, as the initialization dialog does.
class AsksOnShow : public QDialog
{
protected:
    void showEvent(QShowEvent *e) override
    {
        SetHelpFile(QStringLiteral("Quilbo_HELP.hlp"));
        HelpContext(4);
        QDialog::showEvent(e);
    }
};
} // namespace

class TestAbout : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void versionLines_data();
    void versionLines();
    void builtInRecord();
    void recordReadOnEveryShowing();
    void boxShowsOwnersIcon();
    void helpPages_data();
    void helpPages();
    void viewerIsOneReusedWindow();
    void linksLeadToPages();
    void mainWindowTriggers();
    void helpStaysUsableFromModalDialog();
};

void TestAbout::cleanup()
{
    setVersionRecordProvider({});
    setHelpSink(nullptr);
    SetHelpFile(QString());
    if (HelpViewer *v = HelpViewer::existing())
        v->close();
}

void TestAbout::versionLines_data()
{
    QTest::addColumn<bool>("present");
    QTest::addColumn<QString>("translations");
    QTest::addColumn<QString>("block");
    QTest::addColumn<QStringList>("strings");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("text");

    const QString full = "Product Name:   Widget\n"
                         "    A test build\n"
                         "    Part Number:   TB-7\n"
                         "\n"
                         "Release:   2.3.4\n"
                         "Copyright:   (C) Nobody\n";
    QTest::newRow("full record") << true << "0409:04e4"
                                 << "040904e4" << FullStrings << "Widget" << full;
    QTest::newRow("string table filed in upper case")
        << true << "0409:04e4"
        << "040904E4" << FullStrings << "Widget" << full;
    QString noComments = full;
    noComments.replace("Release:", ":");
    QTest::newRow("empty comments")
        << true << "0409:04e4"
        << "040904e4" << without("Comments", "Comments=") << "Widget" << noComments;
    QTest::newRow("missing comments")
        << true << "0409:04e4"
        << "040904e4" << without("Comments") << "Widget" << noComments;
    QTest::newRow("no product name") << true << "0409:04e4"
                                     << "040904e4" << without("ProductName", "ProductName=")
                                     << "About" << QString(full).remove("Product Name:   Widget\n");
    QTest::newRow("no part number: no empty line either")
        << true << "0409:04e4"
        << "040904e4" << without("InternalName") << "Widget"
        << QString(full).remove("    Part Number:   TB-7\n\n");
    QTest::newRow("no version: comments alone add nothing")
        << true << "0409:04e4"
        << "040904e4" << without("ProductVersion") << "Widget"
        << QString(full).remove("Release:   2.3.4\n");
    QTest::newRow("first translation decides") << true << "0407:04b0,0409:04e4"
                                               << "040704b0" << FullStrings << "Widget" << full;
    QTest::newRow("no record") << false << ""
                               << "" << QStringList() << "About"
                               << "No version information available.";
    QTest::newRow("no translation") << true << ""
                                    << "040904e4" << FullStrings << "About"
                                    << "No version information available.";
}

void TestAbout::versionLines()
{
    QFETCH(bool, present);
    QFETCH(QString, translations);
    QFETCH(QString, block);
    QFETCH(QStringList, strings);
    QFETCH(QString, caption);
    QFETCH(QString, text);

    setVersionRecordProvider([&] { return makeRecord(present, translations, block, strings); });
    TfmAbout box;
    QCOMPARE(box.windowTitle(), caption);
    QCOMPARE(box.reVersionInfo->toPlainText(), text);
}

void TestAbout::builtInRecord()
{
    const std::optional<VersionRecord> r = ReadVersionRecord();
    QVERIFY(r);
    QCOMPARE(r->translations().size(), 1);
    QCOMPARE(TranslationBlock(r->translations().first()), QStringLiteral("040904e4"));

    TfmAbout box;
    QCOMPARE(box.windowTitle(), QStringLiteral("Quilbo"));
    const QStringList lines = box.reVersionInfo->toPlainText().split('\n');
    QCOMPARE(lines.value(0), QStringLiteral("Product Name:   Quilbo"));
    QVERIFY(lines.value(1).startsWith("    ") && lines.value(1).size() > 4);
    QVERIFY(lines.value(2).startsWith("    Part Number:   "));
    QCOMPARE(lines.value(3), QString());
    // The version comes from the build, not from a copy in the source.
    QCOMPARE(lines.value(4), QStringLiteral("Version:   " QUILBO_PROJECT_VERSION));
    QVERIFY(lines.value(5).startsWith("Copyright:   "));
}

void TestAbout::recordReadOnEveryShowing()
{
    TestWindows w;
    int reads = 0;
    QString product = QStringLiteral("First");
    setVersionRecordProvider([&] {
        ++reads;
        return makeRecord(true, "0409:04e4", "040904e4", {"ProductName=" + product});
    });

    QStringList captions;
    for (const char *next : {"Second", "Third"}) {
        whenModal([&](QWidget *modal) {
            auto *box = qobject_cast<TfmAbout *>(modal);
            captions << (box ? box->windowTitle() : QStringLiteral("not the About box"));
            if (box)
                box->btnOK->click();
            else
                modal->close();
        });
        fmMain->miAboutClick();
        product = QLatin1String(next);
    }
    QCOMPARE(reads, 2);
    QCOMPARE(captions, QStringList({"First", "Second"}));
    QVERIFY(fmMain->findChildren<TfmAbout *>().isEmpty());
}

void TestAbout::boxShowsOwnersIcon()
{
    TestWindows w;
    TfmAbout box(fmMain);
    QVERIFY(box.imIcon->pixmap().isNull());
    box.show();
    QVERIFY(!box.imIcon->pixmap().isNull());
    QCOMPARE(box.imIcon->pixmap().size(), QSize(32, 32));
    QVERIFY(!box.imImage->pixmap().isNull());
    QCOMPARE(box.size(), QSize(267, 316));
    QCOMPARE(box.reVersionInfo->focusPolicy(), Qt::NoFocus);
    QVERIFY(box.reVersionInfo->isReadOnly());
}

void TestAbout::helpPages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("context");
    QTest::addColumn<QUrl>("page");
    QTest::addColumn<bool>("noted");

    const QString ours = QString::fromLatin1(HelpFileName);
    QTest::newRow("contents") << ours << HelpContentsPage << helpPage("index.html") << false;
    QTest::newRow("4 initialization") << ours << 4 << helpPage("initialize.html") << false;
    QTest::newRow("5 main window") << ours << 5 << helpPage("main-window.html") << false;
    QTest::newRow("7 comm settings") << ours << 7 << helpPage("comm-settings.html") << false;
    QTest::newRow("8 network") << ours << 8 << helpPage("network.html") << false;
    QTest::newRow("9 human-readable") << ours << 9 << helpPage("human-readable.html") << false;
    QTest::newRow("10 GS1 EPC") << ours << 10 << helpPage("gs1epc.html") << false;

    QTest::newRow("lower-case extension")
        << "Quilbo_HELP.hlp" << HelpContentsPage << helpPage("index.html") << false;
    QTest::newRow("all lower case")
        << "quilbo_help.hlp" << 5 << helpPage("main-window.html") << false;
    QTest::newRow("all upper case")
        << "QUILBO_HELP.HLP" << 9 << helpPage("human-readable.html") << false;
    QTest::newRow("with a Windows path")
        << "C:\\Quilbo\\Quilbo_HELP.HLP" << 7 << helpPage("comm-settings.html") << false;
    QTest::newRow("with a path") << "/opt/quilbo/quilbo_help.HLP" << 8 << helpPage("network.html")
                                 << false;

    QTest::newRow("context without a page") << ours << 6 << helpPage("index.html") << true;
    QTest::newRow("context 0") << ours << 0 << helpPage("index.html") << true;
    QTest::newRow("negative context") << ours << -7 << helpPage("index.html") << true;
    QTest::newRow("huge context") << ours << INT_MAX << helpPage("index.html") << true;
    QTest::newRow("another file") << "other.hlp" << 5 << helpPage("index.html") << true;
    QTest::newRow("name with a suffix")
        << "Quilbo_HELP.HLP.bak" << 5 << helpPage("index.html") << true;
    QTest::newRow("no name set") << "" << 5 << helpPage("index.html") << true;
    QTest::newRow("markup in the name")
        << "<b>x</b>.hlp" << HelpContentsPage << helpPage("index.html") << true;
}

void TestAbout::helpPages()
{
    QFETCH(QString, file);
    QFETCH(int, context);
    QFETCH(QUrl, page);
    QFETCH(bool, noted);

    SetHelpFile(file);
    if (context == HelpContentsPage)
        HelpContents();
    else
        HelpContext(context);

    HelpViewer *v = HelpViewer::existing();
    QVERIFY(v);
    QVERIFY(v->isVisible());
    QCOMPARE(v->objectName(), QStringLiteral("fmHelp"));
    QCOMPARE(v->currentPage(), page);
    // The page is really there and written for this window, not an empty placeholder.
    QVERIFY(!v->tbHelp->documentTitle().isEmpty());
    QVERIFY(v->tbHelp->toPlainText().size() > 400);
    QCOMPARE(!v->note().isEmpty(), noted);
    if (noted && !file.isEmpty() && context == HelpContentsPage)
        QVERIFY(v->laNote->text().contains(file)); // shown as text, not as markup
}

void TestAbout::viewerIsOneReusedWindow()
{
    SetHelpFile(QString::fromLatin1(HelpFileName));
    HelpContext(5);
    QPointer<HelpViewer> first = HelpViewer::existing();
    QVERIFY(first);
    first->close();
    QVERIFY(!first->isVisible());

    HelpContext(8);
    QCOMPARE(HelpViewer::existing(), first.data());
    QVERIFY(first->isVisible());
    QCOMPARE(first->currentPage(), helpPage("network.html"));

    QTest::mouseClick(first->bnContents, Qt::LeftButton);
    QCOMPARE(first->currentPage(), helpPage("index.html"));
    QVERIFY(first->bnBack->isEnabled());
    QTest::mouseClick(first->bnBack, Qt::LeftButton);
    QCOMPARE(first->currentPage(), helpPage("network.html"));
}

void TestAbout::linksLeadToPages()
{
    HelpViewer::instance(); // makes the pages available
    const QStringList pages = QDir(QStringLiteral(":/help")).entryList({"*.html"});
    QVERIFY(pages.size() >= 6);
    static const QRegularExpression href(QStringLiteral("href=\"([^\"#]*)(?:#([^\"]*))?\""));
    for (const QString &name : pages) {
        QFile f(QStringLiteral(":/help/") + name);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(f.readAll());
        for (auto m = href.globalMatch(html); m.hasNext();) {
            const auto link = m.next();
            const QString target = link.captured(1).isEmpty() ? name : link.captured(1);
            QFile t(QStringLiteral(":/help/") + target);
            QVERIFY2(t.open(QIODevice::ReadOnly), qPrintable(name + " links to " + target));
            if (!link.captured(2).isEmpty()) {
                const QString anchor = QStringLiteral("name=\"%1\"").arg(link.captured(2));
                QVERIFY2(QString::fromUtf8(t.readAll()).contains(anchor),
                         qPrintable(name + " links to " + link.captured(0)));
            }
        }
    }
}

void TestAbout::mainWindowTriggers()
{
    TestWindows w;
    setHelpSink(nullptr); // the real viewer, not the recorder
    SetHelpFile(QString::fromLatin1(HelpFileName));

    fmMain->miHelpClick();
    QCOMPARE(HelpViewer::existing()->currentPage(), helpPage("index.html"));

    // "&Help" names no file: the one named last, by any window, still serves.
    SetHelpFile(QStringLiteral("Quilbo_HELP.hlp"));
    HelpContext(9);
    fmMain->miHelp->trigger();
    QCOMPARE(HelpFile(), QStringLiteral("Quilbo_HELP.hlp"));
    QCOMPARE(HelpViewer::existing()->currentPage(), helpPage("index.html"));
    QVERIFY(HelpViewer::existing()->note().isEmpty());

    HelpViewer::existing()->close();
    fmMain->show();
    fmMain->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(fmMain));
    QTest::keyClick(fmMain, Qt::Key_F1);
    QCOMPARE(HelpViewer::existing()->currentPage(), helpPage("main-window.html"));
    QVERIFY(HelpViewer::existing()->isVisible());
}

void TestAbout::helpStaysUsableFromModalDialog()
{
    SetHelpFile(QString::fromLatin1(HelpFileName));
    HelpContents();
    QPointer<HelpViewer> viewer = HelpViewer::existing();
    {
        AsksOnShow dialog;
        dialog.setModal(true);
        dialog.show();
        // A modal dialog blocks every window that is not its own.
        QTRY_COMPARE(viewer->parentWidget(), static_cast<QWidget *>(&dialog));
        QVERIFY(viewer->isWindow());
        QVERIFY(viewer->isVisible());
        QCOMPARE(viewer->currentPage(), helpPage("initialize.html"));
        dialog.close();
        QCOMPARE(viewer->parentWidget(), nullptr);
        QVERIFY(viewer->isVisible());
        dialog.show();
        HelpContext(4);
        QTRY_COMPARE(viewer->parentWidget(), static_cast<QWidget *>(&dialog));
    }
    // The dialog went; its help stays.
    QVERIFY(viewer);
    QCOMPARE(HelpViewer::existing(), viewer.data());
    QCOMPARE(viewer->parentWidget(), nullptr);
    QVERIFY(viewer->isVisible());
}

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
