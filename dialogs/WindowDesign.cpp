#include "WindowDesign.h"

#include "QynTwips.h"

#include <QFont>

namespace qyn {

void placeTwips(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(twipsRect(left, top, width, height));
}

void resizeTwips(QWidget* window, int width, int height)
{
    window->resize(twipsToPixels(width), twipsToPixels(height));
}

void requestDesignFont(QWidget* window)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);
    window->setFont(font);
}

void setTabOrderChain(std::initializer_list<QWidget*> controls)
{
    QWidget* previous = nullptr;
    for (QWidget* control : controls) {
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
    if (controls.size() > 0)
        (*controls.begin())->setFocus();
}

}  // namespace qyn
