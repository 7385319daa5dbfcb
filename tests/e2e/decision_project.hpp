// What the tests of taking decisions back share: two inputs of known
// staircases recording over a vox.wav that is there, and the undo store.
#pragma once

#include <algorithm>
#include <filesystem>

#include "e2e/e2e.hpp"

namespace varnow::testing {

inline constexpr std::size_t kTake = 9216;
inline constexpr std::int32_t kBaseOne = 1000000;
inline constexpr std::int32_t kBaseTwo = 2000000;
inline const std::string kPrompt = "Recording finished.  Enter a take handling command.\n";
inline const std::string kOld = wavFile(staircase(40000, -100, -1));

// Every name in the project's undo store, sorted (none without a store).
inline std::vector<std::string> storeNames(const ProjectFixture& project) {
  std::vector<std::string> names;
  std::error_code none;
  for (const auto& entry :
       std::filesystem::directory_iterator(project.dir() / ".varnow-undo", none))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The files the store keeps for decisions: the records left out.
inline std::vector<std::string> storedFiles(const ProjectFixture& project) {
  std::vector<std::string> names = storeNames(project);
  std::erase_if(names, [](const std::string& name) {
    return name == "record" || name == "history" || name == "redo";
  });
  return names;
}

}  // namespace varnow::testing
