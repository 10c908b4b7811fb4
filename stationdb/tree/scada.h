#pragma once
// Station-side nodes of the configuration tree. The database gives them only
// their type, id and name: their LoadData leaves every own field at its default.
// SaveData still writes their complete blobs.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/message.h"
#include "stationdb/tree/setobj.h"

namespace stationdb {

inline constexpr std::string_view kScadaClassSection = "Strings_ScadaClass";

// Root of the station tree in mode 21: type and id 0x10100000, named by the
// language text Strings_ScadaClass/str0 ("厂站设置"), stored as GBK.
class CSystemMeaurePointGNode : public CSetObj {
 public:
  explicit CSystemMeaurePointGNode(CSetObj* parent, const common::LangLookup& lookup = common::BuiltInText);
};

class CStationGNode : public CSetObj {
 public:
  using CSetObj::CSetObj;

  std::uint32_t W1 = 0;
  std::uint32_t W2 = 0;
  std::uint32_t W3 = 1;
  std::uint32_t W4 = 1000000;
  std::uint32_t W5 = 0;

 private:
  // Written W1, W2, W3, W5, W4: 20 bytes.
  void saveOwnData(nodeblob::Writer& out) const override;
};

class CCommuGNode : public CSetObj {
 public:
  using CSetObj::CSetObj;
};

// One 28-byte entry of a channel node's list.
struct TChannelItem {
  std::uint32_t Word1 = 0;
  std::array<std::uint8_t, 16> Bytes{};
  std::uint32_t Word2 = 0;
  std::array<std::uint8_t, 3> Flags{};
  std::uint8_t Last = 0;

  bool operator==(const TChannelItem&) const = default;
};

class CChannelGNode : public CSetObj {
 public:
  using CSetObj::CSetObj;

  std::uint32_t Word1 = 0;
  std::string Text1;  // at most 255 bytes each
  std::string Text2;
  std::uint32_t Word2 = 0;
  std::uint8_t Flag = 0;
  std::string Text3;
  std::string Text4;
  std::uint32_t Word3 = 0;
  std::array<std::uint8_t, 11> Tail{};
  std::vector<TChannelItem> Items;

 private:
  // Word1, Text1, Text2, Word2, Flag, Text3, Text4, Word3, the u32 count of
  // Items, each entry (28 bytes), then the 11 tail bytes.
  void saveOwnData(nodeblob::Writer& out) const override;
};

class CMeterGNode : public CSetObj {
 public:
  using CSetObj::CSetObj;

  std::uint32_t Word1 = 0;
  std::uint32_t Word2 = 0;
  std::string Text;  // at most 255 bytes

 private:
  void saveOwnData(nodeblob::Writer& out) const override;
};

}  // namespace stationdb
