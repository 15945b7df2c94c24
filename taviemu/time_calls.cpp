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

// The three sets of select, in the program's memory (bit n of the
// little-endian words is descriptor n; nullptr for a set not given) and as
// the host has them.
struct WordSets {
    uint8_t *words[kSets] = {};
    fd_set host[kSets];

    fd_set *host_set(int i) { return words[i] != nullptr ? &host[i] : nullptr; }
    void read(int count) {
        for (int i = 0; i < kSets; ++i) {
            FD_ZERO(&host[i]);
            for (int fd = 0; words[i] != nullptr && fd < count; ++fd)
                if (words[i][fd / 8] >> (fd % 8) & 1)
                    FD_SET(fd, &host[i]);
        }
    }
    // The whole words are written: bits past `count` read as 0.
    void write(int count, uint32_t bytes) {
        for (int i = 0; i < kSets; ++i) {
            if (words[i] == nullptr)
                continue;
            std::fill_n(words[i], bytes, 0);
            for (int fd = 0; fd < count; ++fd)
                if (FD_ISSET(fd, &host[i]))
                    words[i][fd / 8] = static_cast<uint8_t>(words[i][fd / 8] | 1 << (fd % 8));
        }
    }
};

// The time-out, with microseconds of a million or more counted as seconds,
// as the host's select counts them; -EINVAL for a negative one.
int read_limit(const uint8_t *at, struct timeval &limit) {
    limit = decode_timeval(at);
    if (limit.tv_sec < 0 || limit.tv_usec < 0)
        return -EINVAL;
    limit.tv_sec += limit.tv_usec / kMicroseconds;
    limit.tv_usec %= kMicroseconds;
    return 0;
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
    WordSets sets;
    const uint16_t offsets[kSets] = {a.cx, a.dx, a.di};
    for (int i = 0; i < kSets; ++i)
        if (!optional_bytes(a.ds, offsets[i], bytes, sets.words[i]))
            return -EFAULT;
    uint8_t *limit_at;
    if (!optional_bytes(a.ds, a.si, kTimevalSize, limit_at))
        return -EFAULT;
    struct timeval limit {};
    if (limit_at != nullptr && read_limit(limit_at, limit) < 0)
        return -EINVAL;
    sets.read(count);
    int ready = select(count, sets.host_set(0), sets.host_set(1), sets.host_set(2),
                       limit_at != nullptr ? &limit : nullptr);
    if (ready < 0)
        return -errno;
    sets.write(count, bytes);
    return ready;
}

} // namespace taviemu
