// Interrupt 0x20: Minix system calls by message passing. AX says what to do
// (1 send, 2 receive, 3 both), BX is the offset of a 24-byte message in DS.
// The call number is the message type; the reply, with the result in the
// type field, overwrites the message. Registers are left as they are.
#include "guest_calls.h"
#include "guest_memory.h"
#include "process_numbers.h"
#include "tavi.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace taviemu {

namespace {

constexpr uint32_t kMessageSize = 24;
constexpr uint16_t kSend = 1, kBoth = 3; // and 2, receive alone, which has nothing to fetch

// Field offsets in a message: the type, then the layouts m1, m2 and m3.
constexpr uint32_t kType = 2;
constexpr uint32_t kM1I1 = 4, kM1I2 = 6, kM1I3 = 8, kM1P1 = 10;
constexpr uint32_t kM2I1 = 4, kM2I2 = 6, kM2L1 = 10, kM2P1 = 18;
constexpr uint32_t kM3P1 = 8;

// Minix call numbers.
constexpr uint16_t kExit = 1, kRead = 3, kWrite = 4, kOpen = 5, kClose = 6, kBrk = 17, kLseek = 19,
                   kGetpid = 20;

int16_t field(const uint8_t *message, uint32_t at) {
    return static_cast<int16_t>(get16(message + at));
}

// Carries out the call in `message` and writes its reply fields; the result.
int serve(uint8_t *message, uint16_t ds) {
    switch (get16(message + kType)) {
    case kExit:
        call_exit(field(message, kM1I1));
    case kRead:
        return call_read(field(message, kM1I1), ds, get16(message + kM1P1), get16(message + kM1I2));
    case kWrite:
        return call_write(field(message, kM1I1), ds, get16(message + kM1P1),
                          get16(message + kM1I2));
    case kOpen: {
        // Minix sends a name to create in the m1 layout, with its mode, and
        // any other in the m3 layout.
        int flags = get16(message + kM1I2);
        if (flags & O_CREAT)
            return call_open(ds, get16(message + kM1P1), flags, get16(message + kM1I3));
        return call_open(ds, get16(message + kM3P1), flags, 0);
    }
    case kClose:
        return call_close(field(message, kM1I1));
    case kBrk: {
        int r = call_brk(get16(message + kM1P1));
        put16(message + kM2P1, static_cast<uint16_t>(tavi_brk));
        return r;
    }
    case kLseek: {
        int32_t offset = static_cast<int32_t>(get32(message + kM2L1));
        int r = call_lseek(field(message, kM2I1), &offset, field(message, kM2I2));
        if (r == 0)
            put32(message + kM2L1, static_cast<uint32_t>(offset));
        return r;
    }
    case kGetpid:
        put16(message + kM2I1, static_cast<uint16_t>(process_number(getppid())));
        return process_number(getpid());
    default:
        return -ENOSYS;
    }
}

} // namespace

void minix_syscall() {
    const vm86::Regs &r = tavi_cpu.regs;
    uint16_t function = static_cast<uint16_t>(r.eax);
    if (function != kSend && function != kBoth)
        return; // nothing to receive but replies, and those come with the send
    uint8_t *message = guest_bytes(r.ds, static_cast<uint16_t>(r.ebx), kMessageSize);
    if (message == nullptr)
        return; // no message to act on or to reply in
    // The reply is built in a copy: a read may land inside the message.
    uint8_t reply[kMessageSize];
    std::copy_n(message, kMessageSize, reply);
    int result = serve(reply, r.ds);
    if (function == kBoth) {
        put16(reply + kType, static_cast<uint16_t>(result));
        std::copy_n(reply, kMessageSize, message);
    }
}

} // namespace taviemu
