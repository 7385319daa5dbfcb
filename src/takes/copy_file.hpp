// Backing a destination file up before a take is punched into it.
#pragma once

#include <cstdint>
#include <string>

#include "core/status.hpp"

namespace varnow {

// Writes a byte-for-byte copy of `path` to backupName(path, number),
// "%s_bkup_%i.wav" (takes.v2.wav with 77 -> takes_bkup_77.wav), replacing an
// earlier backup of that name without asking. The copy shares the file's
// blocks where the file system can (a reflink clone), else the kernel copies
// it (copy_file_range), else it is copied in pieces of 4096 bytes
// (durable.hpp). It goes to kDataScratch beside the backup and is renamed
// to it when complete, so an earlier backup survives a failed copy. Prints
// "Copied %s to %s\n" (source, backup) on success; on failure prints
// "File %s does not exist\n" when the source does not exist (any other
// reason it cannot be opened prints nothing here), otherwise "Cannot create
// backup file %s\n" with the backup's name, and returns the sentence naming
// the file and the reason for the caller to print.
Status COPY_FILE(std::int64_t number, const std::string& path);

}  // namespace varnow
