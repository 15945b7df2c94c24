// lineinput: the terminal's input a line at a time or a key at a time.
// Start-up calls it once; the core again when it takes the terminal back.
#include "editor_core.h"

#include <curses.h>

#include <termios.h>
#include <unistd.h>

namespace kwed {

int lineinput(int line) {
    int r = line ? noraw() : raw();
    if (r == OK) {
        struct termios t;
        if (tcgetattr(STDIN_FILENO, &t) == 0) {
            t.c_iflag |= ICRNL;
            if (tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0)
                return 0;
        }
    }
    return line ? nocbreak() : cbreak();
}

void keysapart() {
    struct termios t;
    if (tcgetattr(STDIN_FILENO, &t) == 0 && (t.c_iflag & ICRNL)) {
        t.c_iflag &= ~ICRNL;
        tcsetattr(STDIN_FILENO, TCSANOW, &t);
    }
}

} // namespace kwed
