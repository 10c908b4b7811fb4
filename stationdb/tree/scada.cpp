#include "stationdb/tree/scada.h"

#include "common/gbk.h"
#include "stationdb/tree/nodeblob.h"
#include "stationdb/tree/nodetypes.h"

namespace stationdb {

CSystemMeaurePointGNode::CSystemMeaurePointGNode(CSetObj* parent, const common::LangLookup& lookup)
    : CSetObj(parent, common::Utf8ToGbk(lookup(kScadaClassSection, "str0", "厂站设置")), kSystemMeasurePointType21,
              kSystemMeasurePointType21) {}

void CStationGNode::saveOwnData(nodeblob::Writer& out) const {
  for (const std::uint32_t word : {W1, W2, W3, W5, W4}) out.writeU32(word);
}

void CChannelGNode::saveOwnData(nodeblob::Writer& out) const {
  out.writeU32(Word1);
  out.writeString(Text1);
  out.writeString(Text2);
  out.writeU32(Word2);
  out.writeU8(Flag);
  out.writeString(Text3);
  out.writeString(Text4);
  out.writeU32(Word3);
  out.writeCount(Items.size());
  for (const auto& item : Items) {
    out.writeU32(item.Word1);
    out.writeBytes(item.Bytes);
    out.writeU32(item.Word2);
    out.writeBytes(item.Flags);
    out.writeU8(item.Last);
  }
  out.writeBytes(Tail);
}

void CMeterGNode::saveOwnData(nodeblob::Writer& out) const {
  out.writeU32(Word1);
  out.writeU32(Word2);
  out.writeString(Text);
}

}  // namespace stationdb
