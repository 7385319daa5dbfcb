#include "takes/file_names.hpp"

#include <sys/stat.h>

#include "core/print.hpp"

namespace varnow {
namespace {

// Index just past the directory part: the character after the last '/'.
std::size_t fileNameStart(std::string_view name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

}  // namespace

std::string baseName(std::string_view name) {
  const std::size_t nameStart = fileNameStart(name);
  std::string base(name.substr(0, nameStart));
  const std::string_view fileName = name.substr(nameStart);
  const std::size_t start = fileName.find_first_not_of('.');
  if (start == std::string_view::npos) return base;
  const std::size_t dot = fileName.find('.', start);
  base +=
      fileName.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
  return base;
}

std::string besideFile(std::string_view target, std::string_view fileName) {
  std::string path(target.substr(0, fileNameStart(target)));
  path += fileName;
  return path;
}

std::string stampedName(std::string_view name, std::int64_t stamp) {
  const std::string base = baseName(name);
  return formatText("%s_stp_%li.wav", base.c_str(), static_cast<long>(stamp));
}

std::string withoutStamp(std::string_view name) {
  const std::size_t stamp = name.find("_stp", fileNameStart(name));
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

std::string unusedName(std::string_view name) {
  const auto taken = [](const std::string& candidate) {
    struct stat info {};
    return ::lstat(candidate.c_str(), &info) == 0;
  };
  std::string candidate(name);
  if (!taken(candidate)) return candidate;
  const std::string_view extension = name.ends_with(".wav") ? ".wav" : "";
  const std::string stem(name.substr(0, name.size() - extension.size()));
  const std::string ending(extension);
  for (long suffix = 2;; ++suffix) {
    candidate = formatText("%s-%li%s", stem.c_str(), suffix, ending.c_str());
    if (!taken(candidate)) return candidate;
  }
}

std::string backupName(std::string_view name, std::int64_t number) {
  const std::string base = baseName(name);
  // The number is the take's time stamp; printed in full (a plain "%i" of the
  // same value for every stamp that fits an int).
  return formatText("%s_bkup_%li.wav", base.c_str(), static_cast<long>(number));
}

}  // namespace varnow
