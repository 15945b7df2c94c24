// The run loop: one entry into virtual-8086 mode per call, and the routing
// of what ends it. System-call interrupts go to the translators; anything
// else the program cannot do ends the runner.
#include "program_signals.h"
#include "tavi.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <unistd.h>
#if defined(__i386__)
#include <sys/syscall.h>
#endif

namespace taviemu {

namespace {

constexpr int kMinixInterrupt = 0x20;
constexpr int kTaviInterrupt = 0x80;
// The engine runs the program in slices of this many instructions, so that
// a signal the program catches is delivered within milliseconds even while
// it computes without a system call.
constexpr uint64_t kSliceInstructions = uint64_t{1} << 20;

vm86::Fault last_fault;

// Reports an access of the program outside its area and ends the run. Used
// from a signal handler too, so it formats into its own buffer and writes.
[[noreturn]] void outside_access(uint32_t linear, uint16_t cs, uint16_t ip) {
    char line[128];
    int n = std::snprintf(line, sizeof line,
                          "VM86 failed: memory access outside the tavi area at %#x (%04x:%04x)\n",
                          static_cast<unsigned>(linear), cs, ip);
    if (n > 0)
        (void)!write(STDERR_FILENO, line, static_cast<size_t>(n));
    _exit(1);
}

#if defined(__i386__)
// Set while the kernel runs the program.
volatile sig_atomic_t in_kernel_vm86 = 0;

// The kernel reports an access outside the area as SIGSEGV, after it has
// stored the program's registers in tavi_cpu: the same report as the
// engine's. A SIGSEGV sent from outside is the program's, to catch, ignore
// or die of; a fault of the runner itself takes the default action.
void kernel_fault(int, siginfo_t *info, void *) {
    if (in_kernel_vm86 && info->si_code > 0)
        outside_access(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(info->si_addr)),
                       tavi_cpu.regs.cs, static_cast<uint16_t>(tavi_cpu.regs.eip));
    if (info->si_code <= 0 && program_takes_signal(SIGSEGV))
        return;
    signal(SIGSEGV, SIG_DFL);
    raise(SIGSEGV);
}

void catch_kernel_faults() {
    struct sigaction action {};
    action.sa_sigaction = kernel_fault;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    reserve_signal(SIGSEGV, action);
}

// The kernel's own vm86 entry, while it serves this runner: std::nullopt
// once the engine has to do instead. A kernel without the call answers
// ENOSYS to the first call. A kernel that withholds the call from this
// process answers EPERM: to the first call when the runner lacks the
// privilege where low memory may be mapped, or a system-call filter refuses
// it; to a later one when the program has taken on a set-user-ID identity
// through its execve and so given up that privilege. The kernel has then
// left tavi_cpu as it was, and the engine runs the program on from there.
// Any other failure comes back as -errno.
std::optional<int> kernel_vm86() {
    enum class Entry { untried, kernel, engine };
    static Entry entry = Entry::untried;
    if (entry == Entry::engine)
        return std::nullopt;
    if (entry == Entry::untried)
        catch_kernel_faults();
    in_kernel_vm86 = 1;
    long code = syscall(SYS_vm86old, &tavi_cpu);
    in_kernel_vm86 = 0;
    if (code >= 0) {
        entry = Entry::kernel;
        return static_cast<int>(code);
    }
    int error = errno;
    if (error == EPERM || (entry == Entry::untried && error == ENOSYS)) {
        entry = Entry::engine;
        return std::nullopt;
    }
    return -error;
}
#endif

// Enters virtual-8086 mode with tavi_cpu: through the kernel where a 32-bit
// runner may use it, otherwise (and always in a 64-bit runner) through the
// engine, which runs the program inside the area alone.
int enter_vm86() {
#if defined(__i386__)
    if (std::optional<int> code = kernel_vm86())
        return *code;
#endif
    const vm86::Memory memory{tavi_base, tavi_linear, kAreaSize};
    vm86::Options options;
    options.max_instructions = kSliceInstructions;
    return vm86::run(tavi_cpu, memory, options, &last_fault);
}

// A failed entry: the loop cannot go on, so say why and stop.
[[noreturn]] void vm86_failed(int code) {
    if (code == -EFAULT)
        outside_access(last_fault.linear, last_fault.cs, last_fault.ip);
    std::fprintf(stderr, "VM86 failed: %s\n", std::strerror(-code));
    std::exit(1);
}

// A processor exception (a divide error, an undefined opcode, a word past
// the segment's end) is an interrupt the runner does not serve: SIGILL, as
// for any other. The faulting instruction has no end to go on from, so
// when SIGILL does not end the process the run ends here rather than fault
// again for ever.
[[noreturn]] void exception_not_served(int number) {
    std::fflush(stderr);
    kill(getpid(), SIGILL);
    std::fprintf(stderr, "VM86 failed: exception %d at %04x:%04x\n", number,
                 static_cast<unsigned>(tavi_cpu.regs.cs),
                 static_cast<unsigned>(tavi_cpu.regs.eip & 0xFFFF));
    std::exit(1);
}

// The debug trap after an instruction run with TF set: the kernel's vm86old
// entry forces SIGTRAP on the process, which neither ignoring nor blocking
// the signal escapes. The engine reports it; the runner does the same.
[[noreturn]] void single_step_trap() {
    std::fflush(stderr);
    std::signal(SIGTRAP, SIG_DFL);
    sigset_t trap;
    sigemptyset(&trap);
    sigaddset(&trap, SIGTRAP);
    sigprocmask(SIG_UNBLOCK, &trap, nullptr);
    raise(SIGTRAP);
    std::exit(1); // not reached: SIGTRAP ends the process
}

void tavi_take_interrupt(int number) {
    if (number == kMinixInterrupt) {
        minix_syscall();
    } else if (number == kTaviInterrupt) {
        tavi_cpu.regs.eax = static_cast<uint32_t>(tavi_syscall());
    } else {
        std::fflush(stderr);
        kill(getpid(), SIGILL);
    }
}

} // namespace

void tavi_init() {
    tavi_cpu.screen_bitmap = 0;
    tavi_cpu.cpu_type = vm86::CPU_286;
    std::memset(tavi_cpu.int_revectored, 0xFF, sizeof tavi_cpu.int_revectored);
}

void run_tavi() {
    int code = enter_vm86();
    if (code < 0)
        vm86_failed(code);
    switch (vm86::vm86_type(code)) {
    case vm86::VM86_UNKNOWN:
        std::fputs("VM86_UNKNOWN returned\n", stderr);
        std::exit(1);
    case vm86::VM86_INTx:
        if (last_fault.exception)
            exception_not_served(vm86::vm86_arg(code));
        tavi_take_interrupt(vm86::vm86_arg(code));
        break;
    case vm86::VM86_STI:
        std::fputs("VM86_STI returned\n", stderr);
        break;
    case vm86::VM86_TRAP:
        single_step_trap();
    default:
        break;
    }
    uint32_t linear = 0;
    if (!deliver_program_signals(linear))
        outside_access(linear, tavi_cpu.regs.cs, static_cast<uint16_t>(tavi_cpu.regs.eip));
}

} // namespace taviemu
