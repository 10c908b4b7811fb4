#include "waveform/ui/wait_texts.h"

#include "common/forms/form_services.h"
#include "common/lang/engine.h"

#include <algorithm>

namespace wave {
namespace {

constexpr const char* kSection = "Strings_Wait_Form";

QString text(const char* key, const char* fallback) {
  return forms::Utf8(lang::LangEngine().GetLangString(kSection, key, fallback));
}

QString megabytes(std::uint64_t bytes) { return QString::number(static_cast<double>(bytes) / 1e6, 'f', 1); }

// The share done in whole percent, never 100 before the end.
QString percent(const common::JobProgress::Snapshot& progress) {
  const auto share =
      progress.total == 0 ? std::uint64_t{0} : static_cast<std::uint64_t>(progress.done * 100.0L / progress.total);
  return QString::number(progress.done < progress.total ? std::min<std::uint64_t>(share, 99) : share) +
         QStringLiteral(" %");
}

}  // namespace

QString WaitText(const common::JobProgress::Snapshot& progress) {
  using Stage = common::JobProgress::Stage;
  switch (progress.stage) {
    case Stage::Starting:
      return text("str0", "请稍候……");
    case Stage::Reading:
      return text("str1", "正在读取录波数据：") + megabytes(progress.done) + QStringLiteral(" / ") +
             megabytes(progress.total) + QStringLiteral(" MB");
    case Stage::Analysing:  // the steps are samples or harmonic orders: the share says more
      return text("str2", "正在分析数据：") + percent(progress);
    case Stage::Exporting:
      return text("str3", "正在导出数据：") + QString::number(progress.done) + QStringLiteral(" / ") +
             QString::number(progress.total) + text("str4", " 行");
  }
  return {};
}

}  // namespace wave
