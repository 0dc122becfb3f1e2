// Filling, showing and saving the image slots: load, grab, display list, save.
#include "frmMain.h"

#include "BusyCursor.h"
#include "CameraWindow.h"
#include "ConversionRecipe.h"
#include "ListComboBox.h"
#include "MsgBox.h"
#include "QynCalls.h"
#include "QynDisplayEx.h"
#include "QynFileAccess.h"
#include "QynImage.h"
#include "QynVideo.h"
#include "frmFileLoad.h"
#include "frmFileSave.h"

#include <QStringList>

#include <optional>

namespace {

// Whether a file loads as 8-bit gray (else colour), read with components of its own so
// that the window's slots and their calls are not touched; empty when it does not load.
std::optional<bool> loadsGray(const QString& path)
{
    const QynComponentRegistry& registry = QynComponentRegistry::standard();
    const std::unique_ptr<QynComponent> files =
        registry.create(QString::fromLatin1(QynFileAccess::ProgId), {QString()});
    const std::unique_ptr<QynComponent> image = registry.create(QString::fromLatin1(QynImage::ProgId), {});
    if (!files || !image)
        return std::nullopt;
    const BusyCursor busy;
    qyn::put(*files, QynFileAccess::FilePath, path);
    if (qyn::call(*files, QynFileAccess::LoadImage, {image.get()}) != QynStatus::Ok
        || qyn::lastResult(*files, QynFileAccess::GetLastResult) != 0)
        return std::nullopt;
    return qyn::getInt32(*image, QynImage::ImageType) == std::optional<std::int32_t>{QynImage::TypeGray};
}

}  // namespace

QynStatus frmMain::showSlot(int slot)
{
    endLive();  // a slot on display ends live view (choosing, loading, executing)
    const QynStatus status = qyn::call(*display_, QynDisplayEx::ShowImage, {slotRef(slot)});
    if (status == QynStatus::Ok)
        if (QWidget* area = display_->widget()) {
            const QynImage* image = imageSlot(slot).asImage();
            area->setAccessibleName(image && !image->isFilled() ? QStringLiteral("empty")
                                                                : QStringLiteral("image %1").arg(slot));
        }
    return status;
}

void frmMain::cmbDispImage_Click()
{
    const int index = cmbDispImage->listIndex();
    if (index >= 0 && index <= 3)
        showSlot(index + 1);
}

void frmMain::loadSlot(int slot)
{
    frmFileLoad& dialog = fileLoadDialog();
    dialog.setStrPattern(QStringLiteral("*.bmp"));
    dialog.showModal();
    const QString path = dialog.strFilePath();
    if (path.isEmpty())
        return;
    loadSlotFrom(slot, path);
}

void frmMain::loadSlotFrom(int slot, const QString& path)
{
    // Each step is tried on its own; a failing call is passed over and the next one runs.
    QynComponent& files = *fileAccess_;
    std::int32_t code = 0;
    {
        const BusyCursor busy;
        qyn::put(files, QynFileAccess::FilePath, path);
        qyn::call(files, QynFileAccess::LoadImage, {slotRef(slot)});
        code = qyn::lastResult(files, QynFileAccess::GetLastResult);
    }
    if (code != 0)
        MsgBox(QStringLiteral("Reading went wrong.(ErrCode=%1)").arg(code), MsgBoxIcon::Exclamation,
               QStringLiteral("Reading failure"));

    // Slot 1 is the source of every conversion: check it against the kind, whichever slot
    // was loaded. A format that cannot be read counts as a mismatch.
    const int index = cmbAutoBin->listIndex();
    const bool wantGray = index >= 0 && index < ConversionKindCount
        && ConversionRecipe::of(static_cast<ConversionKind>(index)).grayInSlot1;
    const auto depth = qyn::getInt32(imageSlot(1), QynImage::BitDepth);
    const auto type = qyn::getInt32(imageSlot(1), QynImage::ImageType);
    const std::int32_t wantDepth = wantGray ? 8 : 32;
    const std::int32_t wantType = wantGray ? QynImage::TypeGray : QynImage::TypeColor;
    if (!depth || !type || *depth != wantDepth || *type != wantType) {
        if (!wantGray) {
            MsgBox(QStringLiteral("It is not a color image."), MsgBoxIcon::None, QStringLiteral("error"));
        } else {
            MsgBox(slot == 1 ? QStringLiteral("It is not the image of a 8-bit gray.")
                             : QStringLiteral("It is not the picture of a 8-bit gray."),
                   MsgBoxIcon::None, QStringLiteral("error"));
            if (slot == 3) {
                qyn::put(imageSlot(1), QynImage::BitDepth, std::int32_t{8});
                qyn::put(imageSlot(1), QynImage::ImageType, std::int32_t{QynImage::TypeGray});
            }
        }
    }
    // The loaded slot is shown; the display list keeps its entry.
    showSlot(slot);
}

