// The calls about time: gettimeofday, settimeofday and select, which waits
// for descriptors at most as long as its timeval says.
#include "guest_calls.h"
#include "guest_memory.h"
#include "guest_structs.h"
#include "tavi_calls.h"

#include <algorithm>
#include <sys/select.h>
#include <sys/time.h>

namespace taviemu {

namespace {

constexpr int kSets = 3; // read, write, except
constexpr long kMicroseconds = 1000000;

struct timeval decode_timeval(const uint8_t *bytes) {
    struct timeval tv {};
    tv.tv_sec = static_cast<int32_t>(get32(bytes));
    tv.tv_usec = static_cast<int32_t>(get32(bytes + 4));
    return tv;
}

// A set of select: bit n of the little-endian words is descriptor n.
void read_set(const uint8_t *words, int count, fd_set &set) {
    FD_ZERO(&set);
    for (int fd = 0; fd < count; ++fd)
        if (words[fd / 8] >> (fd % 8) & 1)
            FD_SET(fd, &set);
}

// The whole words are written: bits past `count` read as 0.
void write_set(const fd_set &set, int count, uint8_t *words, uint32_t bytes) {
    std::fill_n(words, bytes, 0);
    for (int fd = 0; fd < count; ++fd)
        if (FD_ISSET(fd, &set))
            words[fd / 8] = static_cast<uint8_t>(words[fd / 8] | 1 << (fd % 8));
}

} // namespace

int sys_gettimeofday(const CallArgs &a) {
    uint8_t *time_at, *zone_at;
    if (!optional_bytes(a.ds, a.bx, kTimevalSize, time_at) ||
        !optional_bytes(a.ds, a.cx, kTimezoneSize, zone_at))
        return -EFAULT;
    struct timeval now;
    struct timezone zone {};
    if (gettimeofday(&now, &zone) < 0)
        return -errno;
    TimevalBytes bytes;
    if (int r = encode_timeval(now.tv_sec, now.tv_usec, bytes); r < 0)
        return r;
    if (time_at != nullptr)
        std::copy(bytes.begin(), bytes.end(), time_at);
    if (zone_at != nullptr) {
        put16(zone_at, static_cast<uint16_t>(zone.tz_minuteswest));
        put16(zone_at + 2, static_cast<uint16_t>(zone.tz_dsttime));
    }
    return 0;
}

int sys_settimeofday(const CallArgs &a) {
    uint8_t *time_at, *zone_at;
    if (!optional_bytes(a.ds, a.bx, kTimevalSize, time_at) ||
        !optional_bytes(a.ds, a.cx, kTimezoneSize, zone_at))
        return -EFAULT;
    struct timeval when {};
    struct timezone zone {};
    if (time_at != nullptr)
        when = decode_timeval(time_at);
    if (zone_at != nullptr) {
        zone.tz_minuteswest = static_cast<int16_t>(get16(zone_at));
        zone.tz_dsttime = static_cast<int16_t>(get16(zone_at + 2));
    }
    return call_result(
        settimeofday(time_at != nullptr ? &when : nullptr, zone_at != nullptr ? &zone : nullptr));
}

// select(nfds, read set, write set, except set, timeval): the sets are
// nfds bits in 16-bit words; the timeval is taken as it is given.
int sys_select(const CallArgs &a) {
    int count = signed_arg(a.bx);
    if (count < 0 || count > FD_SETSIZE)
        return -EINVAL;
    uint32_t bytes = 2 * static_cast<uint32_t>((count + 15) / 16);
    const uint16_t offsets[kSets] = {a.cx, a.dx, a.di};
    uint8_t *sets[kSets];
    for (int i = 0; i < kSets; ++i)
        if (!optional_bytes(a.ds, offsets[i], bytes, sets[i]))
            return -EFAULT;
    uint8_t *limit_at;
    if (!optional_bytes(a.ds, a.si, kTimevalSize, limit_at))
        return -EFAULT;
    fd_set host[kSets];
    for (int i = 0; i < kSets; ++i)
        if (sets[i] != nullptr)
            read_set(sets[i], count, host[i]);
    struct timeval limit = limit_at != nullptr ? decode_timeval(limit_at) : timeval{};
    if (limit.tv_sec < 0 || limit.tv_usec < 0)
        return -EINVAL;
    limit.tv_sec += limit.tv_usec / kMicroseconds; // as the host's select counts them
    limit.tv_usec %= kMicroseconds;
    int ready = select(
        count, sets[0] != nullptr ? &host[0] : nullptr, sets[1] != nullptr ? &host[1] : nullptr,
        sets[2] != nullptr ? &host[2] : nullptr, limit_at != nullptr ? &limit : nullptr);
    if (ready < 0)
        return -errno;
    for (int i = 0; i < kSets; ++i)
        if (sets[i] != nullptr)
            write_set(host[i], count, sets[i], bytes);
    return ready;
}

} // namespace taviemu
