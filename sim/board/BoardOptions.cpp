// SPDX-License-Identifier: MIT
#include "BoardOptions.h"

#include <sstream>

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
}  // namespace

const char* BoardOptionsHelp() {
    return "The board:\n"
           "  --firmware X.Y        firmware version the loader reports (default 1.2)\n"
           "  --blank               a blank board: identify reply FF FF 03 FF\n"
           "  --not-in-update-mode  the application answers, not the loader (no \"KV\")\n"
           "  --firmware-zero       the loader reports firmware 0.0\n"
           "  --silent              the board answers nothing at all\n"
           "  --no-reply            the loader echoes \"GI\" but never replies\n"
           "  --old-release X.Y     flash holds the demo release X.Y (default: erased)\n";
}

bool TakeBoardOption(const std::vector<std::string>& args, std::size_t& i, BoardOptions& options,
                     std::string& error) {
    const std::string& arg = args[i];
    const auto value = [&](std::string& out) {
        if (i + 1 >= args.size()) return false;
        out = args[++i];
        return true;
    };
    std::string text;
    std::uint8_t packed = 0;
    BoardSetup& board = options.board;
    if (arg == "--firmware") {
        if (!value(text) || !ParseVersion(text, packed)) error = "--firmware takes X.Y";
        else board.identifyReply = {'K', 'V', 0x01, packed};
    } else if (arg == "--blank") {
        board.identifyReply = {0xFF, 0xFF, 0x03, 0xFF};
    } else if (arg == "--not-in-update-mode") {
        board.identifyReply = {'A', 'P', 0x01, 0x16};
    } else if (arg == "--firmware-zero") {
        board.identifyReply = {'K', 'V', 0x01, 0x00};
    } else if (arg == "--silent") {
        board.silent = true;
    } else if (arg == "--no-reply") {
        board.identifyUnanswered = true;
    } else if (arg == "--old-release") {
        if (!value(text) || !ParseVersion(text, packed)) {
            error = "--old-release takes X.Y";
        } else {
            const auto old = image::DemoImage(packed);
            board.flash.assign(old.begin() + image::HeaderBytes, old.end());
        }
    } else if (arg == "--fault") {
        if (!value(text)) error = "--fault takes a fault, see --help";
        else error = options.faults.Add(text);
    } else {
        return false;
    }
    return true;
}

std::string ParseBoardOptions(const std::string& words, BoardOptions& options) {
    std::vector<std::string> args;
    std::istringstream in(words);
    for (std::string word; in >> word;) args.push_back(word);
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string error;
        if (!TakeBoardOption(args, i, options, error)) return "not an option of the board: '" + args[i] + "'";
        if (!error.empty()) return error;
    }
    return {};
}

}  // namespace sim
