// execve for the 16-bit program: another tavi executable replaces it in this
// process. Everything that can fail is checked while the old program is
// still intact; only then is the area cleared and the new one loaded.
#include "guest_memory.h"
#include "image.h"
#include "tavi.h"
#include "tavi_syscall.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace taviemu {

namespace {

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { close(fd_); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Copies the strings of the null-terminated vector of offsets at DS:vector
// (none when the vector's offset is 0). Each string with its NUL and its
// word is taken from `room`, the bytes left of a segment for the new
// stack block: a vector may name one string many times, and a list that
// can never fit is refused before it is copied whole.
int copy_vector(uint16_t ds, uint16_t vector, std::vector<std::string> &into, uint32_t &room) {
    if (vector == 0)
        return 0;
    for (uint32_t at = vector;; at += 2) {
        const uint8_t *word = guest_bytes(ds, at, 2);
        if (word == nullptr)
            return -EFAULT;
        uint16_t offset = get16(word);
        if (offset == 0)
            return 0;
        const char *text = guest_string(ds, offset);
        if (text == nullptr)
            return -EFAULT;
        size_t cost = std::strlen(text) + 1 + 2;
        if (cost > room)
            return -E2BIG;
        room -= static_cast<uint32_t>(cost);
        into.emplace_back(text);
    }
}

std::vector<char *> pointers(std::vector<std::string> &strings) {
    std::vector<char *> list;
    for (std::string &s : strings)
        list.push_back(s.data());
    list.push_back(nullptr);
    return list;
}

// Checks the executable's header against the file and the area without
// touching the running program.
int check_image(int fd, const struct stat &status, char *const *args, char *const *env) {
    uint8_t bytes[kHeaderSize];
    ExecHeader header;
    if (pread(fd, bytes, kHeaderSize, 0) != kHeaderSize || parse_header(bytes, header) < 0)
        return -ENOEXEC;
    if (check_length(header, status) < 0)
        return -ENOEXEC;
    if (check_fit(header) < 0)
        return -ENOMEM;
    return check_stack(args, env, bss_end(header));
}

} // namespace

int call_execve(const CallArgs &a) {
    const char *name = guest_string(a.ds, a.bx);
    if (name == nullptr)
        return -EFAULT;
    std::string path = name;
    std::vector<std::string> arg_strings, env_strings;
    uint32_t room = kSegmentSize;
    int copied = copy_vector(a.ds, a.cx, arg_strings, room);
    if (copied == 0)
        copied = copy_vector(a.ds, a.dx, env_strings, room);
    if (copied < 0)
        return copied;
    std::vector<char *> args = pointers(arg_strings), env = pointers(env_strings);

    struct stat status;
    int opened = open_image(path.c_str(), status);
    if (opened < 0)
        return opened;
    FileDescriptor fd(opened);
    int checked = check_image(fd.get(), status, args.data(), env.data());
    if (checked < 0)
        return checked;

    // From here on the old program is gone: with part of its identity
    // changed, it could not go on either.
    int taken = take_identity(status);
    if (taken < 0) {
        std::fprintf(stderr, kIdentityRefused, std::strerror(-taken));
        std::exit(1);
    }
    std::memset(tavi_base, 0, kAreaSize);
    vm86::reset_code_cache(); // nothing decoded from the old program applies
    tavi_cpu.regs = vm86::Regs{};
    if (lseek(fd.get(), 0, SEEK_SET) != 0 || load_tavi(fd.get()) < 0 ||
        build_stack(args.data(), env.data()) < 0) {
        std::fprintf(stderr, "%s: Not a tavi binary.\n", path.c_str());
        std::exit(1);
    }
    return 0;
}

} // namespace taviemu
