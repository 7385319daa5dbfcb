// The clock that watches the sound card during a pass: a card that has moved
// no frame for two seconds has stopped (a sound server whose client went
// away, a FIFO nobody feeds), and the pass must end instead of waiting in
// the card for ever.
//
// A one-shot timer of the loop's own thread is set two seconds ahead each
// time frames move. When it runs out it raises a flag and interrupts the
// device call the thread sits in (its signal is handled without SA_RESTART),
// so that even a plugin blocked in a plain read() of a file comes back. While
// a pass runs, a stop signal has the same timer run a fifth of a second later:
// a card call that has not come back by then is interrupted too (SIGTERM and
// one Ctrl-C end a pass that waits in a card that does not deliver). No lock,
// no allocation: re-arming is one timer_settime() call.
#pragma once

#include <time.h>

namespace varnow {

// How long a card may move nothing before the pass ends.
inline constexpr int kDeviceStallSeconds = 2;
// The exit status of a run whose card stopped inside a call that never
// comes back (two more seconds after the stall): the program ends from the
// watchdog, as a failed device set-up does.
inline constexpr int kExitStuckDevice = 1;

class DeviceWatchdog {
 public:
  // Creates the timer for the calling thread (the period loop's); stays
  // disarmed until start(). Without a timer (none could be created) the
  // watchdog never fires.
  DeviceWatchdog();
  ~DeviceWatchdog();
  DeviceWatchdog(const DeviceWatchdog&) = delete;
  DeviceWatchdog& operator=(const DeviceWatchdog&) = delete;

  // Clears the flag and arms the timer: the card has two seconds from now.
  void start();
  // Frames moved: two more seconds from now.
  void moved() const;
  // Disarms the timer; the flag keeps its value until the next start().
  void stop() const;
  // The card moved nothing for two seconds since the last start() or moved().
  static bool stalled();

 private:
  timer_t timer_{};
  bool haveTimer_ = false;
};

}  // namespace varnow
