#include "core/text_file.hpp"

#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

#include "core/forced_exit_cleanup.hpp"
#include "core/regular_file.hpp"

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

namespace {

// Writes, flushes, syncs and closes the open scratch stream; the stream is
// closed whatever happens. Returns 0 or the errno of the first failure.
int finishScratch(std::FILE* scratch, std::string_view text) {
  int err = 0;
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), scratch) != text.size()) {
    err = errno != 0 ? errno : EIO;
  }
  if (err == 0 && std::fflush(scratch) != 0) err = errno;
  // Without the sync a crash shortly after the rename could leave an empty
  // param.txt: the rename may reach the disk before the data does.
  if (err == 0 && ::fsync(::fileno(scratch)) != 0) err = errno;
  if (std::fclose(scratch) != 0 && err == 0) err = errno;
  return err;
}

}  // namespace

Status writeFileAtomically(const std::string& path, std::string_view text) {
  const std::string scratchPath = path + ".new";
  errno = 0;
  std::FILE* scratch = openRegularStream(scratchPath, "wb");
  // Nothing is removed here: whatever stands at the scratch path (a
  // directory, say) is not ours.
  if (scratch == nullptr) return fileFailure("create", scratchPath, errno);
  const ScratchPathGuard guard(scratchPath);

  errno = 0;
  const int writeErr = finishScratch(scratch, text);
  if (writeErr != 0) {
    std::remove(scratchPath.c_str());
    return fileFailure("write", path, writeErr);
  }
  if (std::rename(scratchPath.c_str(), path.c_str()) != 0) {
    const int err = errno;
    std::remove(scratchPath.c_str());
    return fileFailure("replace", path, err);
  }
  return Status::success();
}

}  // namespace varnow
