// The names the take operations give to files: the stamped, appended and
// backup forms of a name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/file_paths.hpp"

namespace varnow {

// "%s_stp_%li.wav" from the base of `name` and `stamp`:
// audio_ch_2_777.wav with stamp 0 -> audio_ch_2_777_stp_0.wav.
std::string stampedName(std::string_view name, std::int64_t stamp);

// The name cut before the first "_stp" of its file name part, plus ".wav":
// audio_ch_3_123456_stp_96000.wav -> audio_ch_3_123456.wav. A name without
// "_stp" comes back unchanged.
std::string withoutStamp(std::string_view name);

// "%s_%s.wav" from the base of `recordName` and `appendText`:
// drums.wav with take2 -> drums_take2.wav.
std::string appendedName(std::string_view recordName, std::string_view appendText);

// "%s_bkup_%i.wav" from the base of `name` and `number`:
// takes.v2.wav with 77 -> takes_bkup_77.wav.
std::string backupName(std::string_view name, std::int64_t number);

}  // namespace varnow
