// The run loop itself, on raw instruction bytes in the program area: what
// it does with returns that only the kernel's vm86 call gives (a signal
// handled while the program runs, a virtual interrupt made pending). A
// 32-bit runner on a kernel with the call takes the kernel's path; anywhere
// else the engine runs the same bytes.
#include "tavi.h"
#include "temp_tree.h"

#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <string>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace taviemu;

namespace {

constexpr uint32_t kFlag = 0x100; // a byte of the program's segment that a handler sets

// Whether the kernel carries out this runner's vm86 calls: it then answers
// a null record with EFAULT (ENOSYS without the call, EPERM when withheld).
bool kernel_runs_vm86() {
#if defined(__i386__)
    return syscall(SYS_vm86old, nullptr) == -1 && errno == EFAULT;
#else
    return false;
#endif
}

void set_flag(int) {
    tavi_base[kFlag] = 1;
}

struct Outcome {
    int status = -1; // exit status, -1 when it did not end by itself
    std::string err;
};

// Runs `code` at 1000:0000 (all segments 0x1000) through run_tavi in a
// child process, with `eflags` in the record, as taviemu's loop would; with
// `ticks`, SIGALRM sets the flag byte every 10 ms while it runs.
Outcome run_code(const std::vector<uint8_t> &code, uint32_t eflags, bool ticks) {
    suite_testing::TempTree tree;
    const std::string err_path = tree.path("err");
    pid_t pid = fork();
    if (pid == 0) {
        int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        void *area = mmap(reinterpret_cast<void *>(uintptr_t{kAreaAddress}), kAreaSize,
                          PROT_READ | PROT_WRITE | PROT_EXEC,
                          MAP_PRIVATE | MAP_FIXED_NOREPLACE | MAP_ANONYMOUS, -1, 0);
        if (area == MAP_FAILED)
            _exit(100);
        tavi_base = static_cast<uint8_t *>(area);
        tavi_linear = kAreaAddress;
        std::memcpy(tavi_base, code.data(), code.size());
        tavi_init();
        tavi_cpu.regs.cs = tavi_cpu.regs.ds = tavi_cpu.regs.es = tavi_cpu.regs.ss = 0x1000;
        tavi_cpu.regs.esp = 0xFFFE;
        tavi_cpu.regs.eflags = eflags;
        if (ticks) {
            signal(SIGALRM, set_flag);
            itimerval every{{0, 10000}, {0, 10000}};
            setitimer(ITIMER_REAL, &every, nullptr);
        }
        for (;;)
            run_tavi();
    }
    Outcome outcome;
    int status = 0;
    for (int waited = 0; waitpid(pid, &status, WNOHANG) != pid; ++waited) {
        if (waited == 6000) { // a minute: the program did not go on
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            return outcome;
        }
        timespec pause{0, 10000000};
        nanosleep(&pause, nullptr);
    }
    if (WIFEXITED(status))
        outcome.status = WEXITSTATUS(status);
    outcome.err = tree.read("err");
    return outcome;
}

} // namespace

TEST(RunLoopReturns, SignalDuringALongLoopThenTheProgramGoesOn) {
    // The program waits for the flag that only the signal handler sets: it
    // can end only if the signal came while it ran (on the kernel's path the
    // entry ends with VM86_SIGNAL) and it went on where it stood afterwards.
    const std::vector<uint8_t> code = {
        0x80, 0x3E, 0x00, 0x01, 0x00, // 0000 cmp byte [0x100], 0
        0x74, 0xF9,                   // 0005 je 0000
        0xB8, 0x01, 0x00,             // 0007 mov ax, 1 (exit)
        0xBB, 0x07, 0x00,             // 000A mov bx, 7
        0xCD, 0x80,                   // 000D int 0x80
    };
    Outcome r = run_code(code, 0, true);
    EXPECT_EQ(r.status, 7);
    EXPECT_EQ(r.err, "");
}

TEST(RunLoopReturns, StiWithAVirtualInterruptPendingIsReportedThenGoesOn) {
    // With VIP set in the record, the kernel ends the entry at STI with
    // VM86_STI; the engine never makes an interrupt pending and runs on.
    const std::vector<uint8_t> code = {
        0xFB,             // 0000 sti
        0xB8, 0x01, 0x00, // 0001 mov ax, 1 (exit)
        0xBB, 0x05, 0x00, // 0004 mov bx, 5
        0xCD, 0x80,       // 0007 int 0x80
    };
    constexpr uint32_t kVip = 1u << 20;
    Outcome r = run_code(code, kVip, false);
    EXPECT_EQ(r.status, 5);
    EXPECT_EQ(r.err, kernel_runs_vm86() ? "VM86_STI returned\n" : "");
}
