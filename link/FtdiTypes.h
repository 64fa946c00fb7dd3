// SPDX-License-Identifier: MIT
// The driver library's published types and status values, at their published widths.
#pragma once

#include <cstdint>

namespace boardlink {

using FT_STATUS = std::uint32_t;
using FT_HANDLE = void*;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using USHORT = std::uint16_t;
using UCHAR = std::uint8_t;

// Status values of the D2XX interface. The link passes any of them through
// to LinkStatus unchanged, except for reads (see ZandorModule).
enum FtStatus : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_INVALID_BAUD_RATE = 7,
    FT_DEVICE_NOT_OPENED_FOR_ERASE = 8,
    FT_DEVICE_NOT_OPENED_FOR_WRITE = 9,
    FT_FAILED_TO_WRITE_DEVICE = 10,
    FT_EEPROM_READ_FAILED = 11,
    FT_EEPROM_WRITE_FAILED = 12,
    FT_EEPROM_ERASE_FAILED = 13,
    FT_EEPROM_NOT_PRESENT = 14,
    FT_EEPROM_NOT_PROGRAMMED = 15,
    FT_INVALID_ARGS = 16,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
    FT_DEVICE_LIST_NOT_READY = 19,
};

// FT_OpenEx flag: the first argument is a NUL-terminated USB product description.
inline constexpr DWORD FT_OPEN_BY_DESCRIPTION = 2;
// FT_Purge mask bits.
inline constexpr ULONG FT_PURGE_RX = 1;
inline constexpr ULONG FT_PURGE_TX = 2;
// FT_SetFlowControl mode.
inline constexpr USHORT FT_FLOW_NONE = 0;

// The link's own failure code: nothing arrived within the read time-out, a
// read failed in the driver, a read-back differed, or a wrong acknowledgement.
inline constexpr std::int32_t LinkFailure = 8;

}  // namespace boardlink
