// SPDX-License-Identifier: MIT
// The identify exchange: "GI", its echo, and the 4-byte reply.
#include "ZandorModule.h"

namespace boardlink {

void ZandorModule::QueryLoader() {
    TxBuffer[0] = 'G';
    TxBuffer[1] = 'I';
    SendCommand(2);
    if (LinkStatus != 0) return;

    // The loader's hardware is fixed; it is known once the loader echoes.
    LoaderInfo.HardwareMajor = 2;
    LoaderInfo.HardwareMinor = 3;

    ReceiveReply(4);
    if (LinkStatus != 0) return;

    LoaderInfo.BlankDeviceFlag = 0;
    const std::uint8_t mode = RxBuffer[2];
    const std::uint8_t version = RxBuffer[3];
    // A blank board answers mode 3, version 255, with or without its signature.
    if (mode == 3 && version == 255) LoaderInfo.BlankDeviceFlag = -1;
    if (RxBuffer[0] == 'K' && RxBuffer[1] == 'V') {
        LoaderInfo.FirmwareMajor = version / 16;
        LoaderInfo.FirmwareMinor = version % 16;
    }
}

}  // namespace boardlink
