#include "timeline/numeric_reply.hpp"

#include <limits>
#include <string>

namespace varnow {

float narrowToFloat(double value) {
  constexpr double kLargest = std::numeric_limits<float>::max();
  if (value > kLargest) return std::numeric_limits<float>::infinity();
  if (value < -kLargest) return -std::numeric_limits<float>::infinity();
  return static_cast<float>(value);
}

int narrowToInt(std::int64_t value) {
  if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
  return static_cast<int>(value);
}

float floatFromWord(std::string_view word) {
  return narrowToFloat(wordAsFloat(std::string(word)));
}

int intFromWord(std::string_view word) {
  return narrowToInt(wordAsInteger(std::string(word)));
}

float readFloatReply(ConsoleInput& replies) {
  return narrowToFloat(replies.readWordAsFloat());
}

int readIntReply(ConsoleInput& replies) {
  return narrowToInt(replies.readWordAsInteger());
}

}  // namespace varnow
