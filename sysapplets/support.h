// What the multi-call program offers its applets: the entry for a file-name
// argument, the error reporter, and the environment and memory helpers the
// login applet shares with the environment set-up.
#pragma once

#include <cstddef>

namespace sysapplets {

// The dispatcher's entry for one file-name argument of an applet.
struct file_info {
    const char *source; // the file name as given on the command line
};

// The name messages start with: the name the applet runs as.
void set_program_name(const char *name);

// Prints "program: name: reason" on standard error, the reason being the
// system's text for the current errno. Returns -1 so callers may pass it on.
int name_and_error(const char *name);

// Sets an environment variable of this process. With a value, name is the
// variable's name; with a null value, name is a complete "NAME=value"
// assignment. Both texts are copied. Returns 0, or -1 when the assignment
// has no name or no equals sign, or the environment cannot grow.
int addenv(const char *name, const char *value);

// malloc that does not return on failure: it prints a message and ends the
// process with status 1.
void *xmalloc(std::size_t size);

} // namespace sysapplets
