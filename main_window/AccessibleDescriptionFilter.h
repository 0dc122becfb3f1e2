#pragma once

#include <QObject>

// Gives every widget of the program, dialogs and message boxes included, its object
// name as accessible description when it has none, as it is polished and shown.
class AccessibleDescriptionFilter final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Installs one filter on the application (it becomes the filter's parent).
    static void install();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
