// Recording through JACK as the README shows it: ALSA's jack plugin behind a
// plug device, on a JACK server of the test's own with jack_metro on input 1.
#include <algorithm>

#include "e2e/e2e.hpp"

namespace varnow::testing {
namespace {

// A synchronous server (a late client delays a cycle instead of losing it) and
// a metronome at 240 bpm, both ended with the script or after a minute; then
// the program ($0).
constexpr const char* kWithJack = R"sh(
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}' jackd2 libasound2-plugins)" = "ii ii " ] || exit 77
  export JACK_DEFAULT_SERVER="varnow-test-$$" && exec 3>&1 1>&2
  timeout -k5 --foreground 60 jackd --no-realtime -S -t 4000 -d dummy -r 48000 -p 1024 & jackd=$!
  trap 'kill $jackd; wait' EXIT
  until jack_lsp >/dev/null 2>&1; do kill -0 $jackd || exit 1; sleep 0.01; done
  timeout -k5 --foreground 60 jack_metro -b 240 -D 20 & metro=$!
  trap 'kill $metro; wait $metro; kill $jackd; wait' EXIT
  until jack_lsp | grep -q metro:240_bpm; do kill -0 $metro || exit 1; sleep 0.01; done
  "$0" >&3)sh";

TEST(Jack, TheTakeHoldsTheMetronomesClicksExactly12000FramesApart) {
  ProjectFixture project("", "", "metro.wav\n-\n");
  project.writeFile("param.txt",
                    "dv\tjackplug\nsr\t48000\ninputs\t2\noutputs\t2\nch\t2\no\t48128\n");
  project.appendAsoundrc(
      "pcm.jackplug { type plug slave.pcm { type jack\n"
      " playback_ports { 0 system:playback_1 1 system:playback_2 }\n"
      " capture_ports { 0 metro:240_bpm 1 system:capture_1 } } }\n");
  const RunResult result =
      project.runCommand({"/bin/sh", "-c", kWithJack, varnowBinary()}, "R_t x");
  if (result.exitStatus == 77) GTEST_SKIP() << "No JACK: jackd2 or libasound2-plugins is missing.";
  ASSERT_EQ(result.exitStatus, 0) << result.out << result.err;
  const Samples take = wavSamples(project.readFile("metro_t.wav"));
  std::vector<std::size_t> onsets;  // the first sound after 1000 silent frames
  for (std::size_t i = 1000; i < take.size(); ++i)
    if (take[i] != 0 && std::count(&take[i - 1000], &take[i], 0) == 1000) onsets.push_back(i);
  ASSERT_GE(onsets.size(), 3U);
  for (std::size_t k = 1; k < onsets.size(); ++k)
    EXPECT_EQ(onsets[k] - onsets[k - 1], 12000U);
}

}  // namespace
}  // namespace varnow::testing
