#pragma once
// Writes under a file-size limit (ulimit -f). Left to the system's default, a write past
// the limit kills the process; the programs instead see the write fail (EFBIG) and take
// the path of any other failed write. A write that reaches the limit is first cut short
// and fails only on the next call, which Qt's file classes report as a success, so every
// writer goes through FileReplace.h, which checks that each byte reached the file.
#include <QtGlobal>

namespace platform {

// Program start-up: a write past the file-size limit fails instead of ending the process.
void SurviveFileSizeLimit();

// Whether a file of `size` bytes may be written under the process's file-size limit.
bool FitsFileSizeLimit(qint64 size);

} // namespace platform
