#pragma once
// The five dialogs behind the dialog exports. Each answers 0 at once while
// the library is detached (without touching Qt); otherwise it makes sure a
// QApplication exists, shows its form modally and writes the choice back.
// No Qt type appears here: the exports and tests call these directly.

#include <cstdint>

namespace velk {
class ClientLibrary;
}

namespace velk::dialogs {

// Which point kinds a point choice offers: ChooseParaTreeDlg all three,
// ChooseMeasParaTreeDlg calculated and analog, ChooseStatusParaTreeDlg status.
enum class PointChoice { All, Measured, Status };

std::int32_t CheckUserPassword(ClientLibrary& library, std::uintptr_t parent, char* name, std::int32_t* rights);
std::int32_t CheckUserPassword2(ClientLibrary& library, std::uintptr_t parent, char* name, std::int32_t* rights,
                                const char* caption);
std::int32_t ChooseParaTree(ClientLibrary& library, PointChoice choice, std::uintptr_t parent, std::int32_t* stationId,
                            std::int32_t* channelId, std::int32_t* meterId, std::int32_t* pointId, std::int32_t* kind);
std::int32_t ChooseCtrl(ClientLibrary& library, std::uintptr_t parent, std::int32_t* stationId,
                        std::int32_t* controlId);
std::int32_t ChooseNodeStatusTree(ClientLibrary& library, std::uintptr_t parent, std::int32_t* nodeId,
                                  std::int32_t* selector, std::int32_t* third);

}  // namespace velk::dialogs
