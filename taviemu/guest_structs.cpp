// Folding the host's values into the library's structures.
#include "guest_structs.h"
#include "guest_memory.h"
#include "inode_numbers.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <sys/sysmacros.h>

namespace taviemu {

namespace {

uint8_t fold8(uint64_t value) {
    uint8_t folded = 0;
    for (; value != 0; value >>= 8)
        folded ^= static_cast<uint8_t>(value);
    return folded;
}

bool fits32(int64_t value) {
    return value >= INT32_MIN && value <= INT32_MAX;
}

// A count the program reads as a signed long: the largest one stands for
// anything beyond.
uint32_t saturate32(int64_t value) {
    return static_cast<uint32_t>(value > INT32_MAX ? INT32_MAX : value);
}

void put_timeval(uint8_t *at, const struct timeval &tv) {
    put32(at, saturate32(tv.tv_sec));
    put32(at + 4, static_cast<uint32_t>(tv.tv_usec));
}

} // namespace

uint16_t guest_id(uint64_t id) {
    return id < 0x8000 ? static_cast<uint16_t>(id) : kOverflowId;
}

uint32_t host_id(uint16_t id, bool minus_one) {
    return minus_one && id == 0xFFFF ? static_cast<uint32_t>(-1) : id;
}

uint16_t fold_device(uint64_t dev) {
    return static_cast<uint16_t>(fold8(major(dev)) << 8 | fold8(minor(dev)));
}

int encode_stat(const struct stat &status, StatBytes &out) {
    if (status.st_nlink > 0xFFFF || status.st_size < 0 || status.st_size > INT32_MAX ||
        !fits32(status.st_atime) || !fits32(status.st_mtime) || !fits32(status.st_ctime))
        return -EOVERFLOW;
    uint8_t *p = out.data();
    put16(p, fold_device(status.st_dev));
    put16(p + 2, inode_number(status.st_dev, status.st_ino));
    put16(p + 4, static_cast<uint16_t>(status.st_mode));
    put16(p + 6, static_cast<uint16_t>(status.st_nlink));
    put16(p + 8, guest_id(status.st_uid));
    put16(p + 10, guest_id(status.st_gid));
    put16(p + 12, fold_device(status.st_rdev));
    put32(p + 14, static_cast<uint32_t>(status.st_size));
    put32(p + 18, static_cast<uint32_t>(status.st_atime));
    put32(p + 22, static_cast<uint32_t>(status.st_mtime));
    put32(p + 26, static_cast<uint32_t>(status.st_ctime));
    return 0;
}

int store_stat(int result, const struct stat &status, uint8_t *into) {
    if (result < 0)
        return -errno;
    StatBytes bytes;
    if (int r = encode_stat(status, bytes); r < 0)
        return r;
    std::copy(bytes.begin(), bytes.end(), into);
    return 0;
}

int encode_timeval(int64_t seconds, int64_t microseconds, TimevalBytes &out) {
    if (!fits32(seconds))
        return -EOVERFLOW;
    put32(out.data(), static_cast<uint32_t>(seconds));
    put32(out.data() + 4, static_cast<uint32_t>(microseconds));
    return 0;
}

uint32_t guest_ticks(clock_t ticks, long host_ticks, uint32_t rate) {
    if (host_ticks <= 0 || host_ticks == static_cast<long>(rate))
        return static_cast<uint32_t>(ticks);
    return static_cast<uint32_t>(static_cast<int64_t>(ticks) * rate / host_ticks);
}

TmsBytes encode_tms(const struct tms &times, long host_ticks, uint32_t rate) {
    TmsBytes out{};
    put32(out.data(), guest_ticks(times.tms_utime, host_ticks, rate));
    put32(out.data() + 4, guest_ticks(times.tms_stime, host_ticks, rate));
    put32(out.data() + 8, guest_ticks(times.tms_cutime, host_ticks, rate));
    put32(out.data() + 12, guest_ticks(times.tms_cstime, host_ticks, rate));
    return out;
}

RusageBytes encode_rusage(const struct rusage &usage) {
    RusageBytes out{};
    put_timeval(out.data(), usage.ru_utime);
    put_timeval(out.data() + 8, usage.ru_stime);
    const long counts[] = {usage.ru_maxrss,  usage.ru_ixrss,  usage.ru_idrss,  usage.ru_isrss,
                           usage.ru_minflt,  usage.ru_majflt, usage.ru_nswap,  usage.ru_inblock,
                           usage.ru_oublock, usage.ru_msgsnd, usage.ru_msgrcv, usage.ru_nsignals,
                           usage.ru_nvcsw,   usage.ru_nivcsw};
    uint8_t *at = out.data() + 16;
    for (long count : counts) {
        put32(at, saturate32(count));
        at += 4;
    }
    return out;
}

GuestLock decode_flock(const uint8_t *bytes) {
    GuestLock lock;
    lock.type = static_cast<int16_t>(get16(bytes));
    lock.whence = static_cast<int16_t>(get16(bytes + 2));
    lock.start = static_cast<int32_t>(get32(bytes + 4));
    lock.length = static_cast<int32_t>(get32(bytes + 8));
    lock.pid = get16(bytes + 12);
    return lock;
}

FlockBytes encode_flock(const GuestLock &lock) {
    FlockBytes out{};
    put16(out.data(), static_cast<uint16_t>(lock.type));
    put16(out.data() + 2, static_cast<uint16_t>(lock.whence));
    put32(out.data() + 4, static_cast<uint32_t>(lock.start));
    put32(out.data() + 8, static_cast<uint32_t>(lock.length));
    put16(out.data() + 12, lock.pid);
    return out;
}

} // namespace taviemu
