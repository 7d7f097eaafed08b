#include "widgets/HelpViewer.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

#include "widgets/Help.h"

// Resources in a static library are only linked in when asked for by name.
static void InitHelpResources()
{
    Q_INIT_RESOURCE(help);
}

namespace
{
QPointer<HelpViewer> g_viewer;

struct Page {
    int context;
    const char *path;
};

constexpr Page Pages[] = {
    {4, "initialize.html"},     // printer initialization at start-up
    {5, "main-window.html"},    // main window and format editor
    {7, "comm-settings.html"},  // communication settings
    {8, "network.html"},        // network window
    {9, "human-readable.html"}, // human-readable field
    {10, "gs1epc.html"},        // GS1 EPC meaning line and dialog
};

QUrl helpUrl(const char *path)
{
    return QUrl(QStringLiteral("qrc:/help/") + QLatin1String(path));
}

void destroyViewer()
{
    delete g_viewer.data();
}

class ViewerSink : public HelpSink
{
public:
    void showHelp(const QString &helpFile, int context) override
    {
        // Only a widget application can show a window.
        if (qobject_cast<QApplication *>(QCoreApplication::instance()))
            HelpViewer::instance()->showHelp(helpFile, context);
    }
};
} // namespace

HelpSink &HelpViewerSink()
{
    static ViewerSink sink;
    return sink;
}

HelpViewer *HelpViewer::instance()
{
    if (!g_viewer) {
        g_viewer = new HelpViewer;
        static bool hooked = false;
        if (!hooked) {
            hooked = true;
            QObject::connect(qApp, &QCoreApplication::aboutToQuit, &destroyViewer);
        }
    }
    return g_viewer;
}

HelpViewer *HelpViewer::existing()
{
    return g_viewer;
}

HelpViewer::HelpViewer() : QWidget(nullptr, Qt::Window)
{
    static const bool resources = (InitHelpResources(), true);
    Q_UNUSED(resources);

    setObjectName(QStringLiteral("fmHelp"));
    setWindowTitle(QStringLiteral("Quilbo Help"));
    // An open help window must not keep the program running once the main window is closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(640, 520);

    bnContents = new QPushButton(QStringLiteral("&Contents"), this);
    bnContents->setObjectName(QStringLiteral("bnContents"));
    bnBack = new QPushButton(QStringLiteral("&Back"), this);
    bnBack->setObjectName(QStringLiteral("bnBack"));
    bnBack->setEnabled(false);
    bnForward = new QPushButton(QStringLiteral("&Forward"), this);
    bnForward->setObjectName(QStringLiteral("bnForward"));
    bnForward->setEnabled(false);
    bnClose = new QPushButton(QStringLiteral("Close"), this);
    bnClose->setObjectName(QStringLiteral("bnClose"));

    laNote = new QLabel(this);
    laNote->setObjectName(QStringLiteral("laNote"));
    laNote->setTextFormat(Qt::PlainText); // it may quote a file name given by anyone
    laNote->setWordWrap(true);
    laNote->setFrameShape(QFrame::StyledPanel);
    laNote->setMargin(4);
    laNote->hide();

    tbHelp = new QTextBrowser(this);
    tbHelp->setObjectName(QStringLiteral("tbHelp"));
    tbHelp->setOpenExternalLinks(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(bnContents);
    buttons->addWidget(bnBack);
    buttons->addWidget(bnForward);
    buttons->addStretch();
    buttons->addWidget(bnClose);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(laNote);
    layout->addWidget(tbHelp, 1);

    connect(bnContents, &QPushButton::clicked, this, [this] { tbHelp->setSource(contentsPage()); });
    connect(bnBack, &QPushButton::clicked, tbHelp, &QTextBrowser::backward);
    connect(bnForward, &QPushButton::clicked, tbHelp, &QTextBrowser::forward);
    connect(bnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(tbHelp, &QTextBrowser::backwardAvailable, bnBack, &QWidget::setEnabled);
    connect(tbHelp, &QTextBrowser::forwardAvailable, bnForward, &QWidget::setEnabled);
    connect(tbHelp, &QTextBrowser::sourceChanged, this, [this](const QUrl &url) {
        if (url != m_noteFor)
            laNote->hide();
    });
    connect(tbHelp, &QTextBrowser::historyChanged, this, [this] {
        const QString title = tbHelp->documentTitle();
        setWindowTitle(title.isEmpty() ? QStringLiteral("Quilbo Help")
                                       : QStringLiteral("Quilbo Help - ") + title);
    });
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

QUrl HelpViewer::contentsPage()
{
    return helpUrl("index.html");
}

QUrl HelpViewer::pageFor(int context)
{
    if (context == HelpContentsPage)
        return contentsPage();
    for (const Page &p : Pages) {
        if (p.context == context)
            return helpUrl(p.path);
    }
    return QUrl();
}

bool HelpViewer::isOurHelpFile(const QString &name)
{
    // A request may carry a path; only the file's own name counts.
    const qsizetype cut =
        qMax(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    return name.mid(cut + 1).compare(QLatin1String(HelpFileName), Qt::CaseInsensitive) == 0;
}

void HelpViewer::showHelp(const QString &helpFile, int context)
{
    QUrl page = contentsPage();
    QString note;
    if (!isOurHelpFile(helpFile)) {
        note = helpFile.isEmpty()
                   ? QStringLiteral("No help file was named; showing the contents.")
                   : QStringLiteral("The help file \"%1\" is not this program's; showing the "
                                    "contents of its own help.")
                         .arg(helpFile.left(120));
    } else if (pageFor(context).isEmpty()) {
        note = QStringLiteral("There is no help page for topic %1; showing the contents.")
                   .arg(context);
    } else {
        page = pageFor(context);
    }
    m_noteFor = note.isEmpty() ? QUrl() : page;
    setNote(note);
    tbHelp->setSource(page);

    followModal();
    show();
    raise();
    activateWindow();
    // A dialog asking from its show handler is not yet modal; look again once it is.
    QTimer::singleShot(0, this, [this] { followModal(); });
}

QUrl HelpViewer::currentPage() const
{
    return tbHelp->source();
}

QString HelpViewer::note() const
{
    return laNote->isHidden() ? QString() : laNote->text();
}

void HelpViewer::setNote(const QString &text)
{
    laNote->setText(text);
    laNote->setVisible(!text.isEmpty());
}

// A modal dialog blocks every window but its own; the help it asked for must stay usable, so the
// window goes with the dialog while it is open.
void HelpViewer::followModal()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == this || parentWidget() == modal)
        return;
    moveTo(modal);
}

void HelpViewer::moveTo(QWidget *owner)
{
    if (parentWidget())
        parentWidget()->removeEventFilter(this);
    const bool visible = isVisible();
    const QRect frame = geometry();
    setParent(owner, windowFlags());
    setGeometry(frame);
    if (owner)
        owner->installEventFilter(this);
    if (visible)
        show();
}

bool HelpViewer::eventFilter(QObject *watched, QEvent *event)
{
    // Once the dialog closes (or is destroyed, which closes it first) the help stays open on
    // its own.
    if (watched == parentWidget() && event->type() == QEvent::Hide && !event->spontaneous())
        moveTo(nullptr);
    return QWidget::eventFilter(watched, event);
}
