// SPDX-License-Identifier: MIT
// Ft232rGadget: the simulated board behind an FT232R that a Linux machine's
// own USB stack sees as a USB device: a gadget of the kernel's gadget
// framework with one FunctionFS function, plugged into a USB device
// controller (dummy_hcd's in the tests). Runs as root until SIGTERM, SIGINT
// or SIGHUP, then writes the board's flash and the chip's counters where
// asked, and unplugs. SIGUSR1 writes them at once and goes on.
#include <sched.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "BoardOptions.h"
#include "Ft232rChip.h"
#include "Ft232rFunction.h"
#include "StallFreeClock.h"
#include "UsbGadget.h"

namespace {

constexpr const char* Usage =
    "Usage: Ft232rGadget [OPTIONS]\n"
    "Plugs an FT232R with the simulated board behind it into a USB device\n"
    "controller of this machine (root, configfs, FunctionFS).\n"
    "  --product TEXT    USB product string (default \"Ambercord Serial Link\")\n"
    "  --board OPTIONS   the board's options, as UpdaterSim takes them, in one\n"
    "                    argument\n"
    "  --udc NAME        the device controller (default: the first in /sys/class/udc)\n"
    "  --flash-out FILE  receives the board's flash when the program ends\n"
    "  --report FILE     receives the chip's counters when the program ends, and\n"
    "                    whenever it gets SIGUSR1\n";

// The longest step the chip's clock takes at once: a few of the gadget's
// 1 ms looks, as late as an emulated machine's scheduling makes them.
constexpr functionfs::Micros LongestStep{4000};

struct Options {
    functionfs::DeviceIdentity identity;
    std::string board, udc, flashOut, report;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc) return false;
        const std::string value = argv[++i];
        if (arg == "--product")
            options.identity.productName = value;
        else if (arg == "--board")
            options.board = value;
        else if (arg == "--udc")
            options.udc = value;
        else if (arg == "--flash-out")
            options.flashOut = value;
        else if (arg == "--report")
            options.report = value;
        else
            return false;
    }
    return true;
}

// Writes a file whole under its name, so a reader never sees half of it.
void WriteWhole(const std::string& path, const std::string& bytes) {
    if (path.empty()) return;
    {
        std::ofstream out(path + ".new", std::ios::binary | std::ios::trunc);
        out << bytes;
    }
    std::rename((path + ".new").c_str(), path.c_str());
}

void WriteResults(const Options& options, const usbmodel::Ft232rChip& chip,
                  const functionfs::Ft232rFunction& function,
                  const functionfs::StallFreeClock& clock) {
    WriteWhole(options.flashOut, std::string(chip.Flash().begin(), chip.Flash().end()));
    const auto& c = chip.Statistics();
    const auto& f = function.Statistics();
    std::ostringstream out;
    out << "host_to_board " << c.hostToBoard << "\nboard_to_host " << c.boardToHost
        << "\nreceive_overflows " << c.receiveOverflows << "\nin_packets " << f.inPackets
        << "\nin_packets_taken_back " << f.inPacketsTakenBack << "\nfailed_transfers "
        << f.failedTransfers << "\nlast_error " << f.lastError << "\nout_packets " << f.outPackets
        << "\nvendor_requests " << f.vendorRequests << "\nstalled_requests " << f.stalledRequests
        << "\nbaud_rate " << c.baudRate << "\nlatency_ms " << c.latencyMs << "\nenables "
        << f.enables << "\nunbound " << f.unbound << "\nclock_skipped_us "
        << clock.Skipped().count() << "\nclock_stalls " << clock.Stalls() << "\nlongest_stall_us "
        << clock.LongestGap().count() << "\n";
    WriteWhole(options.report, out.str());
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::cerr << Usage;
        return 2;
    }
    sim::BoardOptions board;
    if (auto error = sim::ParseBoardOptions(options.board, board); !error.empty()) {
        std::cerr << "Ft232rGadget: " << error << "\n";
        return 2;
    }
    // The chip is hardware: nothing in the machine may keep it waiting.
    const sched_param priority{50};
    if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0 ||
        mlockall(MCL_CURRENT | MCL_FUTURE) != 0)
        std::perror("Ft232rGadget: real-time scheduling");

    sigset_t stops;
    sigemptyset(&stops);
    for (int s : {SIGTERM, SIGINT, SIGHUP, SIGUSR1}) sigaddset(&stops, s);
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    const int signals = signalfd(-1, &stops, SFD_CLOEXEC);

    usbmodel::Ft232rChip chip(board.board, std::make_shared<sim::ScriptedFaults>(board.faults));
    functionfs::StallFreeClock clock(LongestStep);
    const std::string name = "ft232r" + std::to_string(getpid());
    functionfs::UsbGadget gadget(name);
    functionfs::Ft232rFunction function(chip, clock);
    std::string error = gadget.Create(options.identity, "/run/" + name);
    if (error.empty()) error = function.Open("/run/" + name, options.identity.productName);
    if (error.empty()) error = gadget.Bind(options.udc);
    if (error.empty()) {
        std::cout << "Ft232rGadget: plugged in as \"" << options.identity.productName << "\""
                  << std::endl;
        while (function.Serve(signals, error) == SIGUSR1)
            WriteResults(options, chip, function, clock);
    }
    function.Close();  // closing FunctionFS unplugs the gadget
    gadget.Remove();
    WriteResults(options, chip, function, clock);
    if (!error.empty()) {
        std::cerr << "Ft232rGadget: " << error << "\n";
        return 1;
    }
    return 0;
}
