#include "support/kx_filter.hpp"

#include <algorithm>
#include <string>

#include "support/kx_string.hpp"

namespace resq {

namespace {

// A path pattern matches where its text occurs in the directory part and ends at the end of that
// part or just before a "/", so "/tmp" matches "/tmp/x" but not "/tmpx".
bool path_matches(std::string_view directory, std::string_view pattern) {
    for (std::size_t at = directory.find(pattern); at != std::string_view::npos;
         at = directory.find(pattern, at + 1)) {
        const std::size_t end = at + pattern.size();
        if (end == directory.size() || directory[end] == '/') {
            return true;
        }
    }
    return false;
}

bool entry_matches(const filter_entry& entry, std::string_view directory, std::string_view name) {
    if (entry.path_pattern && path_matches(directory, entry.pattern)) {
        return true;
    }
    if (entry.match_all) {
        return true;
    }
    const std::string_view text = entry.pattern;
    if (entry.ends_with && entry.starts_with) {
        return name.find(text) != std::string_view::npos;
    }
    if (entry.ends_with) {
        // The end of the name is compared, not the first occurrence: "*.com" takes
        // mail.company.com. An empty text (from "**") takes only an empty name.
        return text.empty() ? name.empty() : name.ends_with(text);
    }
    if (entry.starts_with) {
        return name.starts_with(text);
    }
    return !text.empty() && name == text;
}

}  // namespace

bool filter_matches(std::string_view line, const std::vector<filter_entry>& filters) {
    if (filters.empty() || (filters.size() == 1 && filters.front().match_all)) {
        return true;
    }
    // Split at the last backslash or, failing one, the last slash; both count as "/" in the
    // directory part.
    std::size_t split = line.rfind('\\');
    if (split == std::string_view::npos) {
        split = line.rfind('/');
    }
    std::string directory;
    std::string name;
    if (split == std::string_view::npos) {
        name = to_lower(line);
    } else {
        directory = to_lower(line.substr(0, split));
        std::replace(directory.begin(), directory.end(), '\\', '/');
        name = to_lower(line.substr(split + 1));
    }
    return std::any_of(filters.begin(), filters.end(), [&](const filter_entry& entry) {
        return entry_matches(entry, directory, name);
    });
}

}  // namespace resq
