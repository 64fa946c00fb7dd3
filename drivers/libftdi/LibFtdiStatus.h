// SPDX-License-Identifier: MIT
#pragma once

#include "FtdiTypes.h"

namespace boardlink {

// The libftdi1 calls whose negative results the back end passes on.
enum class LibFtdiCall {
    New, FindAll, OpenDev, SetBaudRate, SetFlowControl, SetLatencyTimer, SetLineProperty,
    SetEventChar, SetErrorChar, Flush, Write
};

// The D2XX status for a libftdi1 result of `call`; FT_OK for results >= 0.
FT_STATUS MapLibFtdiResult(LibFtdiCall call, int result);

}  // namespace boardlink
