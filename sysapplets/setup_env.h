// The login applet's environment set-up for a user who has just logged in.
#pragma once

#include <pwd.h>

namespace sysapplets {

// Changes into the user's home directory (falling back to "/") and sets
// HOME, SHELL, PATH, USER, LOGNAME and MAIL, in that order. May point
// pw->pw_dir at "/" and pw->pw_shell at "/bin/sh". Ends the process with
// status 1 when neither the home directory nor "/" can be entered.
void setup_env(struct passwd *pw);

} // namespace sysapplets
