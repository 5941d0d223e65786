# Turns the public suffix list into a C++ source with one UTF-16 literal per rule.
# Usage: cmake -DIN=<public_suffix_list.dat> -DOUT=<file.cpp> -P GeneratePublicSuffixData.cmake
if(NOT EXISTS "${IN}")
  message(FATAL_ERROR "public suffix list not found at ${IN} (Debian package: publicsuffix)")
endif()

# Rule lines start with a label, '*' or '!'; comments start with "//".
file(STRINGS "${IN}" rules ENCODING UTF-8 REGEX "^[^/ \t\r]")
list(TRANSFORM rules REPLACE "[ \t\r].*$" "")
list(FILTER rules EXCLUDE REGEX "^$")
list(FILTER rules EXCLUDE REGEX "[\"\\\\]")
list(REMOVE_DUPLICATES rules)
list(LENGTH rules count)
if(count LESS 1000)
  message(FATAL_ERROR "${IN} holds only ${count} rules; is it the public suffix list?")
endif()
list(TRANSFORM rules PREPEND "    u\"")
list(TRANSFORM rules APPEND "\",")
list(JOIN rules "\n" body)

file(WRITE "${OUT}.tmp" "// Generated at build time from ${IN}; do not edit.
#include <cstddef>

namespace PublicSuffixData {
extern const char16_t *const kRules[];
extern const std::size_t kRuleCount;
const char16_t *const kRules[] = {
${body}
};
const std::size_t kRuleCount = ${count};
} // namespace PublicSuffixData
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
