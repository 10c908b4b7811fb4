#include "common/lang/engine.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>

#include "common/paths.h"

namespace lang {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "lang_test_XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void writeBytes(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Code page 936 bytes: "\xB4\xF2\xBF\xAA" is 打开, "\x81\x41" 丄, "\x81\x61" 乤,
// "\x81\x7C" 亅, "\x81\x5D" 乚 (its trail byte is "]").
constexpr std::string_view kLanguageFile =
    "; a comment line\r\n"
    "orphan=before any section\r\n"
    "[Strings_Main_Form]\r\n"
    "str0=\xB4\xF2\xBF\xAA\r\n"
    "str1=\r\n"
    "str2 =blank before the sign\r\n"
    "str3=a=b\n"
    "\x81\x41=shang\r"
    "STR4=upper key\r\n"
    "bad=\x81\r\n"
    "after=ok\r\n"
    "str6=%d files in %s\r\n"
    "str7=%s\r\n"
    "\r\n"
    "[strings_main_form]\r\n"
    "str5=in the second section\r\n"
    "[ Spaced ]\r\n"
    "k=v\r\n"
    "[abc\x81\x5D\r\n"
    "  indented=kept\r\n"
    "[StringsTable]\r\n"
    "VLOG_0001=\xB4\xF2\xBF\xAA\r\n"
    "[TForm1]\r\n"
    "self.Caption=Title\r\n"
    ".Hint=form hint\r\n"
    "Width=300\r\n"
    "  Label1 .Caption=\xB4\xF2\xBF\xAA \r\n"
    "a line without the sign\r\n"
    "ComboBox1.Items=a||b||c\r\n"
    "List1.Items=x\x81\x7C|y\r\n"
    "Self.Caption=not the form\r\n"
    "Edit1.Text=v=w\r\n"
    "Missing1.Caption=skipped later\r\n";

class LoadedEngine : public testing::Test {
 protected:
  void SetUp() override {
    writeBytes(dir_.path() / "Language" / "test.lang", kLanguageFile);
    engine_.loadLanguageFileFrom(dir_.path() / "Language" / "test.lang");
  }

  TempDir dir_;
  MultiLangEngine engine_{LangVariant::Quenlor};
};

TEST_F(LoadedEngine, LooksTextsUp) {
  struct Case {
    std::string_view section, key, expected;
  };
  const Case cases[] = {
      {"Strings_Main_Form", "str0", "打开"},
      {"STRINGS_MAIN_FORM", "str0", "打开"},  // section case
      {"Strings_Main_Form", "str4", "upper key"},  // key case
      {"Strings_Main_Form", "str1", ""},  // empty value is not a missing key
      {"Strings_Main_Form", "str2", "DEF"},  // blank before "="
      {"Strings_Main_Form", "str2 ", "blank before the sign"},
      {"Strings_Main_Form", "str3", "a=b"},
      {"Strings_Main_Form", "丄", "shang"},  // after a lone CR
      {"Strings_Main_Form", "乤", "DEF"},  // 0x81 0x61 is not 0x81 0x41 in another case
      {"Strings_Main_Form", "bad", "\xEF\xBF\xBD"},  // a lead byte without trail
      {"Strings_Main_Form", "after", "ok"},  // ... does not take the line end with it
      {"Strings_Main_Form", "str5", "DEF"},  // only the first of two sections is searched
      {"Strings_Main_Form", "orphan", "DEF"},
      {"Strings_Main_Form", "; a comment line", "DEF"},
      {" Spaced ", "k", "v"},
      {"Spaced", "k", "DEF"},  // names are not trimmed
      {" Spaced ", "  indented", "kept"},  // "[abc乚" is a line, not a header
      {"abc乚", "  indented", "DEF"},
      {"NoSuchSection", "str0", "DEF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.section << "/" << c.key);
    EXPECT_EQ(engine_.GetLangString(c.section, c.key, "DEF"), c.expected);
    std::string result = "unchanged";
    engine_.GetLangString(c.section, c.key, result, "DEF");
    EXPECT_EQ(result, c.expected);
  }
}

TEST_F(LoadedEngine, ReadsSectionsVerbatim) {
  const TSpecialMemIniFile& file = *engine_.file();
  EXPECT_EQ(file.FileName(), dir_.path() / "Language" / "test.lang");
  ASSERT_EQ(file.Sections().size(), 5u);
  EXPECT_EQ(file.Sections()[1].name, "strings_main_form");
  std::vector<std::string> lines = {"stale"};
  file.ReadSectionValues(" spaced ", lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"k=v", "[abc乚", "  indented=kept"}));
  file.ReadSectionValues("none", lines);
  EXPECT_TRUE(lines.empty());
}

