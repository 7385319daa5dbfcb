#include "takes/existing_file.hpp"

namespace varnow {

FileHandle openExistingFile(const std::string& path, const char* mode) {
  return openFile(path, mode);
}

}  // namespace varnow
