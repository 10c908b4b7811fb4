#include "common/safeformat.h"

namespace common {
namespace {

bool isPlaceholder(std::string_view format, std::size_t i) {
  return format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 's' || format[i + 1] == 'd');
}

}  // namespace

std::string SafeFormat(std::string_view format, const std::vector<std::string>& args) {
  std::string out;
  out.reserve(format.size());
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
      out.push_back('%');
      ++i;
    } else if (isPlaceholder(format, i) && next < args.size()) {
      out.append(args[next++]);
      ++i;
    } else {
      out.push_back(format[i]);  // a placeholder without an argument stays as written
    }
  }
  return out;
}

int CountPlaceholders(std::string_view format) {
  int count = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
      ++i;
    } else if (isPlaceholder(format, i)) {
      ++count;
      ++i;
    }
  }
  return count;
}

std::string FormatLangText(std::string_view text, std::string_view builtInDefault,
                           const std::vector<std::string>& args) {
  const bool fits = CountPlaceholders(text) == static_cast<int>(args.size());
  return SafeFormat(fits ? text : builtInDefault, args);
}

}  // namespace common
