#pragma once
// Atomic access to an int32 field of a mapped section that other processes
// change at the same time (counters, attach slots, reader counts).

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "common/ipc/ipcfunc.h"

namespace velk {

// The field at offset, which must lie inside the view and be 4-aligned (all
// such fields are, and views start on a page).
inline std::atomic_ref<std::int32_t> SharedInt(const ipc::TSharedMem& section, std::size_t offset) {
  return std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(section.View() + offset));
}

}  // namespace velk
