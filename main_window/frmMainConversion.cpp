// The conversion kind panel and the timed conversion run.
#include "frmMain.h"

#include "BusyCursor.h"
#include "ColorTable.h"
#include "ConversionRecipe.h"
#include "ListComboBox.h"
#include "Module1.h"
#include "MsgBox.h"
#include "NumberText.h"
#include "QynCalls.h"
#include "QynChangeImage.h"
#include "QynImage.h"
#include "QynPerformanceCounter.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

std::optional<std::int32_t> frmMain::RevRGB(const std::int32_t& red, const std::int32_t& green,
                                            const std::int32_t& blue)
{
    return qyn::RevRGB(red, green, blue);
}

void frmMain::cmbAutoBin_Click()
{
    // Reset: default captions and texts, every parameter row and slot button hidden.
    setParamCaption(lblParam1, txtParam1, QStringLiteral("Param1"));
    setParamCaption(lblParam2, txtParam2, QStringLiteral("Param2"));
    setParamCaption(lblParam3, txtParam3, QStringLiteral("Param3"));
    for (QLabel* label : {lblParam1, lblParam2, lblParam3})
        label->hide();
    for (QLineEdit* field : {txtParam1, txtParam2, txtParam3})
        field->setText(QStringLiteral("0"));
    for (QLineEdit* field : {txtParam1, txtParam2, txtParam3})
        field->hide();
    for (QPushButton* button : {cmdButton1, cmdButton2, cmdButton3, cmdButton4, cmdButton5, cmdButton6})
        button->hide();

    const int index = cmbAutoBin->listIndex();
    if (index < 0 || index >= ConversionKindCount)
        return;
    switch (static_cast<ConversionKind>(index)) {
    case ConversionKind::Compose:
        if (blnVideoInUse_) {
            for (QPushButton* button : {cmdButton4, cmdButton5, cmdButton6})
                button->show();
        } else {
            for (QPushButton* button : {cmdButton1, cmdButton2, cmdButton3})
                button->show();
        }
        break;
    case ConversionKind::Decompose:
        // Decomposition needs a colour image; the camera is not offered for it.
        cmdButton1->show();
        break;
    case ConversionKind::ColorToGray:
        setParamCaption(lblParam1, txtParam1, QStringLiteral("Red"));
        txtParam1->setText(QStringLiteral("299"));
        setParamCaption(lblParam2, txtParam2, QStringLiteral("Green"));
        txtParam2->setText(QStringLiteral("587"));
        setParamCaption(lblParam3, txtParam3, QStringLiteral("Blue"));
        txtParam3->setText(QStringLiteral("144"));
        for (QLabel* label : {lblParam1, lblParam2, lblParam3})
            label->show();
        for (QLineEdit* field : {txtParam1, txtParam2, txtParam3})
            field->show();
        (blnVideoInUse_ ? cmdButton4 : cmdButton1)->show();
        break;
    case ConversionKind::GrayToColor:
        (blnVideoInUse_ ? cmdButton4 : cmdButton1)->show();
        break;
    }
}

void frmMain::cmdExecute_Click()
{
    // All three fields are read first, so a number out of range fails before any slot is emptied.
    const auto first = qyn::readParameter(txtParam1->text());
    const auto second = first ? qyn::readParameter(txtParam2->text()) : std::nullopt;
    const auto third = second ? qyn::readParameter(txtParam3->text()) : std::nullopt;
    if (!third) {
        showConversionError();
        return;
    }
    const int index = cmbAutoBin->listIndex();
    if (index < 0 || index >= ConversionKindCount)
        return;
    bool done = false;
    {
        const BusyCursor busy;
        done = runConversion(ConversionRecipe::of(static_cast<ConversionKind>(index)), {*first, *second, *third});
    }
    if (!done)
        showConversionError();
}

bool frmMain::runConversion(const ConversionRecipe& recipe, const std::array<std::int32_t, 3>& weights)
{
    auto ok = [](QynStatus status) { return status == QynStatus::Ok; };
    QynComponent& counter = *counter_;

    // a: empty the destinations.
    for (int slot : recipe.destinations)
        if (slot != 0 && !ok(qyn::call(imageSlot(slot), QynImage::Clear)))
            return false;

    // b: the colour table, rebuilt at every run.
    std::array<std::int32_t, 256> table{};
    if (recipe.colorTable) {
        const auto built = qyn::grayToColorTable();
        if (!built)
            return false;
        table = *built;
    }

    // c to f: only the conversion call (and the weights of ColorToGray) lie inside the timed span.
    double elapsed = 0.0;
    if (!ok(qyn::call(counter, QynPerformanceCounter::Start)))
        return false;
    const std::array<QynComponent*, 4> slotRefs{slotRef(1), slotRef(2), slotRef(3), slotRef(4)};
    const QynStatus converted = recipe.call(*changeImage_, slotRefs, weights, table);
    if (!ok(converted) || !ok(qyn::call(counter, QynPerformanceCounter::GetElapsedTime, {&elapsed})))
        return false;

    // g and h: show and select the result; GrayToColor writes the time before the index.
    if (!ok(showSlot(recipe.shown)))
        return false;
    const QString timeText = qyn::formatMilliseconds(elapsed);
    if (recipe.kind == ConversionKind::GrayToColor) {
        txtExecuteTime->setText(timeText);
        cmbDispImage->setListIndex(recipe.shown - 1);
    } else {
        cmbDispImage->setListIndex(recipe.shown - 1);
        txtExecuteTime->setText(timeText);
    }
    return true;
}

void frmMain::showConversionError()
{
    // Whatever failed, the conversion component's own result code is what is shown.
    const std::int32_t code = qyn::lastResult(*changeImage_, QynChangeImage::GetLastResult);
    MsgBox(Module1::GetResultMessage(code) + QStringLiteral(" (") + QString::number(code)
               + QStringLiteral(")"),
           MsgBoxIcon::None, QStringLiteral("Error generating"));
}
