#include "common/lang/engine.h"

#include <fmt/format.h>

#include <stdexcept>

#include "common/paths.h"
#include "common/safeformat.h"
#include "common/strings.h"

namespace lang {

std::vector<FormOperation> interpretFormSection(const std::vector<std::string>& lines) {
  std::vector<FormOperation> operations;
  for (const std::string& line : lines) {
    const std::vector<std::string> parts = SplitAtSeparator(line, "=");
    if (parts.size() < 2) continue;  // no "=": nothing to set
    const std::string name = common::Trim(parts[1]);
    const std::size_t dot = name.find('.');
    FormOperation operation;
    if (dot != std::string::npos) {
      operation.component = common::Trim(std::string_view(name).substr(0, dot));
      operation.key = name.substr(dot + 1);
    } else {
      operation.key = name;
    }
    if (operation.component == "self") operation.component.clear();
    operation.value = parts[0];
    operations.push_back(std::move(operation));
  }
  return operations;
}

std::string mapPropertyKey(LangVariant variant, std::string_view key) {
  if (variant == LangVariant::Velklog2) {
    if (key.starts_with("items")) return "items";
    if (key.starts_with("Font")) return "Font";
  } else if (key.starts_with("Items")) {
    return "Items";
  }
  return std::string(key);
}

std::filesystem::path quenlorLanguageFile(const std::filesystem::path& programFolder,
                                          std::string_view programName) {
  std::filesystem::path name(programName);
  name.replace_extension(".lang");
  return programFolder / "Language" / name;
}

std::filesystem::path namedLanguageFile(const std::filesystem::path& programFolder, std::string_view fileName) {
  return programFolder / "Language" / std::filesystem::path(fileName);
}

void MultiLangEngine::LoadLanguageFile() {
  if (loaded()) return;
  std::filesystem::path path;
  try {
    path = quenlorLanguageFile(common::ProgramFolder(), common::ProgramName());
  } catch (const std::exception&) {
    path.clear();  // no program folder: an empty language
  }
  loadLanguageFileFrom(path);
}

void MultiLangEngine::LoadLanguageFile(std::string_view fileName) {
  if (loaded()) return;
  std::filesystem::path path;
  try {
    path = namedLanguageFile(common::ProgramFolder(), fileName);
  } catch (const std::exception&) {
    path.clear();
  }
  loadLanguageFileFrom(path);
}

void MultiLangEngine::loadLanguageFileFrom(const std::filesystem::path& path) {
  if (loaded()) return;
  // A file copied from another system may carry the program's name with other
  // capitals ("Quenlor.lang"): the exact name first, then any case.
  std::filesystem::path found = path;
  if (!path.empty()) {
    const auto match = common::FindFileCaseInsensitive(path);
    std::error_code ec;
    if (match && std::filesystem::is_regular_file(*match, ec)) found = *match;
  }
  file_ = std::make_unique<TSpecialMemIniFile>(found);
}

std::string MultiLangEngine::GetLangString(std::string_view section, std::string_view key,
                                           std::string_view fallback) const {
  try {
    if (file_ != nullptr) return file_->ReadString(section, key, fallback);
  } catch (const std::exception&) {
    // a failed look-up gives the default
  }
  return std::string(fallback);
}

std::optional<std::vector<FormOperation>> MultiLangEngine::formOperations(std::string_view formClass) const {
  if (file_ == nullptr) return std::nullopt;
  std::vector<std::string> lines;
  try {
    file_->ReadSectionValues(formClass, lines);
  } catch (const std::exception&) {
    lines.clear();
  }
  return interpretFormSection(lines);
}

namespace {

std::unique_ptr<MultiLangEngine>& ModuleEngine() {
  static std::unique_ptr<MultiLangEngine> engine;
  return engine;
}

}  // namespace

MultiLangEngine& LangEngine() {
  auto& engine = ModuleEngine();
  if (engine == nullptr) engine = std::make_unique<MultiLangEngine>(LangVariant::Quenlor);
  return *engine;
}

MultiLangEngine& createLangEngine(LangVariant variant) {
  auto& engine = ModuleEngine();
  if (engine == nullptr) engine = std::make_unique<MultiLangEngine>(variant);
  if (engine->variant() != variant) throw std::logic_error("the language engine exists with another variant");
  return *engine;
}

common::LangLookup makeLangLookup(const MultiLangEngine& engine) {
  return [&engine](std::string_view section, std::string_view key, std::string_view fallback) {
    return engine.GetLangString(section, key, fallback);
  };
}

std::string unitSection(std::string_view unitName) { return "Strings_" + std::string(unitName); }

std::string strKey(int number) { return fmt::format("str{}", number); }

std::string formatLangString(const MultiLangEngine& engine, std::string_view section, std::string_view key,
                             std::string_view builtInText, const std::vector<std::string>& args) {
  return common::FormatLangText(engine.GetLangString(section, key, builtInText), builtInText, args);
}

std::string vlogKey(int number) { return fmt::format("VLOG_{:04d}", number); }

std::string vlogText(const MultiLangEngine& engine, int number) {
  return engine.GetLangString(kVlogSection, vlogKey(number), kVlogDefault);
}

}  // namespace lang
