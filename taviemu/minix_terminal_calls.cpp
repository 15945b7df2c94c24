// ioctl: the sgtty requests of the Minix library, on the host's termios.
// The library does not pass its structures: it packs them into the
// message (m2_l1 and m2_l2) and unpacks the reply. Any other request,
// among them the one isatty sends after a failed TIOCGETP (0x5408, which
// is the host's TCSETAF), gives EINVAL without reaching the host; on a
// descriptor that is no terminal the requests give the host's ENOTTY.
#include "guest_calls.h"
#include "minix_calls.h"

#include <termios.h>
#include <unistd.h>

namespace taviemu {

namespace {

constexpr uint16_t kGetP = 0x7408, kSetP = 0x7409, kFlush = 0x7410, kSetC = 0x7411, kGetC = 0x7412;

// The bits of sg_flags.
constexpr uint16_t kCBreak = 02, kEcho = 010, kCrMod = 020, kRaw = 040, kOddP = 0100, kEvenP = 0200,
                   kBits = 01400, kXTabs = 06000;
constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8}; // by BITS5 to BITS8, 0400 apart

// V7's "no such character", the host's _POSIX_VDISABLE.
constexpr uint8_t kNoChar = 0377;

// Line speeds: Minix codes one by its baud rate over 100.
struct Speed {
    uint8_t code;
    speed_t host;
};
constexpr Speed kSpeeds[] = {{0, B0},     {1, B110},     {3, B300},    {6, B600},
                             {12, B1200}, {18, B1800},   {24, B2400},  {48, B4800},
                             {96, B9600}, {192, B19200}, {192, B38400}};

// The code of a host speed: the one of the fastest Minix speed it reaches.
uint8_t speed_code(speed_t host) {
    uint8_t code = 0;
    for (const Speed &s : kSpeeds)
        if (s.host <= host && host <= B38400)
            code = s.code;
    return host > B38400 ? 192 : code;
}

// A code asked for changes the speed only when it is not the one given for
// the speed the line has.
void set_speed(struct termios &t, uint8_t code, speed_t (*get)(const struct termios *),
               int (*set)(struct termios *, speed_t)) {
    if (code == speed_code(get(&t)))
        return;
    for (const Speed &s : kSpeeds)
        if (s.code == code) {
            set(&t, s.host);
            return;
        }
}

uint8_t guest_char(cc_t c) {
    return c == _POSIX_VDISABLE ? kNoChar : c;
}
cc_t host_char(uint32_t c) {
    uint8_t byte = static_cast<uint8_t>(c);
    return byte == kNoChar ? _POSIX_VDISABLE : byte;
}

void set_bits(tcflag_t &field, tcflag_t bits, bool on) {
    field = on ? field | bits : field & ~bits;
}

uint16_t sgtty_flags(const struct termios &t) {
    uint16_t flags = 0;
    if (t.c_lflag & ECHO)
        flags |= kEcho;
    if (t.c_oflag & ONLCR)
        flags |= kCrMod;
    if ((t.c_oflag & TABDLY) == TAB3)
        flags |= kXTabs;
    if (!(t.c_lflag & ICANON))
        flags |= (t.c_lflag & ISIG) ? kCBreak : kRaw;
    if (t.c_cflag & PARENB)
        flags |= (t.c_cflag & PARODD) ? kOddP : kEvenP;
    for (uint16_t i = 0; i < 4; ++i)
        if ((t.c_cflag & CSIZE) == kSizes[i])
            flags |= static_cast<uint16_t>(i << 8);
    return flags;
}

// RAW: no line editing, signals or flow control; CBREAK: a key at a time
// with signals; neither: lines. CRMOD: NL out as CR NL, CR in as NL.
void apply_flags(uint16_t flags, struct termios &t) {
    bool raw = flags & kRaw, cbreak = !raw && (flags & kCBreak);
    set_bits(t.c_lflag, ECHO, flags & kEcho);
    set_bits(t.c_oflag, ONLCR, flags & kCrMod);
    set_bits(t.c_iflag, ICRNL, (flags & kCrMod) && !raw);
    t.c_oflag = (t.c_oflag & ~TABDLY) | ((flags & kXTabs) == kXTabs ? TAB3 : TAB0);
    set_bits(t.c_lflag, ICANON, !raw && !cbreak);
    set_bits(t.c_lflag, ISIG | IEXTEN, !raw);
    set_bits(t.c_iflag, IXON, !raw);
    if (raw || cbreak) {
        t.c_cc[VMIN] = 1;
        t.c_cc[VTIME] = 0;
    }
    bool parity = ((flags & kOddP) != 0) != ((flags & kEvenP) != 0);
    set_bits(t.c_cflag, PARENB, parity);
    set_bits(t.c_cflag, PARODD, parity && (flags & kOddP));
    t.c_cflag = (t.c_cflag & ~CSIZE) | kSizes[(flags & kBits) >> 8];
}

// m2_l1: the output speed, the input speed, erase and kill, a byte each
// from the top; m2_l2: the flags.
int get_sgtty(MinixMessage &m, const struct termios &t) {
    uint32_t speeds =
        static_cast<uint32_t>(speed_code(cfgetospeed(&t))) << 8 | speed_code(cfgetispeed(&t));
    m.set_dword(msg::m2_l1, speeds << 16 | uint32_t{guest_char(t.c_cc[VERASE])} << 8 |
                                guest_char(t.c_cc[VKILL]));
    m.set_dword(msg::m2_l2, sgtty_flags(t));
    return 0;
}

int set_sgtty(int fd, const MinixMessage &m, struct termios &t) {
    uint32_t packed = static_cast<uint32_t>(m.dword(msg::m2_l1));
    set_speed(t, static_cast<uint8_t>(packed >> 24), cfgetospeed, cfsetospeed);
    set_speed(t, static_cast<uint8_t>(packed >> 16), cfgetispeed, cfsetispeed);
    t.c_cc[VERASE] = host_char(packed >> 8);
    t.c_cc[VKILL] = host_char(packed);
    apply_flags(static_cast<uint16_t>(m.dword(msg::m2_l2)), t);
    return call_result(tcsetattr(fd, TCSADRAIN, &t));
}

// m2_l1: interrupt, quit, start and stop, a byte each from the top; m2_l2:
// end of file, then the break character (the host's end of line).
int get_tchars(MinixMessage &m, const struct termios &t) {
    m.set_dword(msg::m2_l1, uint32_t{guest_char(t.c_cc[VINTR])} << 24 |
                                uint32_t{guest_char(t.c_cc[VQUIT])} << 16 |
                                uint32_t{guest_char(t.c_cc[VSTART])} << 8 |
                                guest_char(t.c_cc[VSTOP]));
    m.set_dword(msg::m2_l2, uint32_t{guest_char(t.c_cc[VEOF])} << 8 | guest_char(t.c_cc[VEOL]));
    return 0;
}

int set_tchars(int fd, const MinixMessage &m, struct termios &t) {
    uint32_t chars = static_cast<uint32_t>(m.dword(msg::m2_l1));
    uint32_t ends = static_cast<uint32_t>(m.dword(msg::m2_l2));
    t.c_cc[VINTR] = host_char(chars >> 24);
    t.c_cc[VQUIT] = host_char(chars >> 16);
    t.c_cc[VSTART] = host_char(chars >> 8);
    t.c_cc[VSTOP] = host_char(chars);
    t.c_cc[VEOF] = host_char(ends >> 8);
    t.c_cc[VEOL] = host_char(ends);
    return call_result(tcsetattr(fd, TCSADRAIN, &t));
}

// m2_l2: what to flush, 1 input, 2 output, 0 or 3 both.
int flush(int fd, const MinixMessage &m) {
    int which = m.integer(msg::m2_l2) & 3;
    return call_result(tcflush(fd, which == 1 ? TCIFLUSH : which == 2 ? TCOFLUSH : TCIOFLUSH));
}

} // namespace

// The descriptor in m2_i1, the request in m2_i3.
int minix_ioctl(MinixMessage &m) {
    int fd = m.integer(msg::m2_i1);
    uint16_t request = m.word(msg::m2_i3);
    if (request != kGetP && request != kSetP && request != kFlush && request != kSetC &&
        request != kGetC)
        return -EINVAL;
    if (!minix_descriptor(fd))
        return -EBADF;
    struct termios t;
    if (tcgetattr(fd, &t) < 0)
        return -errno;
    switch (request) {
    case kGetP:
        return get_sgtty(m, t);
    case kSetP:
        return set_sgtty(fd, m, t);
    case kGetC:
        return get_tchars(m, t);
    case kSetC:
        return set_tchars(fd, m, t);
    default:
        return flush(fd, m);
    }
}

} // namespace taviemu
