// Arbitrary file contents through the line-end reading and the writing of
// the text: unchanged, the text must go back to disk as the very bytes
// that were read, and the size reported must be theirs.
#include "editor_core.h"
#include "write_file.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    kwed::editor ed;
    if (!kwed::growgap(ed.buffer, size + 1) ||
        !kwed::raw_insert(ed, 0, reinterpret_cast<const char *>(data), size))
        std::abort();
    kwed::notelineends(ed);
    if (kwed::disksize(ed) != static_cast<kwed::offset_t>(size))
        std::abort();
    // The gap somewhere in the middle, so that both halves are written.
    kwed::movegap(ed.buffer, kwed::textsize(ed.buffer) / 2);
    int fd = memfd_create("text", 0);
    if (fd < 0 || !kwed::writetext(ed, fd))
        std::abort();
    std::string back(size, '\0');
    if (pread(fd, back.data(), size, 0) != static_cast<ssize_t>(size) ||
        std::memcmp(back.data(), data, size) != 0 ||
        lseek(fd, 0, SEEK_END) != static_cast<off_t>(size))
        std::abort();
    close(fd);
    kwed::freebuffer(ed);
    return 0;
}
