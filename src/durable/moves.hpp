// The moves of the durable room's own bookkeeping.
#pragma once

#include <string>

#include "core/status.hpp"

namespace varnow {

// moveFile without settling either name first: for taking a step back,
// whose names the decision's own judge has settled.
Status moveWithoutSettling(const std::string& from, const std::string& to);

}  // namespace varnow
