// Bytes from a peer, split at any point, must always become valid display text,
// and any typed text must convert without reading past it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "common/gbk.h"
#include "commtool/core/hexcode.h"
#include "commtool/core/terminal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  const std::size_t cut = size > 0 ? data[0] % (size + 1) : 0;
  tavrix::ReceivedTextDecoder decoder;
  const std::string first = decoder.Decode(bytes.first(cut));
  const std::string second = decoder.Decode(bytes.subspan(cut));
  if (!common::IsValidUtf8(first) || !common::IsValidUtf8(second)) __builtin_trap();

  std::vector<std::uint8_t> converted;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (tavrix::HexToBytes(text, converted) > static_cast<int>(size / 2)) __builtin_trap();
  tavrix::AppendCheckCode(converted, static_cast<int>(size % 5) - 1, static_cast<int>(cut));

  tavrix::TerminalModel model(tavrix::TerminalModel::kMainDisplayLimit, [] { return tavrix::LocalTime{}; });
  model.SetDisplayHex(false);
  model.ShowReceived(bytes);
  model.Modes().inputHex = (size & 1) != 0;
  model.PlanSend(common::DecodeUtf8OrGbk(text));
  return 0;
}
