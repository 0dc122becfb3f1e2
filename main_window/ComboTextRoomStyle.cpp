#include "ComboTextRoomStyle.h"

namespace {

// Taken from each side of the style's padding, which is 4 pixels to the frame and 3 to
// the arrow in the Fusion style: a clear gap stays on both sides.
constexpr int ExtraRoom = 2;

}  // namespace

QRect ComboTextRoomStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                         SubControl part, const QWidget* widget) const
{
    QRect rect = QProxyStyle::subControlRect(control, option, part, widget);
    if (control == CC_ComboBox && part == SC_ComboBoxEditField)
        rect.adjust(-ExtraRoom, 0, ExtraRoom, 0);
    return rect;
}
