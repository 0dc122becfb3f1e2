#pragma once

// Shows the wait cursor over the whole program while it lives: a call that blocks the window
// (a file read or written, the camera opened or waited for, a conversion) gives a sign of
// life. Scope it to the blocking calls alone, never around a message box.
class BusyCursor {
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};
