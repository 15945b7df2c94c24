// The structures the tavi system's C library shares with the system, with
// the host's wider values folded into their fields. Every encoder fills a
// buffer of the runner's own and fails as a whole (EOVERFLOW) when a value
// cannot be given: the program's memory is written only after success.
#pragma once

#include <array>
#include <cstdint>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/times.h>

namespace taviemu {

// The user or group ID the program is given for one of 32768 or more: in
// AX such a word would read as an error (the 15-bit analogue of the
// kernel's overflow ID 65534).
constexpr uint16_t kOverflowId = 32766;

// Sizes of the library's structures, in bytes.
constexpr uint32_t kStatSize = 30;
constexpr uint32_t kDirentSize = 266;
constexpr uint32_t kDirentNameSize = 256; // d_name with its NUL
constexpr uint32_t kTimevalSize = 8;
constexpr uint32_t kTimezoneSize = 4;
constexpr uint32_t kUtimbufSize = 8;
constexpr uint32_t kTmsSize = 16;
constexpr uint32_t kRusageSize = 72;
constexpr uint32_t kFlockSize = 14;

// A user or group ID as the program sees it.
uint16_t guest_id(uint64_t id);
// An ID the program passes in: an unsigned word, 0xFFFF standing for -1
// ("leave unchanged") where `minus_one` says the host call knows it.
uint32_t host_id(uint16_t id, bool minus_one);
// The device number folded into 16 bits, major and minor 8 bits each, the
// same way everywhere, so that two calls about one file agree (inode
// numbers: inode_numbers.h).
uint16_t fold_device(uint64_t dev);

using StatBytes = std::array<uint8_t, kStatSize>;
using TimevalBytes = std::array<uint8_t, kTimevalSize>;
using TmsBytes = std::array<uint8_t, kTmsSize>;
using RusageBytes = std::array<uint8_t, kRusageSize>;
using FlockBytes = std::array<uint8_t, kFlockSize>;

// struct stat; 0, or -EOVERFLOW for a size of 2 GiB or more, a time
// outside 32 bits or more than 0xFFFF links.
int encode_stat(const struct stat &status, StatBytes &out);
// The result of a stat call for the program: -errno when the host call
// failed (`result` < 0), else 0 with the structure stored at `into`, or
// -EOVERFLOW with nothing stored.
int store_stat(int result, const struct stat &status, uint8_t *into);
// struct timeval; 0, or -EOVERFLOW for seconds outside 32 bits.
int encode_timeval(int64_t seconds, int64_t microseconds, TimevalBytes &out);
// Clock ticks a second: CLK_TCK of the tavi system, CLOCKS_PER_SEC of Minix.
constexpr uint32_t kTaviTicks = 100;
constexpr uint32_t kMinixTicks = 60;

// struct tms in ticks of 1/rate s, given the host's ticks per second;
// clock counts wrap at 32 bits, as the 32-bit system's do.
TmsBytes encode_tms(const struct tms &times, long host_ticks, uint32_t rate);
uint32_t guest_ticks(clock_t ticks, long host_ticks, uint32_t rate);
// struct rusage; a count beyond 32 bits reads as the largest one.
RusageBytes encode_rusage(const struct rusage &usage);

// struct flock: l_type, l_whence, l_start, l_len, l_pid (a process number).
struct GuestLock {
    int16_t type = 0, whence = 0;
    int32_t start = 0, length = 0;
    uint16_t pid = 0;
};
GuestLock decode_flock(const uint8_t *bytes);
FlockBytes encode_flock(const GuestLock &lock);

} // namespace taviemu
