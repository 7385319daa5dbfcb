#include "takes/file_names.hpp"

#include "core/print.hpp"

namespace varnow {
std::string stampedName(std::string_view name, std::int64_t stamp) {
  const std::string base = baseName(name);
  return formatText("%s_stp_%li.wav", base.c_str(), static_cast<long>(stamp));
}

std::string withoutStamp(std::string_view name) {
  const std::size_t stamp = name.find("_stp", name.size() - fileNamePart(name).size());
  if (stamp == std::string_view::npos) return std::string(name);
  std::string cut(name.substr(0, stamp));
  cut += ".wav";
  return cut;
}

std::string appendedName(std::string_view recordName, std::string_view appendText) {
  const std::string base = baseName(recordName);
  const std::string text(appendText);
  return formatText("%s_%s.wav", base.c_str(), text.c_str());
}

std::string backupName(std::string_view name, std::int64_t number) {
  const std::string base = baseName(name);
  // The number is the take's time stamp; printed in full (a plain "%i" of the
  // same value for every stamp that fits an int).
  return formatText("%s_bkup_%li.wav", base.c_str(), static_cast<long>(number));
}

}  // namespace varnow
