#include "widgets/Hints.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QVariant>
#include <QWidget>

namespace
{
const char Property[] = "quilboShowHint";

// Swallows tool-tip events for every widget of a window whose hints are off.
class HintFilter : public QObject
{
public:
    using QObject::QObject;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ToolTip) {
            if (auto *w = qobject_cast<QWidget *>(watched))
                if (w->window() && !ShowHint(w->window()))
                    return true;
        }
        return QObject::eventFilter(watched, event);
    }
};
} // namespace

void SetShowHint(QWidget *window, bool show)
{
    if (!window)
        return;
    window->setProperty(Property, show);
    static HintFilter *filter = nullptr;
    if (!filter && QCoreApplication::instance()) {
        filter = new HintFilter(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(filter);
    }
}

bool ShowHint(const QWidget *window)
{
    const QVariant v = window->property(Property);
    return !v.isValid() || v.toBool();
}
