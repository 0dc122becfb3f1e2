#pragma once

// A graceful stop: while installed, the first SIGINT, SIGTERM or SIGHUP only asks the
// program to stop (for a batch: no new files; those in flight finish, so their saves
// complete or leave nothing). A second one goes to the handler that was there before,
// which for qynconvert and qynsample removes named temporary files and ends the process
// (QynAtomicFile::installSignalHandling).
class BatchStop {
public:
    BatchStop();   // installs the handlers
    ~BatchStop();  // puts the previous ones back
    BatchStop(const BatchStop&) = delete;
    BatchStop& operator=(const BatchStop&) = delete;

    // The signal that asked for the stop, or 0.
    static int requested();
    // A descriptor that becomes readable when the stop is asked for, for an event loop
    // to wait on (-1 when no pipe could be made; requested() still answers).
    static int wakeHandle();
};
