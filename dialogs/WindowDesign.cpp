#include "WindowDesign.h"

#include "QynTwips.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QStyle>

#include <algorithm>

namespace qyn {

void placeTwips(QWidget* control, int left, int top, int width, int height)
{
    control->setGeometry(twipsRect(left, top, width, height));
}

void resizeTwips(QWidget* window, int width, int height)
{
    window->resize(twipsToPixels(width), twipsToPixels(height));
}

namespace {

QFont designFont()
{
    QFont font;
    // The layout was drawn for "MS Sans Serif"; where it is missing, Liberation Sans (the
    // metrics of Arial, narrow enough for every text of the layout) stands in for it, not
    // the platform's wider sans serif.
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    return font;
}

}  // namespace

void requestDesignFont(QWidget* window)
{
    window->setFont(designFont());
}

void fitPopupToEntries(QComboBox* box)
{
    QAbstractItemView* view = box->view();
    view->setFont(box->font());  // the open list is a window of its own, which no font reaches
    const QFontMetrics metrics(box->font());
    int widest = 0;
    for (int i = 0; i < box->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(box->itemText(i)));
    const QStyle* style = box->style();
    const int margins = 2 * view->frameWidth() + 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1) +
                        style->pixelMetric(QStyle::PM_ScrollBarExtent) + metrics.averageCharWidth();
    view->setMinimumWidth(widest + margins);
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
