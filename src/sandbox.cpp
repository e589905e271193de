// The sandbox a decoding helper enters once it has read its file. What fails open and what fails
// closed is decided in sandbox_enter: a layer this kernel lacks, as sandbox_prepare has said, is
// left out; one it has and that cannot be entered refuses the picture.
#include "sandbox.h"

#include <errno.h>
#include <linux/landlock.h>
#include <seccomp.h>
#include <signal.h>
#include <stddef.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

// ---- Descriptors ----

// Every descriptor but those kept: the toy's terminal, its window and the other pictures' pipes
// and memory files are out of reach.
static bool keep_only(std::vector<int> kept) {
    std::sort(kept.begin(), kept.end());
    unsigned from = 0;
    for (int fd : kept) {
        if ((unsigned)fd > from && close_range(from, (unsigned)fd - 1, 0) != 0)
            return false;
        from = (unsigned)fd + 1;
    }
    return close_range(from, ~0U, 0) == 0;
}

// Valgrind keeps the hard limit for itself; the soft one holds all the same, and the filter,
// where it runs, forbids raising it again.
static bool no_new_descriptors() {
    struct rlimit none = {0, 0}, now;
    if (setrlimit(RLIMIT_NOFILE, &none) == 0)
        return true;
    if (getrlimit(RLIMIT_NOFILE, &now) != 0)
        return false;
    now.rlim_cur = 0;
    return setrlimit(RLIMIT_NOFILE, &now) == 0;
}

// ---- Landlock ----

// Landlock's ruleset as the newest kernels take it; older headers lack its later fields. Each
// kernel is given the part it knows.
struct landlock_rules {
    uint64_t fs;     // file-system rights handled, and so, with no rule granting any, denied
    uint64_t net;    // from ABI 4: TCP rights
    uint64_t scoped; // from ABI 6: what may not reach outside the sandbox
};
const long landlock_newest = 6; // the last ABI that adds anything denied here
const uint64_t landlock_fs_v1 = (LANDLOCK_ACCESS_FS_MAKE_SYM << 1) - 1; // read, write, make...
const uint64_t landlock_fs_refer = 1ULL << 13;                          // ABI 2
const uint64_t landlock_fs_truncate = 1ULL << 14;                       // ABI 3
const uint64_t landlock_fs_ioctl_dev = 1ULL << 15;                      // ABI 5
const uint64_t landlock_net_tcp = 3;                                    // bind and connect, ABI 4
const uint64_t landlock_scope_abstract_unix = 1;                        // ABI 6
const uint64_t landlock_scope_signal = 2;                               // ABI 6

// A ruleset denying everything Landlock of this ABI can deny; its descriptor, or -1.
static long landlock_ruleset(long abi) {
    landlock_rules rules = {landlock_fs_v1, 0, 0};
    size_t size = offsetof(landlock_rules, net);
    if (abi >= 2)
        rules.fs |= landlock_fs_refer;
    if (abi >= 3)
        rules.fs |= landlock_fs_truncate;
    if (abi >= 4) {
        rules.net = landlock_net_tcp;
        size = offsetof(landlock_rules, scoped);
    }
    if (abi >= 5)
        rules.fs |= landlock_fs_ioctl_dev;
    if (abi >= 6) {
        rules.scoped = landlock_scope_abstract_unix | landlock_scope_signal;
        size = sizeof rules;
    }
    return syscall(SYS_landlock_create_ruleset, &rules, size, 0);
}

// The newest ABI whose ruleset this kernel takes: an emulator can pass the version on and still
// refuse the ruleset that goes with it.
static int landlock_usable(const char** why) {
    long abi = syscall(SYS_landlock_create_ruleset, nullptr, 0, LANDLOCK_CREATE_RULESET_VERSION);
    if (abi < 1) {
        *why = errno == EOPNOTSUPP ? "this kernel has Landlock switched off"
                                   : "this system has no Landlock";
        return 0;
    }
    for (abi = std::min(abi, landlock_newest); abi >= 1; abi--) {
        long ruleset = landlock_ruleset(abi);
        if (ruleset >= 0) {
            close((int)ruleset);
            return (int)abi;
        }
    }
    *why = "this system refuses every Landlock ruleset";
    return 0;
}

static bool deny_by_landlock(int abi) {
    long ruleset = landlock_ruleset(abi);
    if (ruleset < 0)
        return false;
    bool entered = syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    close((int)ruleset);
    return entered;
}

// ---- The system-call filter ----

