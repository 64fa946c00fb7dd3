// SPDX-License-Identifier: MIT
// FTD2XX.DLL made of the simulated board: the twelve D2XX functions over the
// simulated interface and the board's loader, so the production Updater.exe
// runs against it with nothing changed. The board is chosen, at the first
// FT_OpenEx, by environment variables (the Windows program has no command
// line):
//   UPDATER_SIM            the options UpdaterSim takes (--firmware 1.3,
//                          --fault ack-wrong@0x800, --no-interface, --fast, ...)
//   UPDATER_SIM_FLASH_OUT  file that receives the board's flash at FT_Close
// Without --fast the board runs in real time at the wire rate.
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "SimDriver.h"
#include "SimScenario.h"

using boardlink::FT_DEVICE_NOT_FOUND;
using boardlink::FT_HANDLE;
using boardlink::FT_STATUS;

namespace {

std::string Environment(const char* name) {
    char value[4096];
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

// The board behind the DLL, made at the first open and kept for the process.
struct SimBoard {
    SimBoard() {
        std::vector<std::string> args;
        std::istringstream words(Environment("UPDATER_SIM"));
        for (std::string word; words >> word;) args.push_back(word);
        error = sim::ParseSimArguments(args, scenario);
        flashOut = Environment("UPDATER_SIM_FLASH_OUT");
        if (scenario.realTime)
            clock = std::make_unique<sim::RealTimeClock>();
        else
            clock = std::make_unique<sim::VirtualClock>();
        sim::FaultPlan* faults = scenario.faults.Empty() ? nullptr : &scenario.faults;
        board = std::make_unique<sim::LoaderBoard>(scenario.board, faults);
        scenario.link.recordCalls = false;
        driver = std::make_unique<sim::SimDriver>(*clock, *board, scenario.link, faults);
    }
    void SaveFlash() const {
        if (flashOut.empty()) return;
        std::ofstream out(flashOut, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(board->Flash().data()),
                  static_cast<std::streamsize>(board->Flash().size()));
    }

    sim::SimScenario scenario;
    std::string error;  // options that did not parse: no interface
    std::string flashOut;
    std::unique_ptr<sim::Clock> clock;
    std::unique_ptr<sim::LoaderBoard> board;
    std::unique_ptr<sim::SimDriver> driver;
};

std::mutex boardMutex;
std::unique_ptr<SimBoard> theBoard;

SimBoard& Board() {
    std::lock_guard lock(boardMutex);
    if (!theBoard) theBoard = std::make_unique<SimBoard>();
    return *theBoard;
}

}  // namespace

extern "C" {

FT_STATUS WINAPI FT_OpenEx(PVOID arg, DWORD flags, FT_HANDLE* handle) {
    SimBoard& b = Board();
    if (!b.error.empty()) return FT_DEVICE_NOT_FOUND;
    return b.driver->OpenEx(static_cast<const char*>(arg), flags, handle);
}
FT_STATUS WINAPI FT_SetBaudRate(FT_HANDLE h, ULONG baud) { return Board().driver->SetBaudRate(h, baud); }
FT_STATUS WINAPI FT_SetFlowControl(FT_HANDLE h, USHORT mode, UCHAR xon, UCHAR xoff) {
    return Board().driver->SetFlowControl(h, mode, xon, xoff);
}
FT_STATUS WINAPI FT_SetLatencyTimer(FT_HANDLE h, UCHAR ms) { return Board().driver->SetLatencyTimer(h, ms); }
FT_STATUS WINAPI FT_SetUSBParameters(FT_HANDLE h, ULONG in, ULONG out) {
    return Board().driver->SetUSBParameters(h, in, out);
}
FT_STATUS WINAPI FT_SetDataCharacteristics(FT_HANDLE h, UCHAR word, UCHAR stop, UCHAR parity) {
    return Board().driver->SetDataCharacteristics(h, word, stop, parity);
}
FT_STATUS WINAPI FT_SetChars(FT_HANDLE h, UCHAR ev, UCHAR evOn, UCHAR err, UCHAR errOn) {
    return Board().driver->SetChars(h, ev, evOn, err, errOn);
}
FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE h, ULONG readMs, ULONG writeMs) {
    return Board().driver->SetTimeouts(h, readMs, writeMs);
}
FT_STATUS WINAPI FT_Purge(FT_HANDLE h, ULONG mask) { return Board().driver->Purge(h, mask); }
FT_STATUS WINAPI FT_Write(FT_HANDLE h, LPVOID buffer, DWORD count, LPDWORD written) {
    return Board().driver->Write(h, buffer, count, reinterpret_cast<boardlink::DWORD*>(written));
}
FT_STATUS WINAPI FT_Read(FT_HANDLE h, LPVOID buffer, DWORD count, LPDWORD delivered) {
    return Board().driver->Read(h, buffer, count, reinterpret_cast<boardlink::DWORD*>(delivered));
}
FT_STATUS WINAPI FT_Close(FT_HANDLE h) {
    SimBoard& b = Board();
    const FT_STATUS status = b.driver->Close(h);
    b.SaveFlash();
    return status;
}

// Not part of D2XX: the board's flash, for the tests. The byte count copied.
DWORD WINAPI UpdaterSimFlash(unsigned char* out, DWORD size) {
    const auto& flash = Board().board->Flash();
    const DWORD n = size < flash.size() ? size : static_cast<DWORD>(flash.size());
    std::copy_n(flash.begin(), n, out);
    return n;
}

}  // extern "C"
