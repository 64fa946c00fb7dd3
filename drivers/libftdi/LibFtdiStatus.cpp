// SPDX-License-Identifier: MIT
#include "LibFtdiStatus.h"

namespace boardlink {

/*
 * libftdi1 1.5 numbers its errors per function. The table:
 *
 * call             result                              D2XX status
 * New              NULL context (passed as -1)         FT_DEVICE_NOT_FOUND
 * FindAll          -3 out of memory                    FT_INSUFFICIENT_RESOURCES
 *                  other (libusb list failed)          FT_DEVICE_NOT_FOUND
 * OpenDev          -4 libusb_open failed (permission)  FT_DEVICE_NOT_OPENED
 *                  -5 claim failed (busy, driver)      FT_DEVICE_NOT_OPENED
 *                  -11 invalid context                 FT_INVALID_HANDLE
 *                  other (configuration, reset)        FT_IO_ERROR
 * SetBaudRate      -1 invalid baud rate                FT_INVALID_BAUD_RATE
 *                  -3 device unavailable               FT_INVALID_HANDLE
 *                  other                               FT_IO_ERROR
 * SetLatencyTimer  -1 out of range                     FT_INVALID_PARAMETER
 *                  -3 device unavailable               FT_INVALID_HANDLE
 *                  other                               FT_IO_ERROR
 * SetFlowControl, SetLineProperty, SetEventChar, SetErrorChar
 *                  -2 device unavailable               FT_INVALID_HANDLE
 *                  other                               FT_IO_ERROR
 * Flush            -3 device unavailable               FT_INVALID_HANDLE
 *                  other                               FT_IO_ERROR
 * Write, Read      -666 device unavailable, any other  FT_IO_ERROR
 */
FT_STATUS MapLibFtdiResult(LibFtdiCall call, int result) {
    if (result >= 0) return FT_OK;
    switch (call) {
        case LibFtdiCall::New:
            return FT_DEVICE_NOT_FOUND;
        case LibFtdiCall::FindAll:
            return result == -3 ? FT_INSUFFICIENT_RESOURCES : FT_DEVICE_NOT_FOUND;
        case LibFtdiCall::OpenDev:
            if (result == -4 || result == -5) return FT_DEVICE_NOT_OPENED;
            if (result == -11) return FT_INVALID_HANDLE;
            return FT_IO_ERROR;
        case LibFtdiCall::SetBaudRate:
            if (result == -1) return FT_INVALID_BAUD_RATE;
            return result == -3 ? FT_INVALID_HANDLE : FT_IO_ERROR;
        case LibFtdiCall::SetLatencyTimer:
            if (result == -1) return FT_INVALID_PARAMETER;
            return result == -3 ? FT_INVALID_HANDLE : FT_IO_ERROR;
        case LibFtdiCall::SetFlowControl:
        case LibFtdiCall::SetLineProperty:
        case LibFtdiCall::SetEventChar:
        case LibFtdiCall::SetErrorChar:
            return result == -2 ? FT_INVALID_HANDLE : FT_IO_ERROR;
        case LibFtdiCall::Flush:
            return result == -3 ? FT_INVALID_HANDLE : FT_IO_ERROR;
        case LibFtdiCall::Write:
        case LibFtdiCall::Read:
            return FT_IO_ERROR;
    }
    return FT_OTHER_ERROR;
}

}  // namespace boardlink
