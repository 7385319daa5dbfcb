#include "app/status.hpp"

#include <cstring>

namespace varnow {

Status fileFailure(std::string_view action, std::string_view path, int err) {
  std::string sentence = "Could not ";
  sentence += action;
  sentence += ' ';
  sentence += path;
  sentence += ": ";
  sentence += err != 0 ? std::strerror(err) : "unknown error";
  sentence += '.';
  return Status::failure(std::move(sentence));
}

}  // namespace varnow
