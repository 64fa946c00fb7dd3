// SPDX-License-Identifier: MIT
#include "DriverChoice.h"

#include "D2xxLibrary.h"

namespace boardlink {

std::unique_ptr<FtdiDriver> ChooseDriver() { return std::make_unique<D2xxLibrary>(); }

}  // namespace boardlink