// What decoding needs once the bytes are in memory.
static const char* const allowed_calls[] = {
    // memory, as the decoders grow and shrink their buffers
    "brk",
    "munmap",
    "mremap",
    "madvise",
    // the picture into its pipe and memory file, and warnings to nowhere
    "write",
    "pwrite64",
    "writev",
    // glibc's abort, which signals its own thread (tgkill, below)
    "getpid",
    "gettid",
    "rt_sigprocmask",
    // libtiff's qsort asks how much memory there is
    "sysinfo",
    // locks, clocks and the end
    "futex",
    "clock_gettime",
    "exit",
    "exit_group",
};

// The ways out. A decoder that tries one has been taken over, so the helper dies.
static const char* const fatal_calls[] = {
    // another program
    "execve",
    "execveat",
    // the network, the session bus, the display server
    "socket",
    "connect",
    // the toy's memory, or any process's
    "ptrace",
    "process_vm_readv",
    "process_vm_writev",
    // signals to others
    "kill",
    "tkill",
    // new processes and namespaces
    "clone",
    "clone3",
    "fork",
    "vfork",
    "unshare",
    "setns",
    // the kernel's larger attack surfaces
    "bpf",
    "io_uring_setup",
    "io_uring_enter",
    "io_uring_register",
    "perf_event_open",
    // other processes by handle
    "pidfd_open",
    "pidfd_send_signal",
    "pidfd_getfd",
};

// A library may look for an optional file and carry on without it, as with no permission.
static const char* const refused_file_calls[] = {"open", "openat", "creat"};

// Memory is mapped and protected for reading and writing only: no memory the helper writes can
// ever run, and a decoder that asks for that has been taken over.
static const char* const mapping_calls[] = {"mmap", "mmap2", "mprotect"};
const scmp_datum_t data_only = PROT_READ | PROT_WRITE;

// Rules by name, so the list holds on every architecture. A call this one lacks gets no rule;
// it cannot be made, and the default would refuse it anyway.
static void rule(scmp_filter_ctx filter, uint32_t action, const char* call) {
    int number = seccomp_syscall_resolve_name(call);
    if (number != __NR_SCMP_ERROR)
        seccomp_rule_add(filter, action, number, 0);
}

// The same, when the call's protection (its third argument) has none of the bits in mask but
// those in bits.
static void protection_rule(scmp_filter_ctx filter, uint32_t action, const char* call,
                            scmp_datum_t mask, scmp_datum_t bits) {
    int number = seccomp_syscall_resolve_name(call);
    if (number != __NR_SCMP_ERROR)
        seccomp_rule_add(filter, action, number, 1, SCMP_A2(SCMP_CMP_MASKED_EQ, mask, bits));
}

// ---- Saying which call was refused, for whoever meets a picture refused for no clear reason ----

// Names of the calls this architecture numbers, looked up before the filter is entered: a
// signal handler cannot safely ask libseccomp, which allocates.
const int most_calls = 1024;
static const char* call_names[most_calls];

static void say(const char* text) {
    ssize_t ignored = write(STDERR_FILENO, text, strlen(text));
    (void)ignored;
}

// The filter stops a call it does not name with this signal rather than ENOSYS; the helper says
// which call it was and lets the decoder see ENOSYS, as it would have.
static void on_refused_call(int, siginfo_t* info, void* context) {
    int call = info->si_syscall;
    char number[16];
    int at = sizeof number - 1;
    number[at] = 0;
    unsigned n = (unsigned)call;
    do
        number[--at] = (char)('0' + n % 10);
    while ((n /= 10) > 0);
    say("dressup: a picture's helper was refused the system call ");
    say(call >= 0 && call < most_calls && call_names[call] ? call_names[call] : "(unnamed)");
    say(" (number ");
    say(number + at);
    say(")\n");
    ucontext_t* registers = (ucontext_t*)context;
#if defined(__x86_64__)
    registers->uc_mcontext.gregs[REG_RAX] = -ENOSYS;
#elif defined(__aarch64__)
    registers->uc_mcontext.regs[0] = -ENOSYS;
#else
    (void)registers; // elsewhere the decoder sees what the kernel left there
#endif
}

// Under the switch, whether calls the filter does not name are said: then by a signal.
static bool saying_refused_calls() {
    const char* on = getenv(say_refused_calls);
    return on && *on && strcmp(on, "0") != 0;
}

