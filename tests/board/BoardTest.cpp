// SPDX-License-Identifier: MIT
// The board every body serves, tested once, on its own serial line: what the
// loader sends back for what the host sends, when each byte arrives at the
// host's end, and what ends up in its flash. The bodies add only their own
// interface to this.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "FaultPlan.h"
#include "LoaderBoard.h"
#include "SerialLine.h"

namespace {

using sim::Micros;
using Bytes = std::vector<std::uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Data() {
    Bytes data(2048);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i % 251);
    return data;
}
Bytes WriteFrame(std::uint16_t address) {
    return {'W', 'F', 0, static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
}
Bytes Flipped(Bytes bytes) {
    for (auto& b : bytes) b = static_cast<std::uint8_t>(~b);
    return bytes;
}
const Bytes Identify{'G', 'I'};
const Bytes Reply{'K', 'V', 0x01, 0x12};
const Bytes Ok{'O', 'K'};

// The flash the board starts with: byte i holds i % 256.
Bytes Content() {
    Bytes flash(sim::LoaderBoard::FlashBytes);
    for (std::size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<std::uint8_t>(i);
    return flash;
}

struct Write {
    Micros from;  // the host's UART starts sending it
    Bytes bytes;
};

struct LineCase {
    const char* name;
    std::vector<const char*> faults;
    sim::LineFormat host;
    std::vector<Write> writes;
    Bytes received;       // at the host's end, in order
    Micros lastArrives;   // the last of them, in full
    std::optional<std::uint16_t> programmed = {};  // the block that now holds Data()
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << c.name; }

class BoardOnItsLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(BoardOnItsLineTest, AnswersWhatTheHostSends) {
    const auto& c = GetParam();
    sim::ScriptedFaults faults;
    for (const char* fault : c.faults) ASSERT_EQ(faults.Add(fault), "");
    sim::BoardSetup setup;
    setup.flash = Content();
    sim::LoaderBoard board(setup, &faults);
    sim::SerialLine line(board, &faults, c.host);

    std::vector<sim::LineByte> received;
    for (auto write : c.writes) {
        line.HostWrites(write.bytes);
        Micros at = write.from;
        for (std::uint8_t b : write.bytes) {
            at += c.host.ByteTime();
            line.HostByteArrives(b, at, received);
        }
    }
    Bytes values;
    for (const auto& byte : received) values.push_back(byte.value);
    EXPECT_EQ(values, c.received);
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(received.back().arrives, c.lastArrives);
    EXPECT_TRUE(std::is_sorted(received.begin(), received.end(),
                               [](const auto& a, const auto& b) { return a.arrives < b.arrives; }))
        << "one byte at a time";

    const Bytes content = Content();
    const auto& flash = board.Flash();
    for (std::uint32_t block = 0; block < 0x10000; block += 0x400) {
        const auto at = flash.begin() + block * 2;
        const bool written = c.programmed == block;
        const Bytes expected = written ? Data() : Bytes(content.begin() + block * 2, content.begin() + block * 2 + 2048);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), at)) << "block " << block;
    }
}

constexpr sim::LineFormat Board{};
constexpr sim::LineFormat At115200{115200, 8, false, 2};
constexpr sim::LineFormat At128000{128000, 8, false, 2};  // 2.4 % off: still read right
constexpr sim::LineFormat SevenBits{125000, 7, false, 2};
constexpr sim::LineFormat TwoStopBits{125000, 8, false, 4};
constexpr Micros ms{1000};

INSTANTIATE_TEST_SUITE_P(
    Cases, BoardOnItsLineTest,
    ::testing::Values(
        // 80 µs a byte: each echo right behind its byte, the reply behind the echo.
        LineCase{"IdentifyIsEchoedAndAnswered", {}, Board, {{Micros{0}, Identify}}, Identify + Reply,
                 Micros{7 * 80}},
        LineCase{"WithinThreePercentIsReadRight", {}, At128000, {{Micros{0}, Identify}}, Identify + Reply,
                 Micros{78 + 6 * 80}},
        // Read wrongly both ways: no command, and the echo comes back wrong too.
        LineCase{"AnotherRateIsReadWrong", {}, At115200, {{Micros{0}, Identify}}, Flipped(Identify),
                 Micros{2 * 87 + 80}},
        LineCase{"AnotherFrameIsReadWrong", {}, SevenBits, {{Micros{0}, Identify}}, Flipped(Identify),
                 Micros{72 + 2 * 80}},
        LineCase{"TwoStopBitsAreAnotherFrame", {}, TwoStopBits, {{Micros{0}, Identify}}, Flipped(Identify),
                 Micros{2 * 88 + 80}},
        // The frame, then the data as a write of its own, back to back.
        LineCase{"AWriteProgramsItsBlockAndIsAcknowledged", {}, Board,
                 {{Micros{0}, WriteFrame(0x400)}, {Micros{5 * 80}, Data()}}, WriteFrame(0x400) + Data() + Ok,
                 Micros{(5 + 2048 + 3) * 80}, 0x400},
        // The frame's address is damaged on the way: the echo shows it, and
        // the block that the damaged address names is programmed instead.
        LineCase{"AMisaddressedWriteProgramsTheBlockItArrivesWith", {"misaddress@0x400=0x800"}, Board,
                 {{Micros{0}, WriteFrame(0x400)}, {Micros{5 * 80}, Data()}}, WriteFrame(0x800) + Data() + Ok,
                 Micros{(5 + 2048 + 3) * 80}, 0x800},
        LineCase{"AReadSendsWhatTheFlashHolds", {}, Board, {{Micros{0}, {'R', 'F', 0, 0x04, 0, 0, 1}}},
                 Bytes{'R', 'F', 0, 0x04, 0, 0, 1} + Bytes{0x00, 0x01, 0x02, 0x03}, Micros{(7 + 4 + 1) * 80}},
        LineCase{"ASlowReplyStartsLater", {"slow@GI=1"}, Board, {{Micros{0}, Identify}}, Identify + Reply,
                 Micros{2 * 80 + 1000 + 4 * 80}},
        // An unfinished frame is given up after 100 ms of silence.
        LineCase{"AFrameLeftIdleIsAbandoned", {}, Board, {{Micros{0}, {'W'}}, {200 * ms, Identify}},
                 Bytes{'W'} + Identify + Reply, 200 * ms + Micros{7 * 80}},
        LineCase{"AGoneBoardEchoesTheFrameAndNothingMore", {"gone@GI"}, Board,
                 {{Micros{0}, Identify}, {ms, Identify}}, Identify, Micros{3 * 80}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
