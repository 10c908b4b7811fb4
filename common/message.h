#pragma once
// What logic reports to the user: a message made of language texts (looked up
// by section and key, with a built-in default) and literal pieces. The forms
// look the pieces up and show the box; the logic never shows anything.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

// None: a plain box that shows only its text and button.
enum class MessageIcon { Warning, Information, Error, Question, None };

// A language text (key and its built-in default) or, with an empty key, literal text.
struct TextPiece {
  std::string key;
  std::string defaultText;

  static TextPiece literal(std::string text) { return {std::string(), std::move(text)}; }
  bool operator==(const TextPiece&) const = default;
};

inline constexpr std::string_view kDefaultCaption = "信息提示";

struct UserMessage {
  std::string section;
  std::vector<TextPiece> text;
  TextPiece caption;
  MessageIcon icon = MessageIcon::Warning;

  // The usual message: one text key and one caption key with the default caption.
  static UserMessage warning(std::string section, std::string textKey, std::string defaultText,
                             std::string captionKey) {
    return {std::move(section),
            {TextPiece{std::move(textKey), std::move(defaultText)}},
            TextPiece{std::move(captionKey), std::string(kDefaultCaption)},
            MessageIcon::Warning};
  }
  // The keys of the text pieces, in order (literal pieces left out): what tests compare.
  std::vector<std::string> textKeys() const {
    std::vector<std::string> keys;
    for (const auto& piece : text)
      if (!piece.key.empty()) keys.push_back(piece.key);
    return keys;
  }
  bool operator==(const UserMessage&) const = default;
};

// Looks a text up: (section, key, built-in default) -> the text to show.
using LangLookup = std::function<std::string(std::string_view section, std::string_view key,
                                             std::string_view fallback)>;

// The built-in texts, for callers without a language file.
inline std::string BuiltInText(std::string_view, std::string_view, std::string_view fallback) {
  return std::string(fallback);
}

inline std::string ResolveText(const UserMessage& message, const LangLookup& lookup) {
  std::string out;
  for (const auto& piece : message.text)
    out += piece.key.empty() ? piece.defaultText : lookup(message.section, piece.key, piece.defaultText);
  return out;
}

inline std::string ResolveCaption(const UserMessage& message, const LangLookup& lookup) {
  const auto& piece = message.caption;
  return piece.key.empty() ? piece.defaultText : lookup(message.section, piece.key, piece.defaultText);
}

}  // namespace common
