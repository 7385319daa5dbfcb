// A request to stop, raised from a signal handler and polled by the work it
// concerns: a pass ends at its next period, a file rewrite is abandoned (or
// rolled back) at its next piece, a prompt stops waiting for input.
//
// Raising a request is async-signal-safe: it sets a flag and writes one byte
// to a pipe, so a reader blocked in poll() on stopRequestFd() wakes up.
#pragma once

namespace varnow {

// Creates the wake-up pipe. Call once at start-up, before any handler that
// may raise a request is installed. Harmless when called again.
void initStopRequests();

// Raises a request for `signalNumber` (async-signal-safe). The first signal
// of a run is the one reported by stopSignal(), except that a termination
// (SIGTERM, SIGHUP) replaces a pending Ctrl-C: the run must then end, not
// just the pass.
void requestStop(int signalNumber);

// True once a stop was requested and not yet cleared.
bool stopRequested();

// The signal number of the pending request, 0 when there is none.
int stopSignal();

// True when the pending request ends the whole run (SIGTERM, SIGHUP), not
// just a pass (a Ctrl-C).
bool stopEndsRun();

// Readable while a stop is pending; -1 before initStopRequests().
int stopRequestFd();

// Forgets the pending request (after a pass that a Ctrl-C ended, say).
void clearStopRequest();

// Installs the handlers of SIGINT, SIGTERM and SIGHUP (with SA_RESTART, so
// that interrupted reads and writes of files and devices carry on; the three
// are blocked while one of them is handled). Each raises a stop request. A
// Ctrl-C that arrives while a request is still pending (a stop that hangs in
// a device that does not return) ends the program at once: the handler runs
// runForcedExitCleanup() and exits with 128 + SIGINT. Calls
// initStopRequests() first.
void installStopHandlers();

// `wake` (async-signal-safe, or null for none) runs in the handler of every
// stop signal once the request is raised: a pass that may sit in a device
// call registers one that gets the call interrupted.
void setStopWakeUp(void (*wake)());

// The exit status of a program that a stop request ends: 128 + the signal.
int stopExitStatus(int signalNumber);

}  // namespace varnow
