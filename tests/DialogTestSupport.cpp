#include "DialogTestSupport.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <algorithm>

void touch(const QString& path)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

QStringList texts(const QListWidget& list)
{
    QStringList result;
    for (int row = 0; row < list.count(); ++row)
        result << list.item(row)->text();
    return result;
}

void click(QWidget* window, const char* button)
{
    if (auto* found = control<QPushButton>(window, button))
        found->click();
}

void pressKey(QWidget* target, Qt::Key key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
}

QStringList cutTexts(QWidget* window)
{
    QStringList cut;
    const auto check = [&](const QWidget* widget, QString text, int room, int height) {
        const QFontMetrics metrics(widget->font());
        text.remove(QLatin1Char('&'));
        if (metrics.horizontalAdvance(text) > room || metrics.height() > height)
            cut << widget->objectName() + QStringLiteral(": ") + text;
    };
    for (const QLabel* label : window->findChildren<QLabel*>())
        if (!label->text().isEmpty() && !label->wordWrap())
            check(label, label->text(), label->contentsRect().width(), label->contentsRect().height());
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button) +
                           2 * button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        check(button, button->text(), button->width() - margin, button->height() - margin);
    }
    for (QCheckBox* box : window->findChildren<QCheckBox*>()) {
        QStyleOptionButton option;
        option.initFrom(box);
        const QRect contents = box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box);
        check(box, box->text(), contents.width(), contents.height());
    }
    for (const QGroupBox* frame : window->findChildren<QGroupBox*>())
        check(frame, frame->title(), frame->width() - 2 * QFontMetrics(frame->font()).averageCharWidth(), frame->height());
    for (QComboBox* box : window->findChildren<QComboBox*>()) {
        const QAbstractItemView* view = box->view();
        const int margins = 2 * view->frameWidth() + box->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
        const int room = std::max(box->width(), view->minimumWidth()) - margins;
        for (int i = 0; i < box->count(); ++i)
            check(box, box->itemText(i), room, box->height());
    }
    return cut;
}
