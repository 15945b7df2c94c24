// Formats a result message into a buffer sized for it, so an argument of any
// length comes out whole.
#include "result_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace sonarel {

namespace {

struct free_deleter {
    void operator()(char *text) const { std::free(text); }
};

} // namespace

void set_result(Tcl_Interp *interp, const char *format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    if (length < 0)
        length = 0;
    std::unique_ptr<char, free_deleter> text(
        static_cast<char *>(std::malloc(static_cast<std::size_t>(length) + 1)));
    if (text) {
        std::vsnprintf(text.get(), static_cast<std::size_t>(length) + 1, format, again);
        Tcl_SetResult(interp, text.get(), TCL_VOLATILE);
    } else {
        Tcl_SetResult(interp, const_cast<char *>("Out of memory"), TCL_STATIC);
    }
    va_end(again);
}

} // namespace sonarel
