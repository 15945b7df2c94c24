// The Minix calls about processes and their identity: exit, fork, wait,
// exec, getpid, getuid, getgid, setuid, setgid and brk. Processes are
// named by the program's own process numbers, as in the tavi calls.
#include "guest_calls.h"
#include "guest_structs.h"
#include "minix_calls.h"
#include "tavi.h"
#include "tavi_exec.h"

#include <unistd.h>

namespace taviemu {

namespace {

// getpid, getuid and getgid: one value for the type, the other in m2_i1.
int two_values(MinixMessage &m, int first, uint16_t second) {
    m.set_word(msg::m2_i1, second);
    return first;
}

} // namespace

int minix_exit(MinixMessage &m) {
    call_exit(m.integer(msg::m1_i1));
}

int minix_fork(MinixMessage &) {
    return call_fork();
}

// The wait status travels in m2_i1; its layout is the host's.
int minix_wait(MinixMessage &m) {
    int status = 0;
    int number = call_wait(-1, 0, status, nullptr);
    if (number >= 0)
        m.set_word(msg::m2_i1, static_cast<uint16_t>(status));
    return number;
}

// The library builds the new program's whole initial stack itself: m1_p2
// is that block, m1_i2 its length.
int minix_exec(MinixMessage &m) {
    const uint8_t *block = guest_bytes(m.ds, m.word(msg::m1_p2), m.word(msg::m1_i2));
    if (block == nullptr)
        return -EFAULT;
    std::span<const uint8_t> bytes(block, m.word(msg::m1_i2));
    int r = on_name(m, msg::m1_p1, [bytes](const char *name) { return exec_program(name, bytes); });
    return r == 0 ? kNoReply : r;
}

int minix_getpid(MinixMessage &m) {
    uint16_t parent = 0;
    int own = call_getpid(parent);
    return own < 0 ? own : two_values(m, own, parent);
}

// Group IDs travel as words too, though the library cuts them to 8 bits.
int minix_getuid(MinixMessage &m) {
    return two_values(m, guest_id(getuid()), guest_id(geteuid()));
}

int minix_getgid(MinixMessage &m) {
    return two_values(m, guest_id(getgid()), guest_id(getegid()));
}

int minix_setuid(MinixMessage &m) {
    return call_result(setuid(host_id(m.word(msg::m1_i1), false)));
}

int minix_setgid(MinixMessage &m) {
    return call_result(setgid(host_id(m.word(msg::m1_i1), false)));
}

// The library takes the new break from m2_p1, failed or not.
int minix_brk(MinixMessage &m) {
    int r = call_brk(m.word(msg::m1_p1));
    m.set_word(msg::m2_p1, static_cast<uint16_t>(tavi_brk));
    return r;
}

} // namespace taviemu
