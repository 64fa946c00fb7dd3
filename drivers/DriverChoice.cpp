// SPDX-License-Identifier: MIT
#include "DriverChoice.h"

#include "D2xxLibrary.h"
#include "LibFtdiDriver.h"

namespace boardlink {

std::unique_ptr<FtdiDriver> ChooseDriver() {
    auto vendor = std::make_unique<D2xxLibrary>();
    if (vendor->Loaded()) return vendor;
    return MakeLibFtdiDriver();
}

}  // namespace boardlink
