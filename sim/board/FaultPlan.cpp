// SPDX-License-Identifier: MIT
#include "FaultPlan.h"

#include <charconv>
#include <map>

namespace sim {

namespace {

bool ParseInt(const std::string& text, long& value) {
    if (text.empty()) return false;
    int base = 10;
    std::size_t skip = 0;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        skip = 2;
    }
    const char* first = text.data() + skip;
    const char* last = text.data() + text.size();
    auto [end, error] = std::from_chars(first, last, value, base);
    return error == std::errc() && end == last;
}

}  // namespace

const char* ScriptedFaults::Help() {
    return "  --fault KIND[@TARGET][#ATTEMPTS][=PARAM]   make the board misbehave (repeatable)\n"
           "      KIND: ack-wrong (=two bytes, default KO), ack-missing, echo-short (=bytes\n"
           "            echoed, default 1000), corrupt (=position, default 2047), status4,\n"
           "            driver-error, slow (=ms, default 300), gone, drop (frame ignored),\n"
           "            purge-fail (#N counts purges), misaddress (=flash address the\n"
           "            board receives instead: the write frame is damaged on the wire),\n"
           "            garble (the write frame reaches the board as no command at all)\n"
           "      TARGET: GI, WF, RF, or a flash address such as 0x400 (write and read);\n"
           "              any command when left out\n"
           "      ATTEMPTS: N, N-M or N- counting commands of one kind at one address\n"
           "              from 1; every attempt when left out\n";
}

std::string ScriptedFaults::Add(const std::string& text) {
    static const std::map<std::string, Kind> kinds = {
        {"ack-wrong", Kind::AckWrong},   {"ack-missing", Kind::AckMissing},
        {"echo-short", Kind::EchoShort}, {"corrupt", Kind::Corrupt},
        {"status4", Kind::Status4},      {"driver-error", Kind::DriverError},
        {"slow", Kind::Slow},            {"gone", Kind::Gone},
        {"purge-fail", Kind::PurgeFail}, {"drop", Kind::Drop},
        {"misaddress", Kind::Misaddress}, {"garble", Kind::Garble},
    };
    Rule rule{};
    std::string rest = text;
    if (auto eq = rest.find('='); eq != std::string::npos) {
        rule.param = rest.substr(eq + 1);
        rest.resize(eq);
    }
    std::string attempts;
    if (auto hash = rest.find('#'); hash != std::string::npos) {
        attempts = rest.substr(hash + 1);
        rest.resize(hash);
    }
    std::string target;
    if (auto at = rest.find('@'); at != std::string::npos) {
        target = rest.substr(at + 1);
        rest.resize(at);
    }
    auto kind = kinds.find(rest);
    if (kind == kinds.end()) return "unknown fault kind '" + rest + "'";
    rule.kind = kind->second;

    if (target == "GI") {
        rule.command = Command::Identify;
    } else if (target == "WF") {
        rule.command = Command::WriteBlock;
    } else if (target == "RF") {
        rule.command = Command::ReadBlock;
    } else if (!target.empty()) {
        long address = 0;
        if (!ParseInt(target, address) || address < 0 || address > 0xFFFF)
            return "bad fault target '" + target + "'";
        rule.address = static_cast<std::int32_t>(address);
    }
    if (!attempts.empty()) {
        const auto dash = attempts.find('-');
        long first = 0;
        long last = 0;
        if (!ParseInt(attempts.substr(0, dash), first) || first < 1)
            return "bad attempt range '" + attempts + "'";
        last = first;
        if (dash != std::string::npos) {
            const std::string tail = attempts.substr(dash + 1);
            if (tail.empty())
                last = 1 << 30;
            else if (!ParseInt(tail, last) || last < first)
                return "bad attempt range '" + attempts + "'";
        }
        rule.firstAttempt = static_cast<int>(first);
        rule.lastAttempt = static_cast<int>(last);
    }
    long number = 0;
    switch (rule.kind) {
        case Kind::AckWrong:
            if (rule.param.empty()) rule.param = "KO";
            if (rule.param.size() != 2) return "ack-wrong takes two characters";
            break;
        case Kind::Misaddress:
            if (!rule.address || !ParseInt(rule.param, number) || number < 0 || number > 0xFFFF)
                return "misaddress takes a flash address and =another one";
            break;
        case Kind::EchoShort:
        case Kind::Corrupt:
        case Kind::Slow:
            if (!rule.param.empty() && (!ParseInt(rule.param, number) || number < 0 ||
                                        (rule.kind == Kind::Corrupt && number > 2047)))
                return "bad number '" + rule.param + "'";
            break;
        default:
            break;
    }
    rules_.push_back(rule);
    return {};
}

CommandFaults ScriptedFaults::ForCommand(Command command, std::int32_t address, int attempt) {
    CommandFaults faults;
    for (const auto& rule : rules_) {
        if (rule.kind == Kind::PurgeFail || rule.kind == Kind::Misaddress ||
            rule.kind == Kind::Garble)
            continue;
        if (rule.command && *rule.command != command) continue;
        if (rule.address && (command == Command::Identify || *rule.address != address)) continue;
        if (attempt < rule.firstAttempt || attempt > rule.lastAttempt) continue;
        long number = 0;
        const bool hasNumber = ParseInt(rule.param, number);
        switch (rule.kind) {
            case Kind::AckWrong:
                faults.ackBytes = std::array<std::uint8_t, 2>{
                    static_cast<std::uint8_t>(rule.param[0]),
                    static_cast<std::uint8_t>(rule.param[1])};
                break;
            case Kind::AckMissing: faults.ackMissing = true; break;
            case Kind::EchoShort: faults.echoStopsAfter = hasNumber ? number : 1000; break;
            case Kind::Corrupt: faults.corruptAt = hasNumber ? number : 2047; break;
            case Kind::Status4: faults.lastReadStatus4 = true; break;
            case Kind::DriverError: faults.driverError = true; break;
            case Kind::Slow:
                faults.slowBy = std::chrono::milliseconds(hasNumber ? number : 300);
                break;
            case Kind::Gone: faults.goneAway = true; break;
            case Kind::Drop: faults.dropsFrame = true; break;
            case Kind::PurgeFail:
            case Kind::Misaddress:
            case Kind::Garble: break;
        }
    }
    return faults;
}

boardlink::FT_STATUS ScriptedFaults::ForPurge(int count) {
    for (const auto& rule : rules_)
        if (rule.kind == Kind::PurgeFail && count >= rule.firstAttempt && count <= rule.lastAttempt)
            return boardlink::FT_IO_ERROR;
    return boardlink::FT_OK;
}

void ScriptedFaults::DamageFrame(std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != 5 || bytes[0] != 'W' || bytes[1] != 'F') return;
    const std::int32_t address = bytes[2] * 65536 + bytes[3] * 256 + bytes[4];
    const int attempt = ++writeFrames_[address];
    for (const auto& rule : rules_) {
        if (rule.kind != Kind::Misaddress && rule.kind != Kind::Garble) continue;
        if (!rule.address || *rule.address != address) continue;
        if (attempt < rule.firstAttempt || attempt > rule.lastAttempt) continue;
        if (rule.kind == Kind::Garble) {
            bytes[1] = 'G';
            continue;
        }
        long other = 0;
        ParseInt(rule.param, other);
        bytes[3] = static_cast<std::uint8_t>(other >> 8);
        bytes[4] = static_cast<std::uint8_t>(other);
    }
}

}  // namespace sim