TEST_F(LoadedEngine, InterpretsFormSection) {
  const auto operations = engine_.formOperations("tform1");
  ASSERT_TRUE(operations.has_value());
  const std::vector<FormOperation> expected = {
      {"", "Caption", "Title"},
      {"", "Hint", "form hint"},  // empty component part
      {"", "Width", "300"},  // no "." at all
      {"Label1", "Caption", "打开 "},  // name trimmed, value not
      {"ComboBox1", "Items", "a||b||c"},  // the line without "=" above is skipped, not the end
      {"List1", "Items", "x亅|y"},
      {"Self", "Caption", "not the form"},  // only lower-case "self" is the form
      {"Edit1", "Text", "v=w"},
      {"Missing1", "Caption", "skipped later"},
  };
  EXPECT_EQ(*operations, expected);
  EXPECT_EQ(SplitString((*operations)[5].value, "||"), (std::vector<std::string>{"x亅|y"}));
  EXPECT_EQ(engine_.formOperations("TNoForm"), std::vector<FormOperation>{});
}

TEST_F(LoadedEngine, LoadsOnlyOnce) {
  engine_.loadLanguageFileFrom(dir_.path() / "missing.lang");
  engine_.LoadLanguageFile("other.lang");
  engine_.LoadLanguageFile();
  EXPECT_EQ(engine_.GetLangString("Strings_Main_Form", "str0", "DEF"), "打开");
}

TEST_F(LoadedEngine, FillsMessages) {
  EXPECT_EQ(formatLangString(engine_, unitSection("Main_Form"), strKey(6), "%d 个文件", {"3", "/r"}),
            "3 files in /r");
  // a language text whose placeholders do not fit gives the built-in text filled
  EXPECT_EQ(formatLangString(engine_, unitSection("Main_Form"), strKey(7), "%d 个 %s", {"3", "/r"}), "3 个 /r");
  EXPECT_EQ(vlogText(engine_, 1), "打开");
  EXPECT_EQ(vlogText(engine_, 2), "UndefineTranslateText");
  const auto lookup = makeLangLookup(engine_);
  const auto message = common::UserMessage::warning("Strings_Main_Form", "str0", "默认", "str99");
  EXPECT_EQ(common::ResolveText(message, lookup), "打开");
  EXPECT_EQ(common::ResolveCaption(message, lookup), "信息提示");
}

TEST(LangEngine, WithoutFile) {
  MultiLangEngine engine(LangVariant::Velklog2);
  EXPECT_FALSE(engine.loaded());
  EXPECT_EQ(engine.formOperations("TForm1"), std::nullopt);
  EXPECT_EQ(vlogText(engine, 1), "UndefineTranslateText");

  TempDir dir;
  engine.loadLanguageFileFrom(dir.path() / "Language" / "velklog2.lang");
  EXPECT_TRUE(engine.loaded());
  EXPECT_TRUE(engine.file()->Sections().empty());
  EXPECT_EQ(engine.GetLangString("StringsTable", "VLOG_0001", "DEF"), "DEF");
  EXPECT_EQ(engine.formOperations("TForm1"), std::vector<FormOperation>{});
}

