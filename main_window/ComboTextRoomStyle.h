#pragma once

#include <QProxyStyle>

// The application's style, with the text of a closed drop-down list given the padding
// the style leaves beside it: at the layout's sizes the longest conversion kind,
// "Color memory channel decomposition", is a few pixels wider than the style's own field.
// The control keeps its place and size; only the text starts nearer the frame and ends
// nearer the arrow.
class ComboTextRoomStyle final : public QProxyStyle {
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl part,
                         const QWidget* widget) const override;
};
