// param.txt: the project's settings between runs.
//
// One setting per line: a key, a separator (a tab when written), and a value
// that runs to the end of the line. Indexed lines carry tab-separated number
// fields before the value ("v\t3\t-6.00"). The full writer groups lines under
// heading lines that the reader skips. Positions are signed 64-bit decimals.
#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/project_settings.hpp"
#include "core/status.hpp"

namespace varnow {

inline constexpr const char* kSettingsFileName = "param.txt";

// Reads settings text into `settings`, changing only the fields whose keys
// it meets (everything else keeps its current value). Pure apart from one
// message: a range line without a name prints
// "Error parsing time ranges in param.txt file!" and a newline. The rules:
//  - words separated by spaces, tabs and newlines; a word that is not a key
//    (a heading word, say) is skipped and the next word tried as a key;
//  - a plain key's value is the rest of its line after the one separator that
//    ended the key; a key ended by the end of its line has no value and is
//    ignored, as is an empty value;
//  - indexed keys split number fields at tabs, the last field being the rest
//    of the line; a line lacking a required number field is ignored;
//  - a tempo outside 1..400 reads as 120 and beats per measure outside 1..128
//    as 4 (as the tempo menu has it), a rate below 1 as 44100, and a bus level
//    beyond -144..15 dB as the nearer limit;
//  - carriage returns at the end of a line are ignored (files edited on
//    systems that end lines with CR LF read the same);
//  - ranges and locate points fill slots 1..64 in file order, whatever slots
//    they were saved from; further lines are ignored;
//  - bus channel lists are collected per bus and applied by ActivateBusses
//    once the whole text is read.
void ParseSettingsText(std::string_view text, ProjectSettings& settings);

// Reads the open param.txt stream whole, closes it and parses it with
// ParseSettingsText. If the stream cannot be read, no setting changes and the
// failure sentence comes back (the caller ends the program: settings it never
// saw must not be saved over).
Status GET_PARAMS(ProjectSettings& settings, std::FILE* file);

// Applies the collected bus channel lists: bus text b-1 holds the channel
// list of bus b ("3,0,300,4,"). Every comma-separated item whose number lies
// in 1..256 puts that channel on the bus and turns the bus on; other items
// are ignored. Busses whose text holds no valid channel are left as they are.
void ActivateBusses(const std::array<std::string, kMaxBusses>& busTexts, ProjectSettings& settings);

// The exact bytes of the first, seven-line param.txt: dv, sr, inputs,
// outputs, ch, buf, int.
std::string FirstSettingsText(const ProjectSettings& settings);

// The exact bytes of the complete param.txt: the 24 plain lines, then the
// volume, pan, solo, range, locate, play list, record list, bus and bus
// level groups, each after an empty line and its heading.
std::string SettingsText(const ProjectSettings& settings);

// Writes FirstSettingsText to param.txt in the current directory, replacing
// it atomically. Prints "Created param.txt file" and a newline on success;
// otherwise prints the failure sentence and a newline and returns it.
Status MAKE_PARAM_FILE(const ProjectSettings& settings);

// Writes SettingsText to param.txt in the current directory, replacing it
// atomically. Prints "\nStored Settings\n" on success; otherwise prints the
// failure sentence and a newline and returns it, and the old param.txt stays
// as it was.
Status Store_Settings(const ProjectSettings& settings);

}  // namespace varnow
