#pragma once

#include "QynComponent.h"
#include "QynComponentRegistry.h"
#include "QynFileResult.h"

#include <cstdint>
#include <span>

// Reads and writes image files into slots. Loading takes the file's format: an 8-bit
// file whose palette is all gray (or a grayscale PNG/JPEG) becomes an 8-bit gray slot,
// every other image a colour slot. Saving writes gray slots as 8-bit BMP with a gray
// palette and colour slots as 24-bit BMP, or in the format the extension names where
// Qt can write it. File problems leave the call Ok with a non-zero GetLastResult; a
// failed load leaves the slot as it was, a failed save leaves the old file as it was.
class QynFileAccess final : public QynComponent {
public:
    static constexpr const char* ProgId = "QYNCOMFILEACCESSLibCtl.QynFileAccess";
    enum DispId : std::int32_t {
        FilePath = 1,         // (string) the file of the next LoadImage or SaveImage; also readable
        GetLastResult = 101,  // (int32& code) result of the last LoadImage or SaveImage
        SaveImage = 111,      // (slot)
        LoadImage = 112,      // (slot)
    };
    // Result codes (QynFileResult: the file code below reports them too).
    using Code = QynFileResult::Code;
    using enum QynFileResult::Code;
    // Largest width or height that loads.
    static constexpr int MaxSide = QynFileResult::MaxSide;

    explicit QynFileAccess(const QynStoredSettings& settings = {});

    QString progId() const override { return QString::fromLatin1(ProgId); }
    QynCallResult invoke(std::int32_t dispId, QynCallKind kind,
                         std::span<const QynVariant> args) noexcept override;

    // The reason the last LoadImage or SaveImage failed, where there is more to say than
    // the code (a format we do not read, why a save failed); for tools, not dispatched.
    const QString& lastReason() const { return lastReason_; }

    // The file operations without the calling convention; each returns its result code,
    // with the reason in `why` as lastReason() gives it.
    static std::int32_t loadFile(const QString& path, QynImage& slot, QString* why = nullptr) noexcept;
    static std::int32_t loadBytes(std::span<const std::uint8_t> bytes, QynImage& slot, QString* why = nullptr) noexcept;
    // `why` receives the reason a save failed, where there is more to say than the code.
    static std::int32_t saveFile(const QString& path, const QynImage& slot, QString* why = nullptr) noexcept;
    // Saves each slot to its path, all or none; `failed` receives the index of the path
    // whose code is returned.
    static std::int32_t saveFiles(std::span<const QString> paths, std::span<const QynImage* const> images,
                                  QString* why = nullptr, qsizetype* failed = nullptr) noexcept;
    // What saveFiles checks before it writes anything: each path can take a file (a
    // regular file or nothing, in an existing folder) and no two name the same file.
    static std::int32_t checkSavePaths(std::span<const QString> paths, QString* why = nullptr,
                                       qsizetype* failed = nullptr) noexcept;
    // A short English meaning of a result code, for tools and logs (the program shows
    // bare numbers).
    static QString resultText(std::int32_t code);

private:
    QString filePath_;
    std::int32_t lastResult_ = Success;
    QString lastReason_;
};
