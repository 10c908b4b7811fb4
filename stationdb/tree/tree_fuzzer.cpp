// Feeds outside bytes to the node blob decoders. The first byte picks the
// node class and the record source mode; the rest is the blob. Whatever loads
// must save, and the saved blob must load back to the same fields.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "stationdb/records/records.h"
#include "stationdb/tree/factory.h"
#include "stationdb/tree/nodetypes.h"
#include "stationdb/tree/scada.h"
#include "stationdb/tree/security.h"

namespace {

using namespace stationdb;

void check(bool condition) {
  if (!condition) std::abort();
}

constexpr std::uint32_t kTypes[] = {kSecurityRootType12, kUserType12,      kUserGroupType12, kAuthorityType12,
                                    kStrategyType12,     kStationType21,   kChannelType21,   kMeterType21};
constexpr std::int32_t kModes[] = {kSourcePowerQuality, kSourceAutomation};

void checkSameFields(const CSetObj& a, const CSetObj& b) {
  if (const auto* u = dynamic_cast<const CUserNode*>(&a)) {
    const auto& v = dynamic_cast<const CUserNode&>(b);
    check(u->Remark == v.Remark && u->Password == v.Password && u->Disabled == v.Disabled && u->Extra == v.Extra &&
          u->Rules == v.Rules);
  } else if (const auto* g = dynamic_cast<const CUserGroupNode*>(&a)) {
    const auto& h = dynamic_cast<const CUserGroupNode&>(b);
    check(g->Remark == h.Remark && g->IDs == h.IDs);
  } else if (const auto* s = dynamic_cast<const CStrategyNode*>(&a)) {
    const auto& t = dynamic_cast<const CStrategyNode&>(b);
    check(s->Text1 == t.Text1 && s->Value == t.Value && s->Text2 == t.Text2);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint32_t type = kTypes[data[0] % std::size(kTypes)];
  const std::int32_t mode = kModes[(data[0] / std::size(kTypes)) % 2];
  const MemoryStream blob(std::vector<std::uint8_t>(data + 1, data + size));

  auto node = newNodeOfType(nullptr, "n", type, 1);
  const bool loaded = node->LoadData(&blob, mode);
  check(node->DataLoadFailed() == !loaded);

  if (const auto* user = dynamic_cast<const CUserNode*>(node.get())) {
    for (const auto& rule : user->Rules) IsLoginForbidden(*user, rule.StartTime);
  }
  if (!loaded) return 0;

  MemoryStream saved;
  const std::int32_t length = node->SaveData(&saved);
  check(length >= 0 && static_cast<std::size_t>(length) == saved.size());
  check(length == node->GetDataSize());
  auto back = newNodeOfType(nullptr, "n", type, 1);
  check(back->LoadData(&saved, kSourcePowerQuality));
  checkSameFields(*node, *back);
  return 0;
}
