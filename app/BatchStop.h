#pragma once

// A graceful stop for a batch: while installed, the first SIGINT, SIGTERM or SIGHUP only
// asks the batch to stop (no new files; those in flight finish, so their saves complete
// or leave nothing). A second one goes to the handler that was there before, which for
// qynconvert removes named temporary files and ends the process
// (QynAtomicFile::installSignalHandling).
class BatchStop {
public:
    BatchStop();   // installs the handlers
    ~BatchStop();  // puts the previous ones back
    BatchStop(const BatchStop&) = delete;
    BatchStop& operator=(const BatchStop&) = delete;

    // The signal that asked for the stop, or 0.
    static int requested();
};
