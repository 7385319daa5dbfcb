// Playing through PipeWire as the README shows it, on a private
// server of the test's own (a runtime directory in the test's HOME, a null
// sink, a loopback source fed a ramp by pw-cat, WirePlumber to link them),
// started and stopped by the test.
#include <algorithm>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

// The server and its clients end with the script, or after a minute; then
// the program ($0) runs, with the sink's monitor recorded to monitor.raw
// (32-bit) while it does. Waits for the socket and the nodes, never a time.
constexpr const char* kWithPipeWire = R"sh(
  for p in pipewire wireplumber pipewire-alsa pipewire-bin dbus; do
    [ "$(dpkg-query -W -f='${db:Status-Abbrev}' $p 2>/dev/null)" = "ii " ] || exit 77
  done
  export XDG_RUNTIME_DIR="$HOME/run" PIPEWIRE_RUNTIME_DIR="$HOME/run" XDG_STATE_HOME="$HOME/state"
  unset DBUS_SESSION_BUS_ADDRESS PIPEWIRE_REMOTE
  mkdir -p -m 700 "$XDG_RUNTIME_DIR" && exec 3>&1 1>&2
  pids=""
  trap 'kill $pids 2>/dev/null; wait' EXIT
  timeout -k5 60 pipewire -c "$HOME/server.conf" & pids="$pids $!"
  until [ -S "$XDG_RUNTIME_DIR/pipewire-0" ]; do kill -0 $pids || exit 1; sleep 0.01; done
  timeout -k5 60 dbus-run-session -- wireplumber & pids="$pids $!"
  timeout -k5 60 pw-loopback -n ramp -c 1 -m '[ MONO ]' \
    --capture-props='media.class=Audio/Sink node.name=ramp_in' \
    --playback-props='media.class=Audio/Source node.name=ramp_src' & pids="$pids $!"
  until pw-cli ls Node 2>/dev/null | grep -q 'node.name = "ramp_in"'; do sleep 0.01; done
  timeout -k5 60 pw-cat -p --target ramp_in "$HOME/ramp.wav" & pids="$pids $!"
  timeout -k5 60 pw-cat -r --target test_sink -P stream.capture.sink=true --format s32 \
    --channels 1 --rate 48000 "$HOME/monitor.wav" & pids="$pids $!"
  until [ "$(pw-link -l 2>/dev/null | grep -c '|->')" -ge 2 ]; do sleep 0.01; done
  if [ -n "${WITH_PULSE:-}" ]; then
    command -v pipewire-pulse >/dev/null || exit 77
    timeout -k5 60 pipewire-pulse & pids="$pids $!"
    until [ -S "$XDG_RUNTIME_DIR/pulse/native" ]; do sleep 0.01; done
  fi
  "$0" >&3; status=$?
  # A second more of the monitor, so that it holds all the program played.
  size=$(stat -c %s "$HOME/monitor.wav")
  until [ "$(stat -c %s "$HOME/monitor.wav")" -gt $((size + 192000)) ]; do sleep 0.01; done
  exit $status)sh";

constexpr const char* kServer = R"(
context.properties = { core.daemon = true core.name = pipewire-0
  default.clock.rate = 48000 default.clock.quantum = QUANTUM default.clock.min-quantum = QUANTUM
  default.clock.max-quantum = QUANTUM }
context.spa-libs = { audio.convert.* = audioconvert/libspa-audioconvert
                     support.* = support/libspa-support }
context.modules = [
  { name = libpipewire-module-rt args = { nice.level = -11 rt.prio = 70 } flags = [ ifexists nofail ] }
  { name = libpipewire-module-protocol-native }
  { name = libpipewire-module-metadata } { name = libpipewire-module-spa-node-factory }
  { name = libpipewire-module-client-node } { name = libpipewire-module-access }
  { name = libpipewire-module-adapter } { name = libpipewire-module-link-factory } ]
context.objects = [ { factory = metadata args = { metadata.name = default } }
  { factory = spa-node-factory args = { factory.name = support.node.driver
      node.name = Dummy-Driver node.group = pipewire.dummy priority.driver = 20000 } }
  { factory = adapter args = { factory.name = support.null-audio-sink node.name = test_sink
      media.class = Audio/Sink audio.position = [ MONO ] node.driver = true } } ]
)";

// The samples of a 32-bit WAV file (its data chunk, wherever it starts) as
// the 24-bit values they carry.
Samples monitorSamples(const std::string& file) {
  const std::size_t data = file.find("data");
  Samples samples;
  for (std::size_t at = data + 8; data != std::string::npos && at + 4 <= file.size(); at += 4)
    samples.push_back(static_cast<std::int32_t>(field32(file, at)) >> 8);
  return samples;
}

