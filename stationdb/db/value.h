#pragma once
// Values that travel between the program and a database: parameter values,
// output values and fields of a row set. A Value is Null or holds one of an
// integer, a boolean, a double, a date-time, a text or bytes.
//
// The conversions (asInt32, asText, ...) follow what a dataset field's AsXxx
// accessors do: Null converts to 0, false, an empty text or no bytes; a value
// that cannot be converted raises db::Error.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/datetime.h"

namespace db {

// Declared type of a parameter.
enum class DataType { Integer, BigInt, Boolean, Double, DateTime, Text, Binary };

// Direction of a parameter. A ReturnValue parameter, when there is one, comes first.
enum class Direction { Input, Output, InputOutput, ReturnValue };

std::string_view DataTypeName(DataType type);         // "Integer", "BigInt", ...
std::string_view DirectionName(Direction direction);  // "Input", "Output", "InputOutput", "ReturnValue"
// The inverse of DataTypeName / DirectionName (case-insensitive); false for an unknown name.
bool ParseDataType(std::string_view name, DataType& type);
bool ParseDirection(std::string_view name, Direction& direction);

using Bytes = std::vector<std::uint8_t>;

class Value {
 public:
  enum class Kind { Null, Integer, Boolean, Double, DateTime, Text, Binary };

  Value() = default;  // Null
  static Value null() { return Value(); }
  static Value integer(std::int64_t v) { return Value(Storage(std::in_place_index<1>, v)); }
  static Value boolean(bool v) { return Value(Storage(std::in_place_index<2>, v)); }
  static Value real(double v) { return Value(Storage(std::in_place_index<3>, v)); }
  static Value dateTime(common::TDateTime v) { return Value(Storage(std::in_place_index<4>, DateTimeBox{v})); }
  static Value text(std::string v) { return Value(Storage(std::in_place_index<5>, std::move(v))); }
  static Value bytes(Bytes v) { return Value(Storage(std::in_place_index<6>, std::move(v))); }

  Kind kind() const { return static_cast<Kind>(storage_.index()); }
  bool isNull() const { return kind() == Kind::Null; }

  std::int64_t asInt64() const;
  std::int32_t asInt32() const;  // raises when the value does not fit in 32 bits
  bool asBool() const;
  double asDouble() const;
  common::TDateTime asDateTime() const;  // texts as "yyyy-mm-dd hh:nn:ss[.zzz]" (or with "/" or "T")
  std::string asText() const;
  Bytes asBytes() const;  // texts give their bytes

  // A short description for messages and test output: Null, 12, 'abc', ...
  std::string describe() const;

  bool operator==(const Value&) const = default;

 private:
  struct DateTimeBox {
    common::TDateTime days = 0;
    bool operator==(const DateTimeBox&) const = default;
  };
  using Storage = std::variant<std::monostate, std::int64_t, bool, double, DateTimeBox, std::string, Bytes>;
  explicit Value(Storage storage) : storage_(std::move(storage)) {}

  Storage storage_;
};

// The text form of date-times that the SQLite stand-in stores: "yyyy-mm-dd hh:nn:ss.zzz".
std::string DateTimeToIsoText(common::TDateTime value);
// Parses "yyyy-mm-dd[ hh:nn[:ss[.fff]]]" ("/" may stand for "-", "T" for the blank); false when it is not one.
bool ParseIsoDateTime(std::string_view text, common::TDateTime& value);

}  // namespace db
