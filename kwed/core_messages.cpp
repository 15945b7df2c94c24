// The built-in texts of the message ids by number, for the run-control
// file's ".message" lines; and an editor's message line.
#include "editor_core.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

namespace kwed {

const char *builtintext(int number) {
    const char *const ids[] = {
        f_ok,           f_error,         f_usage,         f_initscr,     f_config,
        f_alloc,        m_newfile,       m_readerr,       m_loaded,      m_saved,
        m_savefail,     m_noname,        m_notfound,      m_wrapped,     m_findprompt,
        m_lineprompt,   m_badline,       m_saveprompt,    m_quitprompt,  m_nomem,
        m_noundo,       m_emptyscrap,    m_scrap,         m_helptitle,   m_modified,
        m_position,     m_title,         m_rcnotfound,    m_rcline,      m_rcread,
        m_longname,     m_literal,       m_rcbadnumber,   m_rcformat,    m_rcdirective,
        m_rccommand,    m_rckey,         m_rcnokey,       m_unbound,     m_undone,
        m_unreadable,   m_notsaved,      m_exists,        m_rescued,     m_lost,
        m_changed,      m_termrescued,   m_termlost,      m_savebroken,  m_wrappedup,
        m_withprompt,   m_replaceask,    m_replaced,      m_replacedone, m_nocase,
        m_backward,     m_redone,        m_noredo,        m_markset,     m_markgone,
        m_scrap1,       m_scrapchars,    m_scrapchar1,    m_dos,         m_readonly,
        m_pasteview,    m_replaceprompt, m_rcforeign,     m_rcwritable,  m_notty,
        m_promptkey,    m_nocursor,      m_saved1,        m_loaded1,     m_nofolder,
        m_savefailnew,  m_isfolder,      m_insertprompt,  m_inserted,    m_inserted1,
        m_hint,         m_helpmore,      m_suspended,     m_noterm,      m_onefile,
        m_where,        m_counted,       m_regioncounted, m_badregex,    m_regex,
        m_regionprompt, m_numberson,     m_numbersoff,    m_spaceson,    m_spacesoff,
        m_notregular,   m_folderchanged, m_dangling,      m_rclink,      m_rcpseudo,
    };
    for (const char *id : ids) {
        char *end;
        long n = std::strtol(id, &end, 0);
        if (n == number && *end)
            return end + 1;
    }
    return nullptr;
}

void msg(editor &ed, const char *id, ...) {
    std::va_list ap;
    va_start(ap, id);
    vformatmsg(ed.msgline, msgline_size, id, ap);
    va_end(ap);
    ed.msgflag = 1;
}

void addmessage(editor &ed, const char *id, ...) {
    if (!ed.msgflag || ed.msgline[0] == '\0') {
        ed.msgline[0] = '\0';
    } else if (std::strlen(ed.msgline) + 2 < msgline_size) {
        std::strcat(ed.msgline, "  ");
    }
    std::size_t used = std::strlen(ed.msgline);
    std::va_list ap;
    va_start(ap, id);
    vformatmsg(ed.msgline + used, msgline_size - used, id, ap);
    va_end(ap);
    ed.msgflag = 1;
}

void fileerror(editor &ed, const char *id, const char *fn, int err) {
    if (err == not_regular)
        msg(ed, m_notregular, fn);
    else
        msg(ed, id, fn, std::strerror(err));
}

} // namespace kwed
