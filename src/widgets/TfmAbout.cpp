#include "widgets/TfmAbout.h"

#include <QApplication>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QTextEdit>

#include "widgets/VersionInfo.h"

namespace
{
QFrame *makeShadow(QWidget *parent, const char *name, const QRect &geometry, const QColor &colour)
{
    auto *f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    f->setGeometry(geometry);
    f->setFrameShape(QFrame::Box);
    f->setLineWidth(1);
    QPalette p = f->palette();
    p.setColor(QPalette::WindowText, colour);
    f->setPalette(p);
    return f;
}
} // namespace

TfmAbout::TfmAbout(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("fmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(267, 316);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    imImage = new QLabel(this);
    imImage->setObjectName(QStringLiteral("imImage"));
    imImage->setGeometry(33, 10, 200, 61);
    imImage->setPixmap(QIcon(QStringLiteral(":/pictures/logo.svg")).pixmap(QSize(200, 61)));

    // The icon sits on two offset frames, so that it looks raised off the page.
    const QPalette sys = QApplication::palette();
    shIcon2 = makeShadow(this, "shIcon2", QRect(18, 86, 33, 33),
                         sys.color(QPalette::Inactive, QPalette::Highlight));
    shIcon1 = makeShadow(this, "shIcon1", QRect(16, 84, 33, 33), sys.color(QPalette::Button));
    imIcon = new QLabel(this);
    imIcon->setObjectName(QStringLiteral("imIcon"));
    imIcon->setGeometry(17, 85, 32, 32);

    reVersionInfo = new QTextEdit(this);
    reVersionInfo->setObjectName(QStringLiteral("reVersionInfo"));
    reVersionInfo->setGeometry(60, 80, 197, 186);
    reVersionInfo->setReadOnly(true);
    reVersionInfo->setFrameShape(QFrame::NoFrame);
    reVersionInfo->document()->setDocumentMargin(2);
    reVersionInfo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    reVersionInfo->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    reVersionInfo->setFocusPolicy(Qt::NoFocus);
    reVersionInfo->viewport()->setCursor(Qt::ArrowCursor);
    QPalette text = reVersionInfo->palette();
    text.setColor(QPalette::Base, white.color(QPalette::Window));
    reVersionInfo->setPalette(text);
    // Small type, so that the lines fit the narrow box without wrapping.
    QFont small = reVersionInfo->font();
    small.setPointSize(8);
    reVersionInfo->setFont(small);

    btnOK = new QPushButton(QStringLiteral("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setGeometry(96, 278, 75, 25);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    FormCreate();
}

void TfmAbout::FormCreate()
{
    const std::optional<VersionRecord> record = ReadVersionRecord();
    // A record without a translation has no string table we could name.
    if (!record || record->translations().isEmpty()) {
        setWindowTitle(QStringLiteral("About"));
        reVersionInfo->clear();
        reVersionInfo->setPlainText(QStringLiteral("No version information available."));
        return;
    }

    const QString prefix = QStringLiteral("\\StringFileInfo\\") +
                           TranslationBlock(record->translations().constFirst()) +
                           QLatin1Char('\\');
    auto value = [&](const char *name) {
        return record->queryValue(prefix + QLatin1String(name)).value_or(QString());
    };

    QStringList lines;
    const QString product = value("ProductName");
    if (!product.isEmpty()) {
        lines << QStringLiteral("Product Name:   ") + product;
        setWindowTitle(product);
    }
    const QString description = value("FileDescription");
    if (!description.isEmpty())
        lines << QStringLiteral("    ") + description;
    const QString part = value("InternalName");
    if (!part.isEmpty())
        lines << QStringLiteral("    Part Number:   ") + part << QString();
    const QString comments = value("Comments");
    const QString version = value("ProductVersion");
    if (!version.isEmpty())
        lines << comments + QStringLiteral(":   ") + version;
    const QString copyright = value("LegalCopyright");
    if (!copyright.isEmpty())
        lines << QStringLiteral("Copyright:   ") + copyright << QString();

    reVersionInfo->setPlainText(lines.join(QLatin1Char('\n')));
}

void TfmAbout::FormShow()
{
    // The owner's icon is the application's unless the owner has one of its own.
    const QIcon icon =
        parentWidget() ? parentWidget()->window()->windowIcon() : QApplication::windowIcon();
    imIcon->setPixmap(icon.pixmap(QSize(32, 32)));
}

void TfmAbout::showEvent(QShowEvent *event)
{
    FormShow();
    QDialog::showEvent(event);
}
