#pragma once

#include <QByteArray>

#include <cstdint>
#include <sys/types.h>

// The hidden names our temporary files and backups carry while a save is under way, and
// the removal of those that a process killed by SIGKILL (or a power cut) left behind.
//
// A name is ".qyn-MACHINE-PID-START-RANDOM.tmp": MACHINE stands for this boot of this
// machine and its process namespace, PID and START for the process that made the file
// (its start time tells it from a later process of the same number), RANDOM for twelve
// letters nobody can guess. sweep() removes a file of that shape when its process is
// gone: on this machine when no process of that number and start time runs; from another
// machine or an earlier boot only when nobody has touched it for a day (such a file
// cannot be told from one a live process on another machine is writing). Only regular
// files of the process's own user are removed (root's: any user's).
class QynTemporaryName {
public:
    // A new name for a file of this process.
    static QByteArray make();
    // Removes what dead processes left in the folder; each folder once a process.
    static void sweep(int dirFd);
};
