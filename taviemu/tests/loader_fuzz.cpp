// Feeds random executables and argument lists to the loader and the stack
// builder: whatever the header says, every write stays inside the area.
#include "guest_memory.h"
#include "tavi.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace taviemu;

namespace {

// Splits `bytes` at NULs into at most `limit` strings.
std::vector<std::string> strings(const uint8_t *bytes, size_t size, size_t limit) {
    std::vector<std::string> list;
    std::string current;
    for (size_t i = 0; i < size && list.size() < limit; ++i) {
        if (bytes[i] == 0) {
            list.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(bytes[i]);
        }
    }
    return list;
}

std::vector<char *> pointers(std::vector<std::string> &list) {
    std::vector<char *> p;
    for (std::string &s : list)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The first two bytes split the input: the executable, then the strings
    // of the argument list and of the environment. Sizes in the header are
    // scaled up from its low bits now and then, to reach the limits.
    if (size < 3)
        return 0;
    size_t image_size = (static_cast<size_t>(data[0]) << 8 | data[1]) % (size - 2);
    const uint8_t *image = data + 2;
    std::vector<uint8_t> file(image, image + image_size);
    if (file.size() >= kHeaderSize && (file[21] & 1)) {
        put32(file.data() + 8, get32(file.data() + 8) & 0x1FFFF);
        put32(file.data() + 12, get32(file.data() + 12) & 0x1FFFF);
        put32(file.data() + 16, get32(file.data() + 16) & 0x1FFFF);
    }
    size_t rest = size - 2 - image_size;
    const uint8_t *tail = image + image_size;
    std::vector<std::string> args = strings(tail, rest / 2, 64);
    std::vector<std::string> env = strings(tail + rest / 2, rest - rest / 2, 64);
    if (!env.empty() && (env[0].size() & 1))
        env[0].append(0xF000, 'e'); // now and then a block too large for the segment

    int fd = memfd_create("tavi", 0);
    if (fd < 0 || write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size()) ||
        lseek(fd, 0, SEEK_SET) != 0) {
        if (fd >= 0)
            close(fd);
        return 0;
    }
    std::vector<uint8_t> area(kAreaSize);
    tavi_base = area.data();
    tavi_linear = kAreaAddress;
    tavi_cpu = vm86::Record{};
    if (load_tavi(fd) == 0) {
        std::vector<char *> a = pointers(args), e = pointers(env);
        uint32_t esp = tavi_cpu.regs.esp;
        if (build_stack(a.data(), e.data()) == 0) {
            if (tavi_cpu.regs.esp > esp || tavi_cpu.regs.esp < tavi_bss_end)
                __builtin_trap();
        } else if (tavi_cpu.regs.esp != esp) {
            __builtin_trap();
        }
    }
    close(fd);
    tavi_base = nullptr;
    return 0;
}
