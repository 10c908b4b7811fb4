// The operator table and the password check: the table is read again on
// every call.

#include <algorithm>
#include <cstring>

#include "clientif/clientlib.h"

namespace velk {
namespace {

std::optional<TOperatorRec> operatorAt(ByteView table, int index) {
  return table.load<TOperatorRec>(password::kRecords + sizeof(TOperatorRec) * static_cast<std::size_t>(index));
}

std::string operatorName(const TOperatorRec& record) { return FieldText(record.name, sizeof record.name); }

}  // namespace

std::int32_t ClientLibrary::GetOperatorCount() {
  const auto lock = openAttached();
  if (!lock) return -1;
  const auto count = viewOf(passwordMem_.get()).load<std::int32_t>(password::kCount);
  return count ? std::clamp<std::int32_t>(*count, 0, kMaxOperators) : -1;
}

std::vector<std::string> ClientLibrary::operatorNames() {
  std::vector<std::string> names;
  const std::int32_t count = GetOperatorCount();
  const std::shared_lock lock(stateLock_);
  const ByteView view = viewOf(passwordMem_.get());
  for (int i = 0; i < count; ++i) {
    const auto record = operatorAt(view, i);
    names.push_back(record ? operatorName(*record) : std::string());
  }
  return names;
}

std::string ClientLibrary::GetOperatorName(std::int32_t index) {
  const std::int32_t count = GetOperatorCount();
  if (index < 0 || index >= count) return std::string();
  const std::shared_lock lock(stateLock_);
  const auto record = operatorAt(viewOf(passwordMem_.get()), index);
  return record ? operatorName(*record) : std::string();
}

std::int32_t ClientLibrary::get_operator_DTYPE(std::int32_t index) {
  const std::int32_t count = GetOperatorCount();
  if (index < 0 || index >= count) return 0;
  const std::shared_lock lock(stateLock_);
  const auto record = operatorAt(viewOf(passwordMem_.get()), index);
  return record ? record->DTYPE : 0;
}

std::int32_t ClientLibrary::check_operator_pass(const char* name, const char* passwordText) {
  if (state_.load() <= 0 || name == nullptr || passwordText == nullptr) return -1;
  const std::int32_t count = GetOperatorCount();
  const std::shared_lock lock(stateLock_);
  const ByteView view = viewOf(passwordMem_.get());
  for (int i = 0; i < count; ++i) {
    const auto record = operatorAt(view, i);
    if (record && operatorName(*record) == name &&
        FieldText(record->password, sizeof record->password) == passwordText)
      return i;
  }
  return -1;
}

}  // namespace velk
