#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

static void redirect(const std::string& path, int fd) {
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (file >= 0) {
        dup2(file, fd);
        close(file);
    }
}

child start_program(const std::vector<std::string>& command, const std::string& dir,
                    const env_list& env, uid_t as) {
    static int serial = 0;
    std::string tag = dir + "/.run" + std::to_string(serial++);
    child c = {-1, tag + ".out", tag + ".err"};
    c.pid = fork();
    if (c.pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlive the test
        for (auto& [name, value] : env) {
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        redirect(c.out_path, 1);
        redirect(c.err_path, 2);
        if (as != 0 && (setgid(as) != 0 || setuid(as) != 0))
            _exit(126);
        std::vector<char*> argv;
        for (const std::string& word : command)
            argv.push_back((char*)word.c_str());
        argv.push_back(nullptr);
        if (chdir(dir.c_str()) == 0)
            execvp(argv[0], argv.data());
        _exit(127);
    }
    return c;
}

int wait_child(child* c, int timeout_ms, long* largest_kb) {
    for (int waited = 0;; waited++) {
        int status = 0;
        struct rusage used = {};
        pid_t done = wait4(c->pid, &status, WNOHANG, &used);
        if (done == c->pid && largest_kb)
            *largest_kb = used.ru_maxrss;
        if (done == c->pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 || waited >= timeout_ms)
            break;
        struct timespec ms = {0, 1000000};
        nanosleep(&ms, nullptr);
    }
    kill(c->pid, SIGKILL);
    waitpid(c->pid, nullptr, 0);
    return -2;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<pid_t> children_of(pid_t pid) {
    std::string id = std::to_string(pid);
    std::istringstream listed(read_file("/proc/" + id + "/task/" + id + "/children"));
    std::vector<pid_t> children;
    for (pid_t child; listed >> child;)
        children.push_back(child);
    return children;
}

double cpu_seconds(pid_t pid) {
    // After the command's closing parenthesis: state is field 3, utime and stime 14 and 15.
    std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
    size_t end = stat.rfind(')');
    if (end == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(end + 2));
    std::string field;
    for (int i = 3; i < 14 && fields >> field; i++)
        ;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) / (double)sysconf(_SC_CLK_TCK);
}
