#pragma once
// The in-memory reader of language files: ordered sections of verbatim lines.
//
// A language file is code page 936 text. It is decoded to UTF-8 as a whole
// before it is split into lines and parsed, so that the trail bytes of
// two-byte characters ("[", "\", "]", "|", letters) never count as syntax.
// Lines end in CR LF, LF or a lone CR. Section names and keys compare without
// regard to ASCII case; values come back exactly as stored.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace lang {

class TSpecialCustomIniFile {
 public:
  explicit TSpecialCustomIniFile(std::filesystem::path fileName) : fileName_(std::move(fileName)) {}
  virtual ~TSpecialCustomIniFile() = default;

  // The full path of the language file.
  const std::filesystem::path& FileName() const { return fileName_; }

  // The value of the first line of the first section named section whose
  // text before its first "=" equals ident (not trimmed); fallback when either
  // is missing.
  virtual std::string ReadString(std::string_view section, std::string_view ident,
                                 std::string_view fallback) const = 0;
  // Replaces strings with the lines of the first section named section
  // (empty when it is missing).
  virtual void ReadSectionValues(std::string_view section, std::vector<std::string>& strings) const = 0;

 protected:
  TSpecialCustomIniFile(const TSpecialCustomIniFile&) = default;
  TSpecialCustomIniFile& operator=(const TSpecialCustomIniFile&) = default;

 private:
  std::filesystem::path fileName_;
};

class TSpecialMemIniFile : public TSpecialCustomIniFile {
 public:
  struct Section {
    std::string name;
    std::vector<std::string> lines;
  };

  // Reads the whole file when fileName is non-empty and the file can be read;
  // otherwise the object is empty.
  explicit TSpecialMemIniFile(std::filesystem::path fileName);

  // Replaces the contents with those of a language file's bytes (code page 936).
  void setText(std::string_view gbkBytes);
  // Replaces the contents by parsing decoded lines: empty lines and lines
  // beginning with ";" are skipped, "[name]" opens a section (a name seen
  // twice makes two sections), other lines join the current section as they
  // stand; lines before the first section are dropped.
  void SetStrings(const std::vector<std::string_view>& lines);

  const std::vector<Section>& Sections() const { return sections_; }

  std::string ReadString(std::string_view section, std::string_view ident,
                         std::string_view fallback) const override;
  void ReadSectionValues(std::string_view section, std::vector<std::string>& strings) const override;

 private:
  void LoadValues();
  const Section* findSection(std::string_view name) const;

  std::vector<Section> sections_;
};

// Cuts text at each separator from the left; the rest after the last one is
// always the last item ("a||" gives "a" and ""; a text without separator gives
// itself). An empty separator gives the text as one item.
std::vector<std::string> SplitString(std::string_view text, std::string_view separator);

// Item 0 is the text after the first separator, item 1 the text before it;
// without separator the result is the one item text.
std::vector<std::string> SplitAtSeparator(std::string_view text, std::string_view separator);

}  // namespace lang
