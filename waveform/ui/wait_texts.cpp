#include "waveform/ui/wait_texts.h"

#include "common/forms/form_services.h"
#include "common/lang/engine.h"

namespace wave {
namespace {

constexpr const char* kSection = "Strings_Wait_Form";

QString text(const char* key, const char* fallback) {
  return forms::Utf8(lang::LangEngine().GetLangString(kSection, key, fallback));
}

QString megabytes(std::uint64_t bytes) { return QString::number(static_cast<double>(bytes) / 1e6, 'f', 1); }

}  // namespace

QString WaitText(const common::JobProgress::Snapshot& progress) {
  using Stage = common::JobProgress::Stage;
  switch (progress.stage) {
    case Stage::Starting:
      return text("str0", "请稍候……");
    case Stage::Reading:
      return text("str1", "正在读取录波数据：") + megabytes(progress.done) + QStringLiteral(" / ") +
             megabytes(progress.total) + QStringLiteral(" MB");
    case Stage::Analysing:
      return text("str2", "正在分析通道：") + QString::number(progress.done) + QStringLiteral(" / ") +
             QString::number(progress.total);
    case Stage::Exporting:
      return text("str3", "正在导出数据：") + QString::number(progress.done) + QStringLiteral(" / ") +
             QString::number(progress.total) + text("str4", " 行");
  }
  return {};
}

}  // namespace wave
