// The whole text buffer as one string, for comparing with what a test expects.
#pragma once

#include "editor_core.h"

#include <string>

namespace kwed_testing {

inline std::string contents(const kwed::text_buffer &b) {
    std::string s(static_cast<std::size_t>(kwed::textsize(b)), '\0');
    kwed::copytext(b, 0, s.size(), s.data());
    return s;
}

} // namespace kwed_testing
