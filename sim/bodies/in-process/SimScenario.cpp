// SPDX-License-Identifier: MIT
#include "SimScenario.h"

#include "DemoRelease.h"
#include "ImageFormat.h"

namespace sim {

namespace {
// "1.2" -> 0x12; both numbers 0..15.
bool ParseVersion(const std::string& text, std::uint8_t& packed) {
    const auto dot = text.find('.');
    if (dot == std::string::npos) return false;
    try {
        std::size_t used = 0;
        const int major = std::stoi(text.substr(0, dot), &used);
        if (used != dot) return false;
        const std::string minorText = text.substr(dot + 1);
        const int minor = std::stoi(minorText, &used);
        if (used != minorText.size() || major < 0 || major > 15 || minor < 0 || minor > 15)
            return false;
        packed = static_cast<std::uint8_t>(major * 16 + minor);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool ParseCount(const std::string& text, long low, long high, long& value) {
    try {
        std::size_t used = 0;
        value = std::stol(text, &used, 0);
        return used == text.size() && value >= low && value <= high;
    } catch (const std::exception&) {
        return false;
    }
}
}  // namespace

std::string SimUsage() {
    return std::string(
               "Usage: UpdaterSim [OPTIONS]\n"
               "Runs Updater against a simulated board instead of real hardware.\n"
               "\n"
               "The board:\n"
               "  --firmware X.Y        firmware version the loader reports (default 1.2)\n"
               "  --blank               a blank board: identify reply FF FF 03 FF\n"
               "  --not-in-update-mode  the application answers, not the loader (no \"KV\")\n"
               "  --firmware-zero       the loader reports firmware 0.0\n"
               "  --silent              the board answers nothing at all\n"
               "  --no-reply            the loader echoes \"GI\" but never replies\n"
               "  --old-release X.Y     flash holds the demo release X.Y (default: erased)\n"
               "The interface:\n"
               "  --no-interface        no FTDI interface is attached\n"
               "  --second-description  the interface is known only as \"FT232R USB UART\"\n"
               "  --config-fails CALL   that configuration call fails, e.g. FT_SetBaudRate\n"
               "  --queued N            N bytes are waiting in the interface when it opens\n"
               "  --pieces N            reads deliver at most N bytes each\n") +
           ScriptedFaults::Help() +
           "Running:\n"
           "  --fast                no real-time pacing (default: the wire rate, 125000 baud)\n"
           "  --scripted            press Find Device, Flash Device and Ok! by itself and\n"
           "                        print every step; exit status 0 after \"Flash Complete!\"\n"
           "  --help                this text\n";
}

std::string ParseSimArguments(const std::vector<std::string>& args, SimScenario& scenario) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string text;
        long number = 0;
        std::uint8_t packed = 0;
        if (arg == "--help" || arg == "-h") {
            scenario.help = true;
        } else if (arg == "--firmware") {
            if (!value(text) || !ParseVersion(text, packed)) return "--firmware takes X.Y";
            scenario.board.identifyReply = {'K', 'V', 0x01, packed};
        } else if (arg == "--blank") {
            scenario.board.identifyReply = {0xFF, 0xFF, 0x03, 0xFF};
        } else if (arg == "--not-in-update-mode") {
            scenario.board.identifyReply = {'A', 'P', 0x01, 0x16};
        } else if (arg == "--firmware-zero") {
            scenario.board.identifyReply = {'K', 'V', 0x01, 0x00};
        } else if (arg == "--silent") {
            scenario.board.silent = true;
        } else if (arg == "--no-reply") {
            scenario.board.identifyUnanswered = true;
        } else if (arg == "--old-release") {
            if (!value(text) || !ParseVersion(text, packed)) return "--old-release takes X.Y";
            const auto old = image::DemoImage(packed);
            scenario.board.flash.assign(old.begin() + image::HeaderBytes, old.end());
        } else if (arg == "--no-interface") {
            scenario.link.descriptions.clear();
        } else if (arg == "--second-description") {
            scenario.link.descriptions = {"FT232R USB UART"};
        } else if (arg == "--config-fails") {
            if (!value(text) || text.rfind("FT_Set", 0) != 0)
                return "--config-fails takes a configuration call, e.g. FT_SetBaudRate";
            scenario.link.failingStep = text;
        } else if (arg == "--queued") {
            if (!value(text) || !ParseCount(text, 0, 4096, number)) return "--queued takes 0..4096";
            scenario.link.queuedAtOpen.assign(static_cast<std::size_t>(number), 0x55);
        } else if (arg == "--pieces") {
            if (!value(text) || !ParseCount(text, 1, 4096, number)) return "--pieces takes 1..4096";
            scenario.link.readPieces = {static_cast<std::size_t>(number)};
        } else if (arg == "--fault") {
            if (!value(text)) return "--fault takes a fault, see --help";
            if (auto error = scenario.faults.Add(text); !error.empty()) return error;
        } else if (arg == "--fast") {
            scenario.realTime = false;
        } else if (arg == "--scripted") {
            scenario.scripted = true;
        } else {
            return "unknown option '" + arg + "'";
        }
    }
    return {};
}

}  // namespace sim
