#pragma once
// The texts of init_mlog_calls's result codes and of the operator client's
// exit codes, from the language engine (UTF-8).

#include <cstdint>
#include <string>

#include "common/lang/engine.h"

namespace velk {

std::string InitErrorText(const lang::MultiLangEngine& engine, std::int32_t code);
std::string ClientExitText(const lang::MultiLangEngine& engine, std::int32_t exitCode);

}  // namespace velk
