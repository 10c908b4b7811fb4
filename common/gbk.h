#pragma once
// Code page 936 (GBK) at the boundaries where files and peers use it.

#include <string>
#include <string_view>

namespace common {

// Invalid or incomplete sequences become U+FFFD; never throws.
std::string GbkToUtf8(std::string_view gbk);
// Characters that GBK cannot hold become "?"; never throws.
std::string Utf8ToGbk(std::string_view utf8);

bool IsValidUtf8(std::string_view text);

// For texts of unknown origin (fields of record files): valid UTF-8 is kept,
// anything else is taken as GBK.
std::string DecodeUtf8OrGbk(std::string_view text);

}  // namespace common
