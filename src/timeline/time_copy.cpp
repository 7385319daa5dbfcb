#include "timeline/time_copy.hpp"

namespace varnow {

Position* pointForLetter(ProjectSettings& settings, char letter) {
  switch (letter) {
    case 'i':
      return &settings.inPoint;
    case 'o':
      return &settings.outPoint;
    case 'e':
      return &settings.punchPoint;
    case 'm':
      return &settings.memoryPoint;
    default:
      return nullptr;
  }
}

bool copyTimePoint(ProjectSettings& settings, std::string_view word) {
  if (word.size() != 3 || word[1] != '.' || word[0] == word[2]) return false;
  const Position* source = pointForLetter(settings, word[0]);
  Position* destination = pointForLetter(settings, word[2]);
  if (source == nullptr || destination == nullptr) return false;
  *destination = *source;
  return true;
}

}  // namespace varnow
