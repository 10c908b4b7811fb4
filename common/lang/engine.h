#pragma once
// The language engine: one per module. It loads the module's language file
// once, looks message texts up with a built-in default, and turns a form's
// section into the property settings that the Qt side applies
// (common/lang/translateform.h).
//
// Quenlor and velklog2 both carry this unit; their copies differ only in the
// points that LangVariant selects (list and font keys of form lines) and in
// the file and message names they pass in.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/lang/langfile.h"
#include "common/message.h"

namespace lang {

enum class LangVariant { Quenlor, Velklog2 };

// One setting of a form line "component.key=value".
struct FormOperation {
  std::string component;  // empty: the form itself
  std::string key;        // the property key as written
  std::string value;
  bool operator==(const FormOperation&) const = default;
};

// The settings of a form section's lines, in file order. Name := Trim(the
// text before the first "="), Value := the text after it (not trimmed); the
// component part is Trim(Name before its first "."), "self" (lower case) or
// empty meaning the form; the key is the rest of Name after that ".", or all
// of Name when it has no ".". A line without "=" is skipped.
std::vector<FormOperation> interpretFormSection(const std::vector<std::string>& lines);

// The property that a form line's key names: velklog2 takes every key
// beginning "items" as "items" and every key beginning "Font" as "Font";
// Quenlor takes every key beginning "Items" as "Items" (both case-sensitive).
// Any other key is the property name itself.
std::string mapPropertyKey(LangVariant variant, std::string_view key);

// <folder>/Language/<program name with its extension replaced by ".lang">;
// a name without extension gets ".lang" appended ("quenlor" -> "quenlor.lang").
std::filesystem::path quenlorLanguageFile(const std::filesystem::path& programFolder,
                                          std::string_view programName);
// <folder>/Language/<fileName>.
std::filesystem::path namedLanguageFile(const std::filesystem::path& programFolder, std::string_view fileName);

class MultiLangEngine {
 public:
  explicit MultiLangEngine(LangVariant variant) : variant_(variant) {}

  LangVariant variant() const { return variant_; }
  // True once a LoadLanguageFile call has run (even when the file was missing).
  bool loaded() const { return file_ != nullptr; }
  // The language file; null before loading.
  const TSpecialMemIniFile* file() const { return file_.get(); }

  // Each loads at most once per engine: after the first call of any of them,
  // the others do nothing. A missing file gives an empty language.
  //
  // Quenlor's form: the running program's folder + "Language/" + its name
  // with ".lang".
  void LoadLanguageFile();
  // velklog2's form: the running (host) program's folder + "Language/" + fileName.
  void LoadLanguageFile(std::string_view fileName);
  // An explicit path, for tests and callers with a folder of their own. All
  // three take a file of the same folder whose name differs only in case when
  // the exact name is missing.
  void loadLanguageFileFrom(const std::filesystem::path& path);

  // The text after key's "=" in the first matching line of section; fallback
  // when nothing was loaded, the section or key is missing, or the look-up
  // fails. An empty value gives the empty text.
  std::string GetLangString(std::string_view section, std::string_view key, std::string_view fallback) const;
  void GetLangString(std::string_view section, std::string_view key, std::string& result,
                     std::string_view fallback) const {
    result = GetLangString(section, key, fallback);
  }

  // The settings of the section named formClass; nullopt when nothing was
  // loaded, no settings when the section is missing.
  std::optional<std::vector<FormOperation>> formOperations(std::string_view formClass) const;

 private:
  LangVariant variant_;
  std::unique_ptr<TSpecialMemIniFile> file_;
};

// The module's one engine, created on first use. Its variant is Quenlor unless
// the module chose another before (createLangEngine).
MultiLangEngine& LangEngine();
// Creates the module's engine with the given variant when it does not exist
// yet. velklog2 calls it once from a load-time initializer of the library,
// before any other use. Throws std::logic_error when the engine exists already
// with another variant.
MultiLangEngine& createLangEngine(LangVariant variant);

// A look-up for common::UserMessage and friends, reading the given engine
// (which must outlive it).
common::LangLookup makeLangLookup(const MultiLangEngine& engine);

// Quenlor's message texts: section "Strings_" + unit name, key "str" + number.
std::string unitSection(std::string_view unitName);
std::string strKey(int number);
// The language text of section/key used as a format: common::FormatLangText
// with the built-in text, so a language text with the wrong placeholders
// gives the built-in one filled instead.
std::string formatLangString(const MultiLangEngine& engine, std::string_view section, std::string_view key,
                             std::string_view builtInText, const std::vector<std::string>& args);

// velklog2's message texts: section "StringsTable", key "VLOG_" + four digits,
// one default for every key.
inline constexpr std::string_view kVlogSection = "StringsTable";
inline constexpr std::string_view kVlogDefault = "UndefineTranslateText";
std::string vlogKey(int number);
std::string vlogText(const MultiLangEngine& engine, int number);

}  // namespace lang
