// The dialog exports of a build without Qt: every one refuses.

#include "clientif/dialogs/dialogs.h"

namespace velk::dialogs {

std::int32_t CheckUserPassword(ClientLibrary&, std::uintptr_t, char*, std::int32_t*) { return 0; }
std::int32_t CheckUserPassword2(ClientLibrary&, std::uintptr_t, char*, std::int32_t*, const char*) { return 0; }
std::int32_t ChooseParaTree(ClientLibrary&, PointChoice, std::uintptr_t, std::int32_t*, std::int32_t*, std::int32_t*,
                            std::int32_t*, std::int32_t*) {
  return 0;
}
std::int32_t ChooseCtrl(ClientLibrary&, std::uintptr_t, std::int32_t*, std::int32_t*) { return 0; }
std::int32_t ChooseNodeStatusTree(ClientLibrary&, std::uintptr_t, std::int32_t*, std::int32_t*, std::int32_t*) {
  return 0;
}

}  // namespace velk::dialogs
