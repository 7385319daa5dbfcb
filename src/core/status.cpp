#include "core/status.hpp"

#include <cstring>

#include "core/regular_file.hpp"

namespace varnow {

Status fileFailure(std::string_view action, std::string_view path, int err) {
  std::string sentence = "Could not ";
  sentence += action;
  sentence += ' ';
  sentence += path;
  sentence += ": ";
  if (err == kNotRegularFile) {
    sentence += "it is not a regular file";
  } else {
    sentence += err != 0 ? std::strerror(err) : "unknown error";
  }
  sentence += '.';
  return Status::failure(std::move(sentence), err);
}

}  // namespace varnow
