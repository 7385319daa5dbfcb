// The names the take operations give to files: base names, the stamped,
// appended and backup forms, and the scratch files written beside a file
// before it is replaced.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace varnow {

// Scratch files. Each is created in the directory of the file it is about to
// replace, so that the final rename never crosses a file system.
// INSERT_FILE needs none: it rewrites the destination in place, guarded by
// an undo journal (undo_journal.hpp).
inline constexpr std::string_view kPadScratch = "temp_pad.wav";    // PAD_FILE
inline constexpr std::string_view kDataScratch = "temp_data.wav";  // COPY_FILE, moveFile

// The base of a file name: its directory part kept as it is, then the name
// after any leading dots, up to (not including) its next '.'. A name without
// a dot is its own base.
//
//   guitar.wav -> guitar     song.v2.wav -> song     .hidden.wav -> hidden
//   mix/song.v2.wav -> mix/song                      ./song.wav -> ./song
std::string baseName(std::string_view name);

// `fileName` in the directory of `target`: "dir/fileName" for "dir/x.wav",
// plain `fileName` for a target without a directory part.
std::string besideFile(std::string_view target, std::string_view fileName);

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

// A name for a take that replaces nothing: `name` itself when nothing stands
// at that name (no file, directory or link), otherwise `name` with the
// smallest suffix -2, -3, ... before its ".wav" (at its end, for a name
// without that extension) under which nothing stands:
//   audio_ch_1_777.wav -> audio_ch_1_777-2.wav -> audio_ch_1_777-3.wav
// A name that cannot be examined counts as free; creating or renaming to it
// then says why it failed.
std::string unusedName(std::string_view name);

// "%s_bkup_%i.wav" from the base of `name` and `number`:
// takes.v2.wav with 77 -> takes_bkup_77.wav.
std::string backupName(std::string_view name, std::int64_t number);

}  // namespace varnow
