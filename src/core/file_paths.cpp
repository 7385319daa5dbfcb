#include "core/file_paths.hpp"

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

std::string fileNamePart(std::string_view path) {
  return std::string(path.substr(fileNameStart(path)));
}

std::string directoryOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  return slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
}

std::string besideFile(std::string_view target, std::string_view fileName) {
  std::string path(target.substr(0, fileNameStart(target)));
  path += fileName;
  return path;
}

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

std::optional<FileIdentity> identityOf(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                      static_cast<std::uint64_t>(info.st_ino),
                      static_cast<std::int64_t>(info.st_size),
                      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                          static_cast<std::int64_t>(info.st_mtim.tv_nsec)};
}

bool nameTaken(const std::string& path) {
  return identityOf(path).has_value();
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat aInfo {};
  struct stat bInfo {};
  if (::stat(a.c_str(), &aInfo) != 0 || ::stat(b.c_str(), &bInfo) != 0) return false;
  return aInfo.st_dev == bInfo.st_dev && aInfo.st_ino == bInfo.st_ino;
}

std::string unusedName(std::string_view name) {
  std::string candidate(name);
  if (!nameTaken(candidate)) return candidate;
  const std::string_view extension = name.ends_with(".wav") ? ".wav" : "";
  const std::string stem(name.substr(0, name.size() - extension.size()));
  const std::string ending(extension);
  for (long suffix = 2;; ++suffix) {
    candidate = formatText("%s-%li%s", stem.c_str(), suffix, ending.c_str());
    if (!nameTaken(candidate)) return candidate;
  }
}

}  // namespace varnow
