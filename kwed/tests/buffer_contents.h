// The whole text buffer as one string, for comparing with what a test expects.
#pragma once

#include "editor_core.h"

#include <string>

namespace kwed_testing {

inline std::string contents() {
    std::string s(static_cast<std::size_t>(kwed::textsize()), '\0');
    kwed::copytext(0, s.size(), s.data());
    return s;
}

} // namespace kwed_testing
