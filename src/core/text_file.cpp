#include "core/text_file.hpp"

#include <array>
#include <cerrno>
#include <cstdio>

#include "core/file_paths.hpp"
#include "core/regular_file.hpp"
#include "core/scratch_file.hpp"

namespace varnow {

Status readWholeStream(std::FILE* file, std::string_view path, std::string& text) {
  text.clear();
  std::array<char, 65536> chunk{};
  while (true) {
    const std::size_t bytesRead = std::fread(chunk.data(), 1, chunk.size(), file);
    text.append(chunk.data(), bytesRead);
    if (bytesRead < chunk.size()) break;
  }
  if (std::ferror(file) != 0) {
    const int err = errno;
    std::fclose(file);
    return fileFailure("read", path, err);
  }
  // The stream was only read: a failing close cannot lose anything of the
  // text already in hand, so it is not a failure of the read.
  std::fclose(file);
  return Status::success();
}

Status readWholeFile(const std::string& path, std::string& text) {
  text.clear();
  errno = 0;
  std::FILE* file = openRegularStream(path, "rb");
  if (file == nullptr) return fileFailure("open", path, errno);
  return readWholeStream(file, path, text);
}

Status writeFileAtomically(const std::string& path, std::string_view text) {
  ScratchFile scratch(path, fileNamePart(path) + ".new", {}, path);
  if (!scratch.opened()) return scratch.opened();
  errno = 0;
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), scratch.stream()) != text.size()) {
    return fileFailure("write", path, errno != 0 ? errno : EIO);
  }
  return scratch.replaceTarget();
}

}  // namespace varnow
