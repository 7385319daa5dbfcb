#pragma once

#include "app/project_settings.hpp"

namespace varnow {

// Before every pass and on exit: while the current play list cannot be
// opened, asks for another name (entry 1 of the play lists); then the same
// for the record list. There is no way to cancel but ending the input.
void checkListFiles(ProjectSettings& settings);

}  // namespace varnow
