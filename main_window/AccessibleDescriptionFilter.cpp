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
    if (event->type() == QEvent::Polish && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->accessibleDescription().isEmpty() && !widget->objectName().isEmpty())
            widget->setAccessibleDescription(widget->objectName());
    }
    return QObject::eventFilter(watched, event);
}
