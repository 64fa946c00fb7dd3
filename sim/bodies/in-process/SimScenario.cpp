// SPDX-License-Identifier: MIT
#include "SimScenario.h"

namespace sim {

namespace {
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
               "\n") +
           BoardOptionsHelp() +
           "The interface:\n"
           "  --no-interface        no FTDI interface is attached\n"
           "  --second-description  the interface is known only as \"FT232R USB UART\"\n"
           "  --config-fails CALL   that configuration call fails, e.g. FT_SetBaudRate\n"
           "  --queued N            N bytes are waiting in the interface when it opens\n"
           "  --pieces N            reads deliver at most N bytes each\n" +
           ScriptedFaults::Help() +
           "Running:\n"
           "  --fast                no real-time pacing (default: the wire rate, 125000 baud)\n"
           "  --scripted            press Find Device, Flash Device and Ok! by itself and\n"
           "                        print every step; exit status 0 after \"Flash Complete!\"\n"
           "  --help                this text\n";
}

std::string ParseSimArguments(const std::vector<std::string>& args, SimScenario& scenario) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (TakeBoardOption(args, i, scenario, error)) {
            if (!error.empty()) return error;
            continue;
        }
        const std::string& arg = args[i];
        const auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string text;
        long number = 0;
        if (arg == "--help" || arg == "-h") {
            scenario.help = true;
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
