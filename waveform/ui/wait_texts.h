#pragma once
// What the wait window says while a record is opened or exported. The texts
// are in the language section "Strings_Wait_Form".

#include <QString>

#include "common/job.h"

namespace wave {

QString WaitText(const common::JobProgress::Snapshot& progress);

}  // namespace wave
