// The command line: two option grammars side by side, dash groups ("-ef",
// "-Cbash") and bare groups ("aux", "p42"), plus bare process numbers. Any
// malformed or contradictory command line makes parse_arguments return false.
#include "brevic.h"

#include <cstdlib>
#include <cstring>

namespace brevic {
namespace {

// The walk over the arguments: the index of the current argument and a
// cursor on the current option letter, both moved by next_value.
class argument_walk {
  public:
    argument_walk(int argc, const char *const argv[], long pid_ceiling, ps_options &options)
        : argc_(argc), argv_(argv), pid_ceiling_(pid_ceiling), options_(options) {}

    bool run();

  private:
    bool parse_dash_group();
    bool parse_bare_group();
    bool set_format(int code);
    bool set_pid(const char *text);
    const char *next_value();
    bool final_checks();

    int argc_;
    const char *const *argv_;
    long pid_ceiling_;
    ps_options &options_;
    int index_ = 0;
    const char *cursor_ = nullptr;
};

bool starts_with_digit(const char *text) {
    return text[0] >= '0' && text[0] <= '9';
}

bool argument_walk::run() {
    for (index_ = 1; index_ < argc_; ++index_) {
        const char *argument = argv_[index_];
        bool valid;
        if (argument[0] == '-') {
            cursor_ = argument + 1;
            valid = parse_dash_group();
        } else if (starts_with_digit(argument)) {
            options_.bracket = 1;
            valid = set_pid(argument);
        } else {
            options_.bracket = 1;
            cursor_ = argument;
            valid = parse_bare_group();
        }
        if (!valid)
            return false;
    }
    return final_checks();
}

// Letters after a dash. A letter that takes a value ends the argument.
bool argument_walk::parse_dash_group() {
    for (;;) {
        const char letter = *cursor_;
        switch (letter) {
        case 'A':
        case 'e':
            ++options_.a_count;
            ++options_.x_count;
            break;
        case 'C': {
            if (options_.command != nullptr)
                return false;
            options_.command = next_value();
            return options_.command != nullptr;
        }
        case 'f':
            options_.bracket = 1;
            [[fallthrough]];
        case 'j':
        case 'l':
            if (!set_format(letter))
                return false;
            break;
        case 'o': {
            const char *value = next_value();
            if (value == nullptr || std::strcmp(value, "pid=") != 0)
                return false;
            if (!set_format(format_pid_only))
                return false;
            ++options_.h_count;
            return true;
        }
        case 'p':
            return set_pid(next_value());
        default:
            return false;
        }
        ++cursor_;
        if (*cursor_ == '\0')
            return true;
    }
}

// Letters without a dash; an empty argument is an unrecognised letter.
bool argument_walk::parse_bare_group() {
    for (;;) {
        const char letter = *cursor_;
        switch (letter) {
        case 'a':
            ++options_.a_count;
            break;
        case 'c':
            ++options_.c_count;
            break;
        case 'h':
            ++options_.h_count;
            break;
        case 'j':
        case 'l':
        case 'u':
        case 'v':
            if (!set_format(letter | bare_format_bit))
                return false;
            break;
        case 'p':
            return set_pid(next_value());
        case 'x':
            ++options_.x_count;
            break;
        default:
            return false;
        }
        ++cursor_;
        if (*cursor_ == '\0')
            return true;
    }
}

bool argument_walk::set_format(int code) {
    if (options_.format != format_default)
        return false;
    options_.format = code;
    return true;
}

// A process number in C notation (0x hexadecimal, leading 0 octal), with
// nothing after it, above 0 and not above the ceiling, given only once.
bool argument_walk::set_pid(const char *text) {
    if (text == nullptr || options_.pid != 0)
        return false;
    char *end = nullptr;
    const long value = std::strtol(text, &end, 0);
    if (end == text || *end != '\0')
        return false;
    if (value <= 0 || value > pid_ceiling_)
        return false;
    options_.pid = static_cast<int>(value);
    return true;
}

// The value of the letter under the cursor: the rest of the argument, or the
// whole next argument, which must exist and not be empty.
const char *argument_walk::next_value() {
    if (cursor_[1] != '\0')
        return cursor_ + 1;
    if (index_ + 1 >= argc_)
        return nullptr;
    ++index_;
    const char *value = argv_[index_];
    return value[0] != '\0' ? value : nullptr;
}

// One kind of selection at most, and no counted option given twice.
bool argument_walk::final_checks() {
    const int kinds = (options_.pid != 0) + (options_.command != nullptr) +
                      (options_.a_count != 0 || options_.x_count != 0);
    if (kinds > 1)
        return false;
    if (options_.x_count > 1 || options_.a_count > 1 || options_.c_count > 1 ||
        options_.h_count > 1)
        return false;
    if (options_.c_count != 0)
        options_.bracket = 0;
    return true;
}

} // namespace

bool parse_arguments(int argc, const char *const argv[], long pid_ceiling, ps_options &options) {
    argument_walk walk(argc, argv, pid_ceiling, options);
    return walk.run();
}

} // namespace brevic
