// The -filter test applied to input lines and to directory entries.
#pragma once

#include <string_view>
#include <vector>

#include "support/cmd_params.hpp"

namespace resq {

/// True when `line` is accepted by `filters`: an empty list or a lone "*" accepts everything,
/// otherwise the first entry that matches the line's name part (or, for a path pattern, its
/// directory part) accepts it.
bool filter_matches(std::string_view line, const std::vector<filter_entry>& filters);

}  // namespace resq
