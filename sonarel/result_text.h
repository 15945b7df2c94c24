// Interpreter results built from a format, of whatever length the text needs.
#pragma once

#include <tcl.h>

namespace sonarel {

// Sets the result of interp to the formatted text; the interpreter keeps its
// own copy. A text too large for memory leaves "Out of memory" instead.
void set_result(Tcl_Interp *interp, const char *format, ...) __attribute__((format(printf, 2, 3)));

} // namespace sonarel
