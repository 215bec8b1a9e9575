// A crash must end the process. The handler a library installed for fatal
// signals (SDL's shuts SDL down and exits) runs code that is not safe in a
// signal handler: after a fault inside the allocator it waits for the
// allocator's lock, which its own thread holds, and the game hangs instead
// of ending.
#pragma once

namespace fatal_signal {

// Wraps the handlers now installed for SIGSEGV, SIGBUS, SIGFPE and SIGQUIT:
// on such a signal an alarm is set, then the old handler runs (or the
// signal's default action, when there was none). If the old handler has
// not ended the process `seconds` later, the alarm does (SIGALRM's default
// action). A signal the process was started with ignored stays ignored.
// Install once, after the library's own handlers.
void bound(unsigned seconds);

}  // namespace fatal_signal
