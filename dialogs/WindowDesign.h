#pragma once

#include <QWidget>

#include <initializer_list>

class QComboBox;

// Builds a dialog window from its design: positions and sizes in twips, the design font,
// the tab order.
namespace qyn {

void placeTwips(QWidget* control, int left, int top, int width, int height);
// Sizes the window's client area.
void resizeTwips(QWidget* window, int width, int height);
// "MS Sans Serif" 8.25 pt, or Liberation Sans 8.25 pt where it is missing.
void requestDesignFont(QWidget* window);
// Makes the open list of the combo box wide enough to show each of its entries whole, also
// when the closed box is narrower; call it after the entries change.
void fitPopupToEntries(QComboBox* box);
// Links the controls in this tab order and gives the first one the focus.
void setTabOrderChain(std::initializer_list<QWidget*> controls);

}  // namespace qyn
