#include "support/kx_portable_dir.hpp"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

#include "support/kx_filter.hpp"

namespace kxportdir {

namespace fs = std::filesystem;

stdin_stream_ex::stdin_stream_ex(std::istream& input, resq::descriptor_input* source)
    : uni::stdin_stream(input, source) {}

bool stdin_stream_ex::open_stdin() {
    dir_mode = false;
    return is_open;
}

bool stdin_stream_ex::open_dir(const std::string& path, uint32_t depth,
                               const std::vector<resq::filter_entry>& entry_filters) {
    directory_queue.clear();
    file_queue.clear();
    if (!readable_directory(path)) {
        return false;
    }
    max_depth = depth;
    filters = entry_filters;
    directory_queue.emplace_back(path, 0);
    dir_mode = true;
    return true;
}

bool stdin_stream_ex::read_line(std::string& line, bool trim) {
    if (!dir_mode) {
        return uni::stdin_stream::read_line(line, trim);
    }
    line.clear();
    while (file_queue.empty() && !directory_queue.empty()) {
        auto [directory, depth] = std::move(directory_queue.front());
        directory_queue.pop_front();
        list_directory(directory, depth);
    }
    if (file_queue.empty()) {
        return false;
    }
    line = std::move(file_queue.front());
    file_queue.pop_front();
    ++line_number_;
    return true;
}

void stdin_stream_ex::list_directory(const std::string& directory, uint32_t depth) {
    std::error_code error;
    fs::directory_iterator it(directory, error);
    std::vector<std::string> files;
    std::vector<std::string> subdirectories;
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const fs::directory_entry& entry = *it;
        std::error_code kind_error;
        const std::string path = entry.path().string();
        if (entry.is_symlink(kind_error)) {
            // A link to a file is listed; a link to a directory is not entered, so a tree that
            // links back to itself cannot make the walk endless.
            if (entry.is_regular_file(kind_error)) {
                files.push_back(path);
            }
        } else if (entry.is_directory(kind_error)) {
            if (depth < max_depth) {
                subdirectories.push_back(path);
            }
        } else if (entry.is_regular_file(kind_error)) {
            files.push_back(path);
        }
    }
    std::sort(files.begin(), files.end());
    std::sort(subdirectories.begin(), subdirectories.end());
    for (std::string& file : files) {
        if (resq::filter_matches(file, filters)) {
            file_queue.push_back(std::move(file));
        }
    }
    for (std::string& subdirectory : subdirectories) {
        directory_queue.emplace_back(std::move(subdirectory), depth + 1);
    }
}

bool readable_directory(const std::string& path) {
    std::error_code error;
    const fs::directory_iterator probe(path, error);
    return !error;
}

}  // namespace kxportdir
