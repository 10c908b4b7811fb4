#pragma once
// Fills texts that come from language files. Such a text is never trusted as a
// printf format: only "%s" and "%d" are replaced, in order, by the given
// arguments, "%%" gives "%", and anything else is kept as it stands.

#include <string>
#include <string_view>
#include <vector>

namespace common {

std::string SafeFormat(std::string_view format, const std::vector<std::string>& args);

// Counts the "%s" and "%d" placeholders.
int CountPlaceholders(std::string_view format);

// The language text filled with args when it has exactly as many placeholders
// as args; otherwise the built-in default filled instead.
std::string FormatLangText(std::string_view text, std::string_view builtInDefault,
                           const std::vector<std::string>& args);

}  // namespace common
