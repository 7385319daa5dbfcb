#include "engine/device_list.hpp"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "core/print.hpp"

namespace varnow {

namespace {

// The library's own diagnostics for devices that fail to open would crowd
// the list; the list says in its own words why a device is refused.
void quietErrorHandler(const char*, int, const char*, int, const char*, ...) {}

struct FreeHint {
  void operator()(char* text) const { std::free(text); }
};
using HintText = std::unique_ptr<char, FreeHint>;

// "yes", or "no" with the reason: the device does not open, or it opens but
// refuses non-interleaved access or 24-bit packed samples.
std::string tryDirection(const char* name, snd_pcm_stream_t stream) {
  snd_pcm_t* pcm = nullptr;
  // Non-blocking: a device in use says so instead of waiting for its user.
  int err = snd_pcm_open(&pcm, name, stream, SND_PCM_NONBLOCK);
  if (err < 0) return formatText("no (%s)", snd_strerror(err));
  snd_pcm_hw_params_t* params = nullptr;
  std::string verdict = "yes";
  if (snd_pcm_hw_params_malloc(&params) < 0) {
    verdict = "no (out of memory)";
  } else {
    snd_pcm_hw_params_any(pcm, params);
    if (snd_pcm_hw_params_set_access(pcm, params, SND_PCM_ACCESS_RW_NONINTERLEAVED) < 0) {
      verdict = "no (no non-interleaved access)";
    } else if (snd_pcm_hw_params_set_format(pcm, params, SND_PCM_FORMAT_S24_3LE) < 0) {
      verdict = "no (no 24-bit packed samples)";
    }
    snd_pcm_hw_params_free(params);
  }
  snd_pcm_close(pcm);
  return verdict;
}

void printDescription(const char* description) {
  // Descriptions hold one or more lines; each is indented under the name.
  std::string line;
  for (const char* c = description;; ++c) {
    if (*c == '\n' || *c == '\0') {
      print("    %s\n", line.c_str());
      line.clear();
      if (*c == '\0') break;
    } else {
      line.push_back(*c);
    }
  }
}

}  // namespace

int listDevices() {
  snd_lib_error_set_handler(quietErrorHandler);
  void** hints = nullptr;
  const int err = snd_device_name_hint(-1, "pcm", &hints);
  if (err < 0) {
    printError("Could not list the ALSA devices: %s.\n", snd_strerror(err));
    return 1;
  }
  for (void** hint = hints; *hint != nullptr; ++hint) {
    const HintText name(snd_device_name_get_hint(*hint, "NAME"));
    if (!name) continue;
    const HintText description(snd_device_name_get_hint(*hint, "DESC"));
    printLine(name.get());
    if (description) printDescription(description.get());
    const std::string playback = tryDirection(name.get(), SND_PCM_STREAM_PLAYBACK);
    const std::string capture = tryDirection(name.get(), SND_PCM_STREAM_CAPTURE);
    print("    Varnow: playback %s, capture %s\n", playback.c_str(), capture.c_str());
  }
  snd_device_name_free_hint(hints);
  snd_config_update_free_global();
  printLine("");
  printLine("A project uses the device named on the dv line of its param.txt.");
  return 0;
}

}  // namespace varnow