void frmMain::loadStartFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return;
    // Two or three files are the gray planes of a composition, the only kind that reads
    // more than slot 1; one file is split when colour and coloured when gray. A single file
    // that does not load leaves the kind start-up chose; its load reports it.
    std::optional<ConversionKind> kind = ConversionKind::Compose;
    if (paths.size() == 1) {
        const std::optional<bool> gray = loadsGray(paths.front());
        kind = !gray ? std::nullopt
                     : std::optional(*gray ? ConversionKind::GrayToColor : ConversionKind::Decompose);
    }
    if (kind)
        cmbAutoBin->setListIndex(static_cast<int>(*kind));
    for (int slot = 1; slot <= 3 && slot <= paths.size(); ++slot)
        loadSlotFrom(slot, paths[slot - 1]);
}

void frmMain::grabSlot(int slot)
{
    // A failing call ends the grab there; PrepareImage comes before every Grab.
    QynComponent& video = *video_;
    const BusyCursor busy;  // Grab waits for the camera's next frame
    if (qyn::call(video, QynVideo::PrepareImage, {slotRef(slot)}) != QynStatus::Ok)
        return;
    const QynStatus grabbed = qyn::call(video, QynVideo::Grab, {slotRef(slot)});
    // A stream rebuilt by the Grab has controls of its own.
    if (cameraWindow_ && cameraWindow_->isVisible())
        showCameraControls();
    if (grabbed != QynStatus::Ok)
        return;
    if (!liveRunning())  // live view goes on; the frame waits in its slot
        showSlot(slot);
}

void frmMain::cmdSaveImage_Click()
{
    // Each step is tried on its own; a failing call is passed over and the next one runs.
    frmFileSave& dialog = fileSaveDialog();
    dialog.setStrDefaultExtension(QStringLiteral("bmp"));
    dialog.setStrPattern(QStringLiteral("*.bmp"));
    dialog.showModal();
    const QString path = dialog.strFilePath();
    if (path.isEmpty())
        return;

    QynComponent& files = *fileAccess_;
    // The slot written is the one the display list names, not the one on display.
    const int index = cmbDispImage->listIndex();
    const bool slotNamed = index >= 0 && index <= 3;
    std::int32_t code = 0;
    {
        const BusyCursor busy;
        qyn::put(files, QynFileAccess::FilePath, path);
        if (slotNamed)
            qyn::call(files, QynFileAccess::SaveImage, {slotRef(index + 1)});
        code = qyn::lastResult(files, QynFileAccess::GetLastResult);
    }
    if (!slotNamed) {
        // Without a named slot nothing was written, whatever code the component still holds.
        MsgBox(QStringLiteral("No image is selected in \"Display Image\". Nothing was written."),
               MsgBoxIcon::Exclamation, QStringLiteral("Preservation failure"));
        return;
    }
    if (code != 0)
        MsgBox(QStringLiteral("Preservation went wrong.(ErrCode=%1)").arg(code),
               MsgBoxIcon::Exclamation, QStringLiteral("Preservation failure"));
}
