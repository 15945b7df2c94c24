// execve for the 16-bit program, of either system. The argument block is
// checked and copied before anything changes. Another tavi executable (the
// format both systems share) replaces the program in this process, with
// the block as its initial stack; any other file (a host program, a
// script) goes to the host's execve with the block's arguments and
// environment, so that system() and popen() start the host's /bin/sh.
// Every failure that can be found while the old program is intact comes
// back to it as the call's result.
#include "tavi_exec.h"
#include "exec_block.h"
#include "guest_memory.h"
#include "image.h"
#include "program_signals.h"
#include "tavi.h"
#include "tavi_calls.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace taviemu {

namespace {

constexpr int kMostDescriptors = 0x8000; // the program holds none above

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0)
            close(fd_);
        fd_ = -1;
    }

  private:
    int fd_;
};

std::vector<char *> pointers(std::vector<std::string> &strings) {
    std::vector<char *> list;
    for (std::string &s : strings)
        list.push_back(s.data());
    list.push_back(nullptr);
    return list;
}

// Whether the file starts as a tavi executable does: then it is this
// runner's to run or to refuse, whatever the rest of its header says.
bool has_tavi_magic(int fd) {
    uint8_t bytes[4];
    if (pread(fd, bytes, sizeof bytes, 0) != sizeof bytes)
        return false;
    uint32_t magic = get32(bytes);
    return magic == kMagicCombined || magic == kMagicSeparate;
}

// The image against its file and its segments, and the block against the
// room above its bss, without touching the running program.
int check_image(int fd, const struct stat &status, size_t block_size) {
    uint8_t bytes[kHeaderSize];
    ExecHeader header;
    if (pread(fd, bytes, kHeaderSize, 0) != kHeaderSize || parse_header(bytes, header) < 0 ||
        check_length(header, status) < 0)
        return -ENOEXEC;
    if (check_fit(header) < 0)
        return -ENOMEM;
    return block_size <= kSegmentSize - bss_end(header) ? 0 : -E2BIG;
}

// The host's execve; returns only when it failed. The runner holds no
// descriptor of its own (the image's is closed on exec), and the signals
// it caught for the program go back to their default in the new program,
// while those the program ignores stay ignored, as execve has it.
int exec_host(const char *path, const ExecBlock &block) {
    std::vector<std::string> args = exec_arguments(block), env = exec_environment(block);
    std::vector<char *> argv = pointers(args), envp = pointers(env);
    std::fflush(nullptr);
    give_signals_to_host();
    execve(path, argv.data(), envp.data());
    int error = errno;
    take_signals_back();
    return -error;
}

void close_if_marked(int fd) {
    int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && (flags & FD_CLOEXEC) != 0)
        close(fd);
}

// Closes the program's descriptors marked close-on-exec, as the kernel's
// execve would: those /proc lists, or every one the program can hold.
void close_on_exec() {
    DIR *listing = opendir("/proc/self/fd");
    if (listing == nullptr) {
        for (int fd = 0; fd < kMostDescriptors; ++fd)
            close_if_marked(fd);
        return;
    }
    std::vector<int> open_fds;
    while (const struct dirent *entry = readdir(listing))
        if (entry->d_name[0] != '.')
            open_fds.push_back(std::atoi(entry->d_name));
    int own = dirfd(listing);
    for (int fd : open_fds)
        if (fd != own)
            close_if_marked(fd);
    closedir(listing);
}

// Places the block at the top of the data segment as the initial stack,
// its string offsets made offsets in the segment; 0, or -E2BIG (nothing
// written) when it would reach the bss.
int place_stack_block(const ExecBlock &block) {
    uint32_t size = static_cast<uint32_t>(block.bytes.size());
    if (tavi_bss_end > kSegmentSize || size > kSegmentSize - tavi_bss_end)
        return -E2BIG;
    tavi_cpu.regs.esp = kSegmentSize - size;
    uint16_t sp = static_cast<uint16_t>(tavi_cpu.regs.esp);
    uint8_t *data_seg = tavi_base + (static_cast<uint32_t>(tavi_cpu.regs.ds) * 16 - tavi_linear);
    place_exec_block(block, data_seg + sp, sp);
    tavi_stack_start = sp;
    return 0;
}

// The new program in place of the old. From here on the old one is gone.
int replace_program(FileDescriptor &fd, const std::string &path, const ExecBlock &block) {
    clear_area();
    vm86::reset_code_cache(); // nothing decoded from the old program applies
    tavi_cpu.regs = vm86::Regs{};
    if (lseek(fd.get(), 0, SEEK_SET) != 0 || load_tavi(fd.get()) < 0 ||
        place_stack_block(block) < 0) {
        std::fprintf(stderr, "%s: Not a tavi binary.\n", path.c_str());
        std::exit(1);
    }
    fd.reset();
    close_on_exec();
    reset_program_signals();
    return 0;
}

// Another tavi executable, with the identity its set-ID bits give: refused
// while the old program is intact when it cannot be taken on.
int exec_tavi(FileDescriptor &fd, const struct stat &status, const std::string &path,
              const ExecBlock &block) {
    if (int r = check_image(fd.get(), status, block.bytes.size()); r < 0)
        return r;
    bool intact = true;
    if (int taken = take_identity(status, intact); taken < 0) {
        if (intact)
            return taken;
        std::fprintf(stderr, kIdentityRefused, std::strerror(-taken));
        std::exit(1);
    }
    return replace_program(fd, path, block);
}

} // namespace

int exec_program(const char *name, std::span<const uint8_t> bytes) {
    ExecBlock block;
    if (int r = read_exec_block(bytes, block); r < 0)
        return r;
    std::string path = name;
    struct stat status;
    int opened = open_image(path.c_str(), status, Lookup::program);
    // A file the program may not read may still be one the host runs.
    if (opened == -EACCES)
        return exec_host(path.c_str(), block);
    if (opened < 0)
        return opened;
    FileDescriptor fd(opened);
    if (has_tavi_magic(fd.get()))
        return exec_tavi(fd, status, path, block);
    fd.reset();
    return exec_host(path.c_str(), block);
}

int sys_execve(const CallArgs &a) {
    const char *name = guest_string(a.ds, a.bx);
    const uint8_t *bytes = guest_bytes(a.ds, a.cx, a.dx);
    if (name == nullptr || bytes == nullptr)
        return -EFAULT;
    return exec_program(name, {bytes, a.dx});
}

} // namespace taviemu
