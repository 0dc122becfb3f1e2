#include "AccessibleDescriptionFilter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

void AccessibleDescriptionFilter::install()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (app && !app->findChild<AccessibleDescriptionFilter*>(QString(), Qt::FindDirectChildrenOnly))
        app->installEventFilter(new AccessibleDescriptionFilter(app));
}

bool AccessibleDescriptionFilter::eventFilter(QObject* watched, QEvent* event)
{
    // Show as well: a widget polished while it was being built may get its name later.
    const QEvent::Type type = event->type();
    if ((type == QEvent::Polish || type == QEvent::Show) && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->accessibleDescription().isEmpty() && !widget->objectName().isEmpty())
            widget->setAccessibleDescription(widget->objectName());
    }
    return QObject::eventFilter(watched, event);
}
