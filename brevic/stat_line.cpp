// Parses the one-line text of /proc/<pid>/stat: the process number, the
// command name in parentheses and the fields after it. The name may hold
// blanks and ')', so it runs to the last ')' of the text.
#include "brevic.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace brevic {
namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The text from `pos` on (pos at most the size); unlike substr it has no
// error path, so the program needs nothing of the C++ runtime library.
std::string_view tail_from(std::string_view text, std::size_t pos) {
    return {text.data() + pos, text.size() - pos};
}

// Reads whitespace-separated decimal numbers, each into a field of its own
// width; a number that does not fit its field ends the scan.
class field_scanner {
  public:
    explicit field_scanner(std::string_view text) : text_(text) {}

    bool read(int &field) {
        std::int64_t value;
        if (!read(value) || value < std::numeric_limits<int>::min() ||
            value > std::numeric_limits<int>::max())
            return false;
        field = static_cast<int>(value);
        return true;
    }

    bool read(std::int64_t &field) {
        skip_blanks();
        const bool negative = pos_ < text_.size() && text_[pos_] == '-';
        if (negative || (pos_ < text_.size() && text_[pos_] == '+'))
            ++pos_;
        std::uint64_t magnitude;
        if (!read_digits(magnitude))
            return false;
        constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        if (magnitude > max + (negative ? 1 : 0))
            return false;
        field = negative ? static_cast<std::int64_t>(0 - magnitude)
                         : static_cast<std::int64_t>(magnitude);
        return true;
    }

    bool read(std::uint64_t &field) {
        skip_blanks();
        if (pos_ < text_.size() && text_[pos_] == '+')
            ++pos_;
        return read_digits(field);
    }

    // Reads every field in order and says how many converted before the
    // first that did not.
    template <class... Fields> int read_all(Fields &...fields) {
        int converted = 0;
        static_cast<void>(((read(fields) ? (++converted, true) : false) && ...));
        return converted;
    }

    std::size_t position() const { return pos_; }

  private:
    void skip_blanks() {
        while (pos_ < text_.size() && is_blank(text_[pos_]))
            ++pos_;
    }

    bool read_digits(std::uint64_t &value) {
        const std::size_t start = pos_;
        value = 0;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') {
            const auto digit = static_cast<std::uint64_t>(text_[pos_] - '0');
            if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10)
                return false;
            value = value * 10 + digit;
            ++pos_;
        }
        return pos_ != start;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

// The process number and the name up to the last ')': "<pid> (<name>".
bool parse_head(std::string_view head, ps_process &process) {
    field_scanner scanner(head);
    if (!scanner.read(process.pid))
        return false;
    std::size_t pos = scanner.position();
    while (pos < head.size() && is_blank(head[pos]))
        ++pos;
    if (pos >= head.size() || head[pos] != '(')
        return false;
    const std::string_view name = tail_from(head, pos + 1);
    std::memset(process.comm, 0, sizeof process.comm);
    std::memcpy(process.comm, name.data(), std::min(name.size(), comm_length));
    return true;
}

} // namespace

bool parse_stat_line(std::string_view line, ps_process &process) {
    // A short line must not leave fields of the process read before.
    process = ps_process{};
    if (line.size() < min_stat_length)
        return false;
    const std::size_t close = line.rfind(')');
    if (close == std::string_view::npos ||
        !parse_head(std::string_view(line.data(), close), process))
        return false;
    // The state letter sits right after the ')' and its blank.
    const std::size_t state_pos = close + 2;
    if (state_pos >= line.size())
        return false;
    process.state = line[state_pos];
    field_scanner scanner(tail_from(line, state_pos + 1));
    auto &p = process;
    const int converted =
        1 + scanner.read_all(p.ppid, p.pgrp, p.session, p.tty_nr, p.tpgid, p.flags, p.minflt,
                             p.cminflt, p.majflt, p.cmajflt, p.utime, p.stime, p.cutime, p.cstime,
                             p.priority, p.nice, p.timeout, p.itrealvalue, p.starttime, p.vsize,
                             p.rss, p.rsslim, p.startcode, p.endcode, p.startstack, p.kstkesp,
                             p.kstkeip, p.signal, p.blocked, p.sigignore, p.sigcatch, p.wchan,
                             p.nswap, p.cnswap);
    // Sizes in KiB: bytes shifted right by 10, pages of 4 KiB shifted left by 2.
    p.vsize >>= 10;
    p.rss = static_cast<std::int64_t>(static_cast<std::uint64_t>(p.rss) << 2);
    return converted >= min_stat_fields;
}

} // namespace brevic