TEST(LangEngine, FindsProgramsLanguageFile) {
  EXPECT_EQ(quenlorLanguageFile("/opt/q", "quenlor"), fs::path("/opt/q/Language/quenlor.lang"));
  EXPECT_EQ(quenlorLanguageFile("/opt/q", "Quenlor.exe"), fs::path("/opt/q/Language/Quenlor.lang"));
  EXPECT_EQ(namedLanguageFile("/opt/host", "velklog2.lang"), fs::path("/opt/host/Language/velklog2.lang"));

  // The no-argument form reads <test program folder>/Language/<test program>.lang.
  const fs::path file = quenlorLanguageFile(common::ProgramFolder(), common::ProgramName());
  const bool folderExisted = fs::exists(file.parent_path());
  writeBytes(file, "[S]\nk=program\n");
  MultiLangEngine quenlor(LangVariant::Quenlor);
  quenlor.LoadLanguageFile();
  MultiLangEngine velklog2(LangVariant::Velklog2);
  velklog2.LoadLanguageFile(file.filename().string());
  fs::remove(file);
  if (!folderExisted) fs::remove(file.parent_path());
  EXPECT_EQ(quenlor.GetLangString("S", "k", "DEF"), "program");
  EXPECT_EQ(velklog2.GetLangString("S", "k", "DEF"), "program");
}

// A language file named with other capitals than the program is found when
// the exact name is missing; the exact name wins when both are there.
TEST(LangEngine, FindsTheLanguageFileWhateverItsCase) {
  TempDir dir;
  const fs::path folder = dir.path() / "Language";
  writeBytes(folder / "Quenlor.lang", "[S]\nk=capital\n");
  MultiLangEngine capital(LangVariant::Quenlor);
  capital.loadLanguageFileFrom(quenlorLanguageFile(dir.path(), "quenlor"));
  EXPECT_EQ(capital.GetLangString("S", "k", "DEF"), "capital");

  writeBytes(folder / "quenlor.lang", "[S]\nk=exact\n");
  MultiLangEngine exact(LangVariant::Quenlor);
  exact.loadLanguageFileFrom(quenlorLanguageFile(dir.path(), "quenlor"));
  EXPECT_EQ(exact.GetLangString("S", "k", "DEF"), "exact");

  fs::create_directories(folder / "VELKLOG2.LANG");  // a folder is no language file
  MultiLangEngine none(LangVariant::Velklog2);
  none.loadLanguageFileFrom(namedLanguageFile(dir.path(), "velklog2.lang"));
  EXPECT_TRUE(none.loaded());
  EXPECT_EQ(none.GetLangString("S", "k", "DEF"), "DEF");
}

TEST(LangEngine, ModuleHasOneEngine) {
  MultiLangEngine& engine = LangEngine();
  EXPECT_EQ(&engine, &LangEngine());
  EXPECT_EQ(engine.variant(), LangVariant::Quenlor);
  EXPECT_EQ(&createLangEngine(LangVariant::Quenlor), &engine);
  EXPECT_THROW(createLangEngine(LangVariant::Velklog2), std::logic_error);
}

TEST(LangText, Splits) {
  using Items = std::vector<std::string>;
  struct Case {
    std::string_view text;
    Items items;
  };
  const Case cases[] = {
      {"a||b||c", {"a", "b", "c"}}, {"a||", {"a", ""}}, {"||", {"", ""}},
      {"abc", {"abc"}},             {"", {""}},         {"a|||b", {"a", "|b"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitString(c.text, "||"), c.items) << c.text;

  EXPECT_EQ(SplitAtSeparator("a=b=c", "="), (Items{"b=c", "a"}));
  EXPECT_EQ(SplitAtSeparator("=x", "="), (Items{"x", ""}));
  EXPECT_EQ(SplitAtSeparator("abc", "="), (Items{"abc"}));
}

TEST(LangText, MapsPropertyKeysPerVariant) {
  struct Case {
    LangVariant variant;
    std::string_view key, property;
  };
  const Case cases[] = {
      {LangVariant::Quenlor, "Items", "Items"},       {LangVariant::Quenlor, "ItemsList", "Items"},
      {LangVariant::Quenlor, "itemsList", "itemsList"}, {LangVariant::Quenlor, "FontSize", "FontSize"},
      {LangVariant::Velklog2, "itemsList", "items"},  {LangVariant::Velklog2, "ItemsList", "ItemsList"},
      {LangVariant::Velklog2, "FontSize", "Font"},    {LangVariant::Velklog2, "fontSize", "fontSize"},
      {LangVariant::Quenlor, "Caption", "Caption"},
  };
  for (const Case& c : cases) EXPECT_EQ(mapPropertyKey(c.variant, c.key), c.property) << c.key;
}

}  // namespace
}  // namespace lang