struct PipeWireProject {
  ProjectFixture project;
  PipeWireProject(int period, const std::string& settings, const std::string& play = "")
      : project("", play, "vox.wav\n", 1, 1, 1) {
    project.writeFile("param.txt", "dv\tpwramp\nsr\t48000\ninputs\t1\noutputs\t1\nch\t1\nbuf\t" +
                                       std::to_string(period) + "\n" + settings +
                                       "clock\thc\nmeter\t0\n");
    project.appendAsoundrc(
        "pcm.pwramp { type pipewire playback_node \"test_sink\" "
        "capture_node \"ramp_src\" }\n");
    // The server runs at the period's quantum from its start: a quantum that
    // changes when the pass joins the graph costs the monitor a cycle.
    std::string server = kServer;
    for (std::size_t at; (at = server.find("QUANTUM")) != std::string::npos;)
      server.replace(at, 7, std::to_string(period));
    writeBytes(project.home() / "server.conf", server);
    writeBytes(project.home() / "ramp.wav", wavFile(staircase(48000 * 40, 1)));
  }
  RunResult run(const std::string& input, const std::string& before = "") const {
    return project.runCommand({"/bin/sh", "-c", before + kWithPipeWire, varnowBinary()}, input);
  }
};

// Disabled: on this machine's private server a take through the loopback
// source loses one period now and then, most often the second one (at 1024
// and at 256, with the fixed quantum and real-time priority too, and with the program as it was
// before the watchdog and the non-blocking transfers): not understood yet.
TEST(PipeWire, DISABLED_RecordingWithoutPlaybackTakesTheRampWithoutAGap) {
  for (const int period : {1024, 256}) {
    SCOPED_TRACE(period);
    PipeWireProject p(period, "o\t48128\n");
    const RunResult result = p.run("R_t x");
    if (result.exitStatus == 77) GTEST_SKIP() << "No PipeWire: its packages are not installed.";
    ASSERT_EQ(result.exitStatus, 0) << result.out << result.err;
    const Samples take = wavSamples(p.project.readFile("vox_t.wav"));
    ASSERT_EQ(take.size(), 48128U);
    // The ramp has been playing for a while: the take is a stretch of it.
    ASSERT_GT(take[0], 0);
    EXPECT_TRUE(same(take, staircase(take.size(), take[0])));
  }
}

// Disabled in the suite: on a loaded machine (two cores shared with builds)
// the monitor of the test's own real-time server misses a cycle now and
// then, and whether the server or the pass loses it is not known yet. Run it
// on a quiet machine with --gtest_also_run_disabled_tests. At 64 the monitor
// loses a period now and then even there.
TEST(PipeWire, DISABLED_APlayPassGivesTheSinkEveryFrameToTheStop) {
  for (const int period : {1024, 256}) {
    SCOPED_TRACE(period);
    PipeWireProject p(period, "o\t48000\n", "a.wav\n");
    p.project.writeWave("a.wav", staircase(60000, 1));
    const RunResult result = p.run("p x");
    if (result.exitStatus == 77) GTEST_SKIP() << "No PipeWire: its packages are not installed.";
    ASSERT_EQ(result.exitStatus, 0) << result.out << result.err;
    const Samples monitor = monitorSamples(readBytes(p.project.home() / "monitor.wav"));
    // The staircase from 1 to the stop (rounded up to the period) in one piece.
    const std::int64_t stop = (48000 + period - 1) / period * period;
    const auto first = std::find(monitor.begin(), monitor.end(), 1);
    ASSERT_NE(first, monitor.end());
    const Samples played(first, first + std::min<std::ptrdiff_t>(stop, monitor.end() - first));
    EXPECT_TRUE(same(played, staircase(static_cast<std::size_t>(stop), 1)));
    // And silence after it: nothing beyond the stop was played.
    if (monitor.end() - first > stop) {
      EXPECT_EQ(*(first + stop), 0);
    }
  }
}

TEST(PipeWire, ThePulseDeviceIsRefusedWithItsSentence) {
  PipeWireProject p(1024, "");
  p.project.writeFile("param.txt", "dv\tpulse\nsr\t48000\ninputs\t1\noutputs\t1\nch\t1\n");
  const RunResult result = p.run("x", "WITH_PULSE=1\n");
  if (result.exitStatus == 77) GTEST_SKIP() << "No PipeWire or no pipewire-pulse.";
  EXPECT_EQ(result.exitStatus, 1) << result.out << result.err;
  EXPECT_TRUE(has(result.err,
                  "The device pulse does not take one buffer per channel: use "
                  "plug:pulse, or pipewire under PipeWire.\n"));
}

}  // namespace
}  // namespace varnow::testing
