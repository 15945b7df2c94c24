// Feeds arbitrary run-control files to the key map loader: every line
// form, key text and message replacement must be taken or refused without
// reading or writing out of bounds.
#include "editor_core.h"

#include <curses.h>
#include <term.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace {

char path[] = "/tmp/kwed-key-map-fuzz-XXXXXX";

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    int err = 0;
    setupterm("xterm", -1, &err);
    int fd = mkstemp(path);
    if (fd >= 0)
        close(fd);
    std::atexit([] { unlink(path); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    std::FILE *fp = std::fopen(path, "wb");
    if (fp == nullptr)
        return 0;
    std::fwrite(data, 1, size, fp);
    std::fclose(fp);
    kwed::rc_keys keys = kwed::initkey(path);
    kwed::keymap_t *map = keys.map;
    if (map != nullptr) {
        for (kwed::keymap_t *k = map; k->code != kwed::k_end; ++k) {
            (void)kwed::keytext(map, *k);
            (void)kwed::keybytes(map, *k);
        }
        (void)kwed::pooltext(map, keys.settings.title);
        kwed::editor ed;
        ed.keys = map;
        for (std::size_t i = 0; i < kwed::commands.size(); ++i)
            (void)kwed::keyfor(ed, kwed::commands[i].code);
        ed.keys = nullptr;
        // Every replaced text must still format with the built-in arguments.
        char line[kwed::msgline_size];
        std::snprintf(line, sizeof line, kwed::getmsg(kwed::m_saved), "f", 1LL);
        std::snprintf(line, sizeof line, kwed::getmsg(kwed::m_position), 1L, 1);
    }
    kwed::finikey(map);
    return 0;
}
