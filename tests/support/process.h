// Running the built toy as a child process.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

struct child {
    pid_t pid;
    std::string out_path; // its standard output, kept in a file
    std::string err_path;
};

// The user to run as when the tests run as root but something must not.
const uid_t nobody = 65534;

typedef std::vector<std::pair<std::string, std::string>> env_list;

// Starts the command (program first, then its arguments) in dir, with env added to (or, with
// an empty value, removed from) ours; as another user when as is not 0.
child start_program(const std::vector<std::string>& command, const std::string& dir,
                    const env_list& env, uid_t as = 0);

// The exit status; -1 if a signal ended it; -2 if it was still running at the deadline,
// and then it has been killed. With largest_kb, the most memory it or any of the children it
// waited for held at once.
int wait_child(child* c, int timeout_ms, long* largest_kb = nullptr);

std::string read_file(const std::string& path);

// The processor time the process has taken so far, all its threads, in seconds.
double cpu_seconds(pid_t pid);

// The process's children as they are now (the toy's are its decoding helpers).
std::vector<pid_t> children_of(pid_t pid);
