// A line source that reads standard input or, for -enumdir, the file paths of a directory tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <istream>
#include <string>
#include <utility>
#include <vector>

#include "support/cmd_params.hpp"
#include "support/kx_stdin_stream.hpp"

namespace kxportdir {

/// Hands out lines of standard input, or one path per line from a directory walk.
///
/// The walk is breadth first: the start directory's files, then those of its subdirectories
/// one level deeper, and so on down to `max_depth`. Within a directory, files and subdirectories
/// are taken in byte order of their names, so a tree always lists in the same order. Links to
/// directories are not followed; unreadable directories yield nothing.
class stdin_stream_ex : public uni::stdin_stream {
  public:
    explicit stdin_stream_ex(std::istream& input, resq::descriptor_input* source = nullptr);

    /// Selects standard input; always available.
    bool open_stdin();

    /// Selects the tree under `path`, down to `max_depth` levels of subdirectories, keeping the
    /// files that pass `filters`. False when `path` is not a directory that can be read.
    bool open_dir(const std::string& path, uint32_t max_depth,
                  const std::vector<resq::filter_entry>& filters);

    /// The next line of standard input, or the next path of the tree.
    bool read_line(std::string& line, bool trim) override;
    /// Paths of the walk listed but not handed out yet; directories not listed yet are not counted.
    std::size_t queued_paths() const { return file_queue.size(); }

  private:
    /// Lists one directory: queues its files that pass the filters and its subdirectories.
    void list_directory(const std::string& directory, uint32_t depth);

    std::deque<std::pair<std::string, uint32_t>> directory_queue;
    std::deque<std::string> file_queue;
    uint32_t max_depth = 1;
    std::vector<resq::filter_entry> filters;
    bool dir_mode = false;
};

/// True when `path` names a directory whose entries can be listed.
bool readable_directory(const std::string& path);

}  // namespace kxportdir
