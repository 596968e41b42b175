#include "tests/e2e/process.hpp"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace resq::testing_support {

namespace {

std::vector<char*> c_arguments(const std::vector<std::string>& argv) {
    std::vector<char*> pointers;
    for (const std::string& argument : argv) {
        pointers.push_back(const_cast<char*>(argument.c_str()));
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::string slurp_and_close(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char block[4096];
    for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) != 0;) {
        text.append(block, n);
    }
    std::fclose(file);
    return text;
}

}  // namespace

process_result run_process(const std::vector<std::string>& argv, const std::string& input,
                           int out_fd, int err_fd) {
    // Temporary files rather than pipes: no deadlock whatever the sizes, and nothing to poll.
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    process_result result;
    if (in == nullptr || out == nullptr || err == nullptr) {
        return result;
    }
    std::fwrite(input.data(), 1, input.size(), in);
    std::fflush(in);
    std::rewind(in);
    std::vector<char*> arguments = c_arguments(argv);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fileno(in), STDIN_FILENO);
        dup2(out_fd >= 0 ? out_fd : fileno(out), STDOUT_FILENO);
        dup2(err_fd >= 0 ? err_fd : fileno(err), STDERR_FILENO);
        signal(SIGPIPE, SIG_DFL);  // as a shell starts a program
        alarm(60);  // kept across exec: a run that hangs is killed and fails its test
        execv(arguments[0], arguments.data());
        _exit(127);
    }
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status)) {
        result.exit_status = WEXITSTATUS(status);
    }
    result.out = slurp_and_close(out);
    result.err = slurp_and_close(err);
    std::fclose(in);
    return result;
}

background_process::background_process(const std::vector<std::string>& argv) {
    int ready_pipe[2];
    if (pipe(ready_pipe) != 0) {
        return;
    }
    std::vector<char*> arguments = c_arguments(argv);
    pid_ = fork();
    if (pid_ == 0) {
        dup2(ready_pipe[1], STDOUT_FILENO);
        close(ready_pipe[0]);
        execv(arguments[0], arguments.data());
        _exit(127);
    }
    close(ready_pipe[1]);
    // Bounded wait for the first line: a responder that cannot bind never says ready.
    pollfd wait{ready_pipe[0], POLLIN, 0};
    char c = 0;
    std::string line;
    while (pid_ > 0 && poll(&wait, 1, 5000) == 1 && read(ready_pipe[0], &c, 1) == 1 && c != '\n') {
        line += c;
    }
    ready_ = line == "ready";
    close(ready_pipe[0]);
}

background_process::~background_process() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::string read_all(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

}  // namespace resq::testing_support