static bool prepare_to_say() {
    for (int n = 0; n < most_calls; n++)
        call_names[n] = seccomp_syscall_resolve_num_arch(SCMP_ARCH_NATIVE, n);
    struct sigaction refused = {};
    refused.sa_sigaction = on_refused_call;
    refused.sa_flags = SA_SIGINFO;
    return sigaction(SIGSYS, &refused, nullptr) == 0;
}

// Fails closed: a call not named here gets ENOSYS, so a harmless one a library update adds costs
// a refused picture rather than a crash, and other architectures' calling conventions (i386 and
// x32 on amd64) kill.
static bool filter_calls(bool say_refused) {
    scmp_filter_ctx filter = seccomp_init(say_refused ? SCMP_ACT_TRAP : SCMP_ACT_ERRNO(ENOSYS));
    if (!filter)
        return false;
    seccomp_attr_set(filter, SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS);
    for (const char* call : allowed_calls)
        rule(filter, SCMP_ACT_ALLOW, call);
    for (const char* call : fatal_calls)
        rule(filter, SCMP_ACT_KILL_PROCESS, call);
    for (const char* call : refused_file_calls)
        rule(filter, SCMP_ACT_ERRNO(EACCES), call);
    for (const char* call : mapping_calls) {
        protection_rule(filter, SCMP_ACT_ALLOW, call, ~data_only, 0);
        protection_rule(filter, SCMP_ACT_KILL_PROCESS, call, PROT_EXEC, PROT_EXEC);
    }
    if (say_refused)
        rule(filter, SCMP_ACT_ALLOW, "rt_sigreturn"); // the end of the handler that says it
    // glibc's abort signals its own thread; any other process is out of bounds.
    scmp_datum_t self = (scmp_datum_t)getpid();
    int tgkill = seccomp_syscall_resolve_name("tgkill");
    seccomp_rule_add(filter, SCMP_ACT_ALLOW, tgkill, 1, scmp_arg_cmp{0, SCMP_CMP_EQ, self, 0});
    seccomp_rule_add(filter, SCMP_ACT_KILL_PROCESS, tgkill, 1,
                     scmp_arg_cmp{0, SCMP_CMP_NE, self, 0});
    bool loaded = seccomp_load(filter) == 0;
    seccomp_release(filter);
    return loaded;
}

// A kernel without system-call filters at all says so to this call, which takes a filter
// anywhere else: EFAULT for the missing program, not EINVAL.
static bool kernel_filters_calls() {
    return prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, nullptr) != 0 && errno == EFAULT;
}

// ---- What this kernel can do ----

// Valgrind runs the program on a machine of its own, whose own system calls a filter made for
// the program cuts off, and which knows no Landlock. It is known by the library it preloads.
static bool under_valgrind() {
    const char* preload = getenv("LD_PRELOAD");
    return preload && strstr(preload, "/vgpreload_");
}

sandbox_support sandbox_learn() {
    static bool learned = false;
    static sandbox_support support;
    if (learned)
        return support;
    learned = true;
    support = {0, nullptr, nullptr};
    if (under_valgrind()) {
        support.no_filter = "valgrind cannot run a system-call filter";
        support.no_landlock = "valgrind knows no Landlock";
        return support;
    }
    if (!kernel_filters_calls())
        support.no_filter = "this system cannot filter system calls";
    support.landlock_abi = landlock_usable(&support.no_landlock);
    return support;
}

void sandbox_prepare() {
    sandbox_support s = sandbox_learn();
    if (s.no_filter)
        fprintf(stderr, "dressup: %s, so pictures are decoded without one\n", s.no_filter);
    if (s.no_landlock)
        fprintf(stderr, "dressup: %s, so pictures are decoded without it\n", s.no_landlock);
}

bool sandbox_enter(int keep, int also_keep, unsigned layers) {
    sandbox_support s = sandbox_learn();
    // Saying a refused call needs somewhere to say it: standard error stays open then.
    bool say_refused = saying_refused_calls() && !s.no_filter && (layers & sandbox_filter);
    if (say_refused && !prepare_to_say())
        return false;
    std::vector<int> kept = {keep, also_keep};
    if (say_refused)
        kept.push_back(STDERR_FILENO);
    if ((layers & sandbox_descriptors) && !keep_only(kept))
        return false;
    if ((layers & sandbox_landlock) && s.landlock_abi > 0 && !deny_by_landlock(s.landlock_abi))
        return false;
    // After Landlock, whose ruleset is a descriptor for a moment.
    if ((layers & sandbox_descriptors) && !no_new_descriptors())
        return false;
    return !(layers & sandbox_filter) || s.no_filter || filter_calls(say_refused);
}
