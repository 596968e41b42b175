// Running a built program with given arguments and input, and collecting what it wrote.
#pragma once

#include <string>
#include <vector>

namespace resq::testing_support {

/// What a finished program left behind.
struct process_result {
    int exit_status = -1;  // -1 when it did not exit normally
    std::string out;
    std::string err;
};

/// Runs `argv` (argv[0] is the program path) with `input` on its standard input and waits for it;
/// its standard output goes to `out_fd` and its standard error to `err_fd` instead when they are
/// given (then `out` or `err` stays empty).
process_result run_process(const std::vector<std::string>& argv, const std::string& input = "",
                           int out_fd = -1, int err_fd = -1);

/// Everything `fd` gives until its end or an error (a terminal's master side ends in EIO once
/// every process has closed the other side).
std::string read_all(int fd);

/// A child process that runs until stopped (the scripted responder).
class background_process {
  public:
    /// Starts `argv` and waits until it writes its first line (its "ready") on standard output.
    explicit background_process(const std::vector<std::string>& argv);
    ~background_process();
    background_process(const background_process&) = delete;
    background_process& operator=(const background_process&) = delete;

    /// True when the process started and reported ready.
    bool ready() const { return ready_; }

  private:
    int pid_ = -1;
    bool ready_ = false;
};

}  // namespace resq::testing_support
