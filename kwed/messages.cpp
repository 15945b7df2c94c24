// Messages named by message ids ("12:Cannot open %s."), the message line,
// and the fatal ending.
#include "kwed.h"
#include "utf8.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <curses.h>
#include <string>

namespace kwed {

namespace {

// A width or precision: digits, or a star that takes an int argument.
// False for a positional argument ("%1$s", "*2$").
bool count_field(const char *&p, std::string &args) {
    if (*p == '*') {
        args += "i,";
        ++p;
    }
    p += std::strspn(p, "0123456789");
    return *p != '$';
}

// The arguments a printf format takes, one token per argument (length
// modifier and kind), or false when the format uses %n, positional
// arguments or a conversion this check does not know.
bool format_arguments(const char *fmt, std::string &args) {
    for (const char *p = std::strchr(fmt, '%'); p != nullptr; p = std::strchr(p, '%')) {
        ++p;
        if (*p == '%') {
            ++p;
            continue;
        }
        p += std::strspn(p, "-+ #0'I");
        if (!count_field(p, args)) // width
            return false;
        if (*p == '.') {
            ++p;
            if (!count_field(p, args)) // precision
                return false;
        }
        std::size_t length = std::strspn(p, "hlLqjzZt");
        args.append(p, length);
        p += length;
        char kind;
        if (*p != '\0' && std::strchr("diouxXc", *p) != nullptr)
            kind = 'i';
        else if (*p != '\0' && std::strchr("eEfFgGaA", *p) != nullptr)
            kind = 'f';
        else if (*p == 's' || *p == 'p' || *p == 'S' || *p == 'C')
            kind = *p;
        else if (*p == 'm')
            kind = 0; // the text of errno: no argument
        else
            return false;
        if (kind != 0) {
            args += kind;
            args += ',';
        }
        ++p;
    }
    return true;
}

// The status fatal ends with for a message id.
int exit_status(const char *id) {
    if (id == f_ok)
        return 0;
    if (id == f_error)
        return 1;
    if (id == f_usage)
        return 2;
    return 3;
}

} // namespace

// A replacement text is used only when it takes the same arguments as
// the built-in text: a text from the run-control file must not make the
// formatting read arguments that were never passed.
bool same_arguments(const char *replacement, const char *builtin) {
    std::string want;
    std::string have;
    return format_arguments(builtin, want) && format_arguments(replacement, have) && want == have;
}

const char *getmsg(const char *id) {
    if (id == nullptr)
        return "";
    char *end = nullptr;
    long number = std::strtol(id, &end, 0);
    const char *builtin = *end == '\0' ? end : end + 1; // skip the one separator
    if (number >= 0 && static_cast<unsigned long>(number) < message_size) {
        const char *replacement = message[number];
        if (replacement != nullptr && same_arguments(replacement, builtin))
            return replacement;
    }
    return builtin;
}

void vformatmsg(char *out, std::size_t size, const char *id, std::va_list ap) {
    int n = std::vsnprintf(out, size, getmsg(id), ap);
    if (n < 0)
        out[0] = '\0';
    else if (static_cast<std::size_t>(n) >= size)
        out[utf8whole(reinterpret_cast<unsigned char *>(out), size - 1)] = '\0';
}

void msg(const char *id, ...) {
    std::va_list ap;
    va_start(ap, id);
    vformatmsg(msgline, msgline_size, id, ap);
    va_end(ap);
    msgflag = 1;
}

void fatal(const char *id, ...) {
    // Curses may be active: give the terminal back first, with the cursor
    // at the start of the last line, so the message lands on a clean line.
    if (curscr != nullptr) {
        wmove(stdscr, LINES - 1, 0);
        wrefresh(stdscr);
        endwin();
        // The terminal's marking of pastes goes off with the editor.
        std::fputs("\033[?2004l", stdout);
        std::putchar('\n');
        std::fflush(stdout);
    }
    const char *text = getmsg(id);
    if (id == f_usage) {
        std::fprintf(stderr, text, prog_name);
    } else {
        std::fprintf(stderr, "%s: ", prog_name);
        std::va_list ap;
        va_start(ap, id);
        std::vfprintf(stderr, text, ap);
        va_end(ap);
    }
    std::exit(exit_status(id));
}

} // namespace kwed
