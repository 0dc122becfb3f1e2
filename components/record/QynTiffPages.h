#pragma once

#include "QynPixelBuffer.h"

#include <QString>

#include <cstdint>
#include <vector>

typedef struct tiff TIFF;

// One TIFF file that grows by a page a frame (libtiff, uncompressed; gray pages 8-bit
// gray, colour pages 8-bit RGB). After each append() returns, the file on disk is a
// valid TIFF of every page so far. A page that fails to be written (a full disk) is
// cut off again: the file ends with the last complete page, and its directory chain
// ends there. The file is written under its final name, never replacing another.
class QynTiffPages {
public:
    QynTiffPages() = default;
    ~QynTiffPages();
    QynTiffPages(const QynTiffPages&) = delete;
    QynTiffPages& operator=(const QynTiffPages&) = delete;

    // Creates the file, which must not exist yet; returns an empty text or why not.
    QString create(const QString& path);
    // BigTIFF (64-bit offsets) for a file that may grow past 4 GiB; before the first page.
    void setBigTiff(bool big) { big_ = big; }
    // Appends a page; an empty text or why it could not be written (the file then ends
    // with the page before, and takes no more).
    QString append(const QynPixelBuffer& pixels);
    // Flushes and closes; a file without pages is removed.
    QString close();

    std::uint64_t pages() const { return pages_; }

private:
    QString fail(const QString& why);
    QString cutBackToLastPage();

    QString path_;
    int fd_ = -1;
    TIFF* tiff_ = nullptr;
    bool big_ = false;
    bool failed_ = false;
    std::uint64_t pages_ = 0;
    std::int64_t completeEnd_ = 0;  // where the last complete page ends
    std::vector<std::uint8_t> rgb_;
    QString libraryError_;
};
