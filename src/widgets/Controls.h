#pragma once
// Controls carry their names as objectName, so that tests and help find them by name.
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QString>

inline QLabel *MakeLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

inline QPushButton *MakeButton(QWidget *parent, const char *name, const QString &caption,
                               const QString &hint = QString())
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    if (!hint.isEmpty())
        button->setToolTip(hint);
    return button;
}

// A one-line label that ends a text too long for the room it has in its window with "...";
// text() stays the whole text. The room ends as far from the window's right edge as the label
// starts from its left, so a label wider than its window still shows the cut.
class ElidedLabel : public QLabel
{
public:
    using QLabel::QLabel;

    QString shownText() const
    {
        const int left = mapTo(window(), QPoint(0, 0)).x();
        const int room = qMin(contentsRect().width(), window()->width() - 2 * left);
        return fontMetrics().elidedText(text(), Qt::ElideRight, qMax(room, 0));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(contentsRect(), int(alignment()), shownText());
    }
};
