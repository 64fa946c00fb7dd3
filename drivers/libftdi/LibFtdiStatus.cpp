// SPDX-License-Identifier: MIT
#include "LibFtdiStatus.h"

namespace boardlink {

/*
 * libftdi1 numbers its errors per function. The table holds what version 1.5
 * actually returns (src/ftdi.c of the 1.5 release), per call the back end
 * makes:
 *
 * call             result                                   D2XX status
 * New              NULL: no memory, or libusb_init failed   FT_DEVICE_NOT_FOUND
 * FindAll          -3 out of memory                         FT_INSUFFICIENT_RESOURCES
 *                  -5 device list, -6 device descriptor     FT_DEVICE_NOT_FOUND
 * OpenDev          -3 configuration refused (in use),
 *                  -4 libusb_open failed (permission),
 *                  -5 claim failed (busy, kernel driver),
 *                  -8 claim or configuration: permission    FT_DEVICE_NOT_OPENED
 *                  -6 reset, -7 baud rate, -9 device
 *                  descriptor, -10 configuration descriptor,
 *                  -12 get configuration                    FT_IO_ERROR
 * SetBaudRate      -1 invalid or unreachable baud rate      FT_INVALID_BAUD_RATE
 *                  -2 request failed                        FT_IO_ERROR
 *                  -3 device unavailable                    FT_INVALID_HANDLE
 * SetLatencyTimer  -1 out of range                          FT_INVALID_PARAMETER
 *                  -2 request failed                        FT_IO_ERROR
 *                  -3 device unavailable                    FT_INVALID_HANDLE
 * SetFlowControl, SetLineProperty, SetEventChar, SetErrorChar
 *                  -1 request failed                        FT_IO_ERROR
 *                  -2 device unavailable                    FT_INVALID_HANDLE
 * Flush            tcioflush: -1 TX, -2 RX request failed;
 *                  tciflush/tcoflush: -1 request failed     FT_IO_ERROR
 *                  tcioflush -3, tciflush/tcoflush -2:
 *                  device unavailable                       FT_INVALID_HANDLE
 * Write            -1 bulk transfer failed,
 *                  -666 device unavailable                  FT_IO_ERROR
 *
 * Flush's "device unavailable" is -3 for tcioflush and -2 for the others,
 * where -2 of tcioflush means its RX request failed; the back end only ever
 * calls tcioflush with an open device, so -2 is taken as a failed request.
 */
FT_STATUS MapLibFtdiResult(LibFtdiCall call, int result) {
    if (result >= 0) return FT_OK;
    switch (call) {
        case LibFtdiCall::New:
            return FT_DEVICE_NOT_FOUND;
        case LibFtdiCall::FindAll:
            return result == -3 ? FT_INSUFFICIENT_RESOURCES : FT_DEVICE_NOT_FOUND;
        case LibFtdiCall::OpenDev:
            if (result == -3 || result == -4 || result == -5 || result == -8)
                return FT_DEVICE_NOT_OPENED;
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
            return FT_IO_ERROR;
    }
    return FT_OTHER_ERROR;
}

}  // namespace boardlink
