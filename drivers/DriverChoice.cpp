// SPDX-License-Identifier: MIT
#include "DriverChoice.h"

#include <vector>

#include "BackEndChain.h"
#include "D2xxLibrary.h"
#include "LibFtdiDriver.h"

namespace boardlink {

#ifdef _WIN32
// FTDI's driver brings FTD2XX.DLL; absent, every open says "not found".
std::unique_ptr<FtdiDriver> ChooseDriver() { return std::make_unique<D2xxLibrary>(); }
#else
std::unique_ptr<FtdiDriver> ChooseDriver() {
    std::vector<std::unique_ptr<FtdiDriver>> backEnds;
    auto vendor = std::make_unique<D2xxLibrary>();
    if (vendor->Loaded()) backEnds.push_back(std::move(vendor));
    // Also behind FTDI's library: it cannot open a board whose interface the
    // kernel's ftdi_sio still holds, libftdi1 can.
    backEnds.push_back(MakeLibFtdiDriver());
    return std::make_unique<BackEndChain>(std::move(backEnds));
}
#endif

}  // namespace boardlink
