// setup_env: the working directory and the login variables of a new session.
#include "setup_env.h"

#include "support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <syslog.h>
#include <unistd.h>

namespace sysapplets {
namespace {

// The texts the caller's password entry may be pointed at; writable arrays
// because struct passwd holds plain char pointers.
char fallback_dir[] = "/";
char default_shell[] = "/bin/sh";

constexpr const char search_path[] = "PATH=/bin:/usr/bin";
constexpr const char mail_spool[] = "/var/spool/mail";

// Sets MAIL to dir/name.
void addenv_mail(const char *dir, const char *name) {
    const std::size_t size = std::strlen(dir) + std::strlen(name) + 2;
    char *mail = static_cast<char *>(xmalloc(size));
    std::snprintf(mail, size, "%s/%s", dir, name);
    addenv("MAIL", mail);
    std::free(mail);
}

// Enters the home directory, or "/" with a notice; ends the process when
// neither can be entered.
void enter_home(struct passwd *pw) {
    if (chdir(pw->pw_dir) == 0)
        return;
    if (chdir(fallback_dir) != 0) {
        std::fprintf(stderr, "Unable to cd to \"%s\"", pw->pw_dir);
        syslog(LOG_WARNING, "unable to cd to `%s' for user `%s'\n", pw->pw_dir, pw->pw_name);
        closelog();
        std::exit(1);
    }
    std::printf("No directory, logging in with HOME=/\n");
    pw->pw_dir = fallback_dir;
}

} // namespace

void setup_env(struct passwd *pw) {
    enter_home(pw);
    addenv("HOME", pw->pw_dir);
    if (!pw->pw_shell || !*pw->pw_shell)
        pw->pw_shell = default_shell;
    addenv("SHELL", pw->pw_shell);
    addenv(search_path, nullptr);
    addenv("USER", pw->pw_name);
    addenv("LOGNAME", pw->pw_name);
    addenv_mail(mail_spool, pw->pw_name);
}

} // namespace sysapplets
