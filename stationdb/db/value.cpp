#include "stationdb/db/value.h"

#include <fmt/format.h>

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <utility>

#include "common/arith.h"
#include "common/strings.h"
#include "stationdb/db/error.h"

namespace db {
namespace {

constexpr std::array<std::pair<DataType, std::string_view>, 7> kTypeNames{{
    {DataType::Integer, "Integer"},
    {DataType::BigInt, "BigInt"},
    {DataType::Boolean, "Boolean"},
    {DataType::Double, "Double"},
    {DataType::DateTime, "DateTime"},
    {DataType::Text, "Text"},
    {DataType::Binary, "Binary"},
}};

constexpr std::array<std::pair<Direction, std::string_view>, 4> kDirectionNames{{
    {Direction::Input, "Input"},
    {Direction::Output, "Output"},
    {Direction::InputOutput, "InputOutput"},
    {Direction::ReturnValue, "ReturnValue"},
}};

[[noreturn]] void cannotConvert(const Value& value, std::string_view to) {
  throw Error(fmt::format("Could not convert {} into type {}", value.describe(), to));
}

bool parseInt64(std::string_view text, std::int64_t& out) {
  text = common::TrimView(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return !text.empty() && ec == std::errc() && end == text.data() + text.size();
}

bool readNumber(std::string_view& text, std::size_t digits, int& out) {
  if (text.size() < digits) return false;
  int value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  text.remove_prefix(digits);
  out = value;
  return true;
}

bool readSeparator(std::string_view& text, std::string_view allowed) {
  if (text.empty() || allowed.find(text.front()) == std::string_view::npos) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::string_view DataTypeName(DataType type) {
  for (const auto& [t, name] : kTypeNames)
    if (t == type) return name;
  return "?";
}

std::string_view DirectionName(Direction direction) {
  for (const auto& [d, name] : kDirectionNames)
    if (d == direction) return name;
  return "?";
}

bool ParseDataType(std::string_view name, DataType& type) {
  for (const auto& [t, n] : kTypeNames)
    if (common::SameText(n, common::TrimView(name))) {
      type = t;
      return true;
    }
  return false;
}

bool ParseDirection(std::string_view name, Direction& direction) {
  for (const auto& [d, n] : kDirectionNames)
    if (common::SameText(n, common::TrimView(name))) {
      direction = d;
      return true;
    }
  return false;
}

std::int64_t Value::asInt64() const {
  switch (kind()) {
    case Kind::Null:
      return 0;
    case Kind::Integer:
      return std::get<1>(storage_);
    case Kind::Boolean:
      return std::get<2>(storage_) ? 1 : 0;
    case Kind::Double: {
      const double d = std::get<3>(storage_);
      if (!std::isfinite(d) || std::fabs(d) >= 9.2e18) cannotConvert(*this, "BigInt");
      return common::Round(d);
    }
    case Kind::Text: {
      std::int64_t v = 0;
      if (!parseInt64(std::get<5>(storage_), v)) cannotConvert(*this, "BigInt");
      return v;
    }
    case Kind::DateTime:
    case Kind::Binary:
      break;
  }
  cannotConvert(*this, "BigInt");
}

std::int32_t Value::asInt32() const {
  const std::int64_t v = asInt64();
  if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
    cannotConvert(*this, "Integer");
  return static_cast<std::int32_t>(v);
}

bool Value::asBool() const {
  switch (kind()) {
    case Kind::Null:
      return false;
    case Kind::Boolean:
      return std::get<2>(storage_);
    case Kind::Integer:
      return std::get<1>(storage_) != 0;
    case Kind::Double:
      return std::get<3>(storage_) != 0;
    case Kind::Text: {
      const std::string_view t = common::TrimView(std::get<5>(storage_));
      if (common::SameText(t, "true")) return true;
      if (common::SameText(t, "false")) return false;
      std::int64_t v = 0;
      if (parseInt64(t, v)) return v != 0;
      break;
    }
    case Kind::DateTime:
    case Kind::Binary:
      break;
  }
  cannotConvert(*this, "Boolean");
}

double Value::asDouble() const {
  switch (kind()) {
    case Kind::Null:
      return 0;
    case Kind::Integer:
      return static_cast<double>(std::get<1>(storage_));
    case Kind::Boolean:
      return std::get<2>(storage_) ? 1 : 0;
    case Kind::Double:
      return std::get<3>(storage_);
    case Kind::DateTime:
      return std::get<4>(storage_).days;
    case Kind::Text: {
      double v = 0;
      if (common::TryStrToFloat(std::get<5>(storage_), v)) return v;
      break;
    }
    case Kind::Binary:
      break;
  }
  cannotConvert(*this, "Double");
}

common::TDateTime Value::asDateTime() const {
  switch (kind()) {
    case Kind::Null:
      return 0;
    case Kind::DateTime:
      return std::get<4>(storage_).days;
    case Kind::Integer:
      return static_cast<double>(std::get<1>(storage_));
    case Kind::Double:
      return std::get<3>(storage_);
    case Kind::Text: {
      common::TDateTime v = 0;
      if (ParseIsoDateTime(std::get<5>(storage_), v)) return v;
      break;
    }
    case Kind::Boolean:
    case Kind::Binary:
      break;
  }
  cannotConvert(*this, "DateTime");
}

std::string Value::asText() const {
  switch (kind()) {
    case Kind::Null:
      return {};
    case Kind::Integer:
      return fmt::format("{}", std::get<1>(storage_));
    case Kind::Boolean:
      return std::get<2>(storage_) ? "True" : "False";
    case Kind::Double:
      return fmt::format("{}", std::get<3>(storage_));
    case Kind::DateTime:
      return DateTimeToIsoText(std::get<4>(storage_).days);
    case Kind::Text:
      return std::get<5>(storage_);
    case Kind::Binary: {
      const Bytes& b = std::get<6>(storage_);
      return std::string(b.begin(), b.end());
    }
  }
  return {};
}

Bytes Value::asBytes() const {
  switch (kind()) {
    case Kind::Null:
      return {};
    case Kind::Binary:
      return std::get<6>(storage_);
    case Kind::Text: {
      const std::string& t = std::get<5>(storage_);
      return Bytes(t.begin(), t.end());
    }
    default:
      break;
  }
  cannotConvert(*this, "Binary");
}

std::string Value::describe() const {
  switch (kind()) {
    case Kind::Null:
      return "Null";
    case Kind::Text:
      return fmt::format("'{}'", std::get<5>(storage_));
    case Kind::Binary:
      return fmt::format("{} bytes", std::get<6>(storage_).size());
    case Kind::DateTime:
      return fmt::format("#{}#", asText());
    default:
      return asText();
  }
}

std::string DateTimeToIsoText(common::TDateTime value) {
  return common::FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", value);
}

bool ParseIsoDateTime(std::string_view text, common::TDateTime& value) {
  text = common::TrimView(text);
  common::DateTimeParts p;
  if (!readNumber(text, 4, p.year) || !readSeparator(text, "-/") || !readNumber(text, 2, p.month) ||
      !readSeparator(text, "-/") || !readNumber(text, 2, p.day))
    return false;
  p.hour = p.minute = p.second = p.millisecond = 0;
  if (!text.empty()) {
    if (!readSeparator(text, " T") || !readNumber(text, 2, p.hour) || !readSeparator(text, ":") ||
        !readNumber(text, 2, p.minute))
      return false;
    if (!text.empty() && (!readSeparator(text, ":") || !readNumber(text, 2, p.second))) return false;
    if (!text.empty()) {
      if (!readSeparator(text, ".") || text.empty()) return false;
      // A fraction of a second of any length, to the millisecond.
      int ms = 0;
      for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        if (i < 3) ms = ms * 10 + (text[i] - '0');
      }
      for (std::size_t i = text.size(); i < 3; ++i) ms *= 10;
      p.millisecond = ms;
    }
  }
  const auto encoded = common::EncodeDateTime(p);
  if (!encoded) return false;
  value = *encoded;
  return true;
}

}  // namespace db
