#pragma once

// qynconvert's exit codes.
enum ConvertExit : int {
    ExitOk = 0,
    ExitConversionFailed = 1,
    ExitUsage = 2,
    ExitReadFailed = 3,
    ExitWriteFailed = 4,
    ExitSomeFilesFailed = 5,  // batch mode: the others were converted or skipped
    // A batch stopped by a signal exits with 128 + the signal's number, as a shell shows it.
};
