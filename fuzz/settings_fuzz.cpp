// Feeds arbitrary bytes to the param.txt reader, and checks that saving the
// result and restarting from the saved text is a fixed point: a second save
// writes the same bytes as the first.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/settings_file.hpp"
#include "core/project_settings.hpp"

namespace {

bool endsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A bus level a little off 0 dB (0.001, say) is written, since it is not
// 0.0, as "0.00"; that reads back as 0.0, which is not written. Such lines
// are the one difference a save and restart may make, so they are dropped
// before comparing.
std::string withoutZeroBusLevels(std::string_view text) {
  std::string kept;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    const bool zeroLevel =
        line.substr(0, 6) == "busvl\t" && (endsWith(line, "\t0.00") || endsWith(line, "\t-0.00"));
    if (!zeroLevel) {
      kept += line;
      if (end != std::string_view::npos) kept += '\n';
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader prints a message for ranges without a name.
  static const bool silenced = std::freopen("/dev/null", "w", stdout) != nullptr;
  (void)silenced;

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  varnow::ProjectSettings first;
  varnow::ParseSettingsText(input, first);
  const std::string saved = varnow::SettingsText(first);

  varnow::ProjectSettings restarted;
  varnow::ParseSettingsText(saved, restarted);
  const std::string savedAgain = varnow::SettingsText(restarted);

  if (withoutZeroBusLevels(saved) != savedAgain) std::abort();
  return 0;
}
