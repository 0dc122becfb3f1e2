#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <span>
#include <sys/stat.h>

struct QynAtomicFileEntry;

// A file that takes the place of another whole or not at all.
//
// open() checks what the path names: nothing yet, or a regular file the process may
// write, in an existing folder. A symbolic link is followed to the file it names, as an
// editor does, and the file there is replaced while the link stays; a link that another
// user made in a shared sticky folder (such as /tmp) is refused, as the kernel refuses to
// follow it for a protected open. Folders, devices, pipes and sockets are refused.
//
// The data goes into an anonymous file in the target's folder (O_TMPFILE), which has no
// name until publish() gives it one, so a process killed while writing leaves nothing; on
// file systems without anonymous files it is created under a hidden name
// (QynTemporaryName), exclusively, without following links and readable by its owner
// only while it replaces a file. complete() syncs the data and gives the file the mode
// and owner of the file it replaces (as far as the process may); publish() links a new
// target straight to its name, names the others and renames them over their targets,
// several at once all or none, with SIGINT, SIGTERM, SIGHUP and SIGQUIT held back
// meanwhile. A file that is not published disappears with its object. What a process
// killed by SIGKILL between naming and renaming leaves, the next open() in that folder
// by a later process removes.
//
// A replaced file with several hard links is replaced under the name given only; its
// other names keep the old content.
class QynAtomicFile {
public:
    QynAtomicFile() = default;
    ~QynAtomicFile();
    QynAtomicFile(const QynAtomicFile&) = delete;
    QynAtomicFile& operator=(const QynAtomicFile&) = delete;

    // The checks of open() without creating anything. Returns 0 or the file component's
    // CannotWrite code, with the reason in `why`; `identity` receives the file that
    // would be written (the same for two paths that name one file).
    static std::int32_t check(const QString& path, QString* why = nullptr, QByteArray* identity = nullptr);

    // Returns 0 or CannotWrite; reason() tells why.
    std::int32_t open(const QString& path);
    // The descriptor to write the data to, open for writing.
    int handle() const { return fd_; }
    // Returns 0 or CannotWrite.
    std::int32_t complete();
    // Renames complete files over their targets, all or none: when one rename fails, the
    // ones before it are undone (the old files back, new names removed). Returns 0 or
    // CannotWrite with the index of the file that failed in `failed`.
    static std::int32_t publish(std::span<QynAtomicFile* const> files, qsizetype* failed = nullptr);
    std::int32_t publish();

    const QString& reason() const { return reason_; }

    // For programs: SIGINT, SIGTERM and SIGHUP first remove the temporary files that
    // have names (where anonymous files are not to be had), then end the process as
    // before; SIGXFSZ is ignored, so a
    // write past the file size limit fails with an error instead of ending the process.
    static void installSignalHandling();

    // For tests: called before each file of publish() takes its target's name; a
    // non-zero result fails that step with it as the error number.
    static inline int (*renameFault)(const QByteArray& name) = nullptr;
    // For tests: file system features to do without, as some network and FAT file
    // systems must.
    enum Missing : unsigned { NoAnonymousFiles = 1, NoHardLinks = 2 };
    static inline unsigned imitateMissing = 0;

private:
    std::int32_t fail(const QString& why);
    bool linkAnonymous(const QByteArray& name);
    QString nameAnonymous();
    // Keeps the file to be replaced under a hidden name in `backup` while the new one
    // takes its place: a hard link, or else a rename that trades the two names (then the
    // new file is in place already).
    QString keepOld(QByteArray& backup);
    void discard();

    int fd_ = -1;
    int dirFd_ = -1;
    QByteArray name_;        // the target's name in its folder
    QByteArray tempName_;    // the file's own name while it has one
    QynAtomicFileEntry* registration_ = nullptr;  // its place in the list the signal handler removes
    bool anonymous_ = false;
    bool complete_ = false;
    bool replaces_ = false;
    struct stat old_ {};
    QString reason_;
};
