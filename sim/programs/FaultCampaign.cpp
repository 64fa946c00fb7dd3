// SPDX-License-Identifier: MIT
#include "FaultCampaign.h"

#include <algorithm>
#include <array>
#include <sstream>

#include "DemoRelease.h"
#include "ImageFormat.h"
#include "LoaderBoard.h"
#include "Program.h"
#include "RecordingWindow.h"
#include "SimDriver.h"

namespace sim {

namespace {

constexpr const char* MainWrite = "Device write error! Data is corrupted!  Re-try update!";
constexpr const char* MainVerify = "Device verify error!  Data is corrupted!  Re-try update!";
constexpr const char* PageWrite =
    "Step 3 - Device write error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!";
constexpr const char* PageVerify =
    "Device verify error!  Data is corrupted!  ** DO NOT POWER OFF BOARD!! **  Re-try update!";

// Passes every call on and notes, from what crossed the driver, the block
// frames the program sent and whether each write frame came back as it was
// sent: its five bytes echoed whole and unchanged by reads that succeeded,
// before anything else was sent or purged. Only that echo tells the program
// what the board received; the campaign judges the program by it, never by
// the program's own record of it.
class FrameRecorder final : public boardlink::FtdiDriver {
public:
    explicit FrameRecorder(boardlink::FtdiDriver& inner) : inner_(inner) {}
    struct Frame {
        bool write;
        std::int32_t address;
        bool echoedAsSent = false;  // write frames: their echo arrived whole and unchanged
    };
    std::vector<Frame> frames;

    // A write frame of the run may have reached the board otherwise than sent.
    bool AnyDoubtfulWrite() const {
        return std::any_of(frames.begin(), frames.end(),
                           [](const Frame& f) { return f.write && !f.echoedAsSent; });
    }

    boardlink::FT_STATUS Write(boardlink::FT_HANDLE h, const void* buffer, boardlink::DWORD count,
                               boardlink::DWORD* written) override {
        EndEcho();
        const auto* b = static_cast<const std::uint8_t*>(buffer);
        const bool writeFrame = count == 5 && b[0] == 'W' && b[1] == 'F';
        if (writeFrame || (count == 7 && b[0] == 'R' && b[1] == 'F'))
            frames.push_back({writeFrame, b[2] * 65536 + b[3] * 256 + b[4]});
        const auto status = inner_.Write(h, buffer, count, written);
        if (writeFrame && status == boardlink::FT_OK) {
            sent_.assign(b, b + count);
            echo_.clear();
            awaitingEcho_ = true;
        }
        return status;
    }
    boardlink::FT_STATUS Read(boardlink::FT_HANDLE h, void* b, boardlink::DWORD c,
                              boardlink::DWORD* d) override {
        const auto status = inner_.Read(h, b, c, d);
        if (awaitingEcho_) {
            const auto* got = static_cast<const std::uint8_t*>(b);
            const boardlink::DWORD n = d != nullptr ? *d : 0;
            if (status != boardlink::FT_OK || n == 0) {
                EndEcho();  // failed, or nothing came in time
            } else {
                echo_.insert(echo_.end(), got, got + n);
                if (echo_.size() >= sent_.size()) {
                    frames.back().echoedAsSent = std::equal(sent_.begin(), sent_.end(), echo_.begin());
                    EndEcho();
                }
            }
        }
        return status;
    }
    boardlink::FT_STATUS OpenEx(const char* d, boardlink::DWORD f, boardlink::FT_HANDLE* h) override {
        return inner_.OpenEx(d, f, h);
    }
    boardlink::FT_STATUS SetBaudRate(boardlink::FT_HANDLE h, boardlink::ULONG b) override {
        return inner_.SetBaudRate(h, b);
    }
    boardlink::FT_STATUS SetFlowControl(boardlink::FT_HANDLE h, boardlink::USHORT m,
                                        boardlink::UCHAR x, boardlink::UCHAR y) override {
        return inner_.SetFlowControl(h, m, x, y);
    }
    boardlink::FT_STATUS SetLatencyTimer(boardlink::FT_HANDLE h, boardlink::UCHAR ms) override {
        return inner_.SetLatencyTimer(h, ms);
    }
    boardlink::FT_STATUS SetUSBParameters(boardlink::FT_HANDLE h, boardlink::ULONG i,
                                          boardlink::ULONG o) override {
        return inner_.SetUSBParameters(h, i, o);
    }
    boardlink::FT_STATUS SetDataCharacteristics(boardlink::FT_HANDLE h, boardlink::UCHAR w,
                                                boardlink::UCHAR s, boardlink::UCHAR p) override {
        return inner_.SetDataCharacteristics(h, w, s, p);
    }
    boardlink::FT_STATUS SetChars(boardlink::FT_HANDLE h, boardlink::UCHAR a, boardlink::UCHAR b,
                                  boardlink::UCHAR c, boardlink::UCHAR d) override {
        return inner_.SetChars(h, a, b, c, d);
    }
    boardlink::FT_STATUS SetTimeouts(boardlink::FT_HANDLE h, boardlink::ULONG r,
                                     boardlink::ULONG w) override {
        return inner_.SetTimeouts(h, r, w);
    }
    boardlink::FT_STATUS Purge(boardlink::FT_HANDLE h, boardlink::ULONG m) override {
        EndEcho();
        return inner_.Purge(h, m);
    }
    boardlink::FT_STATUS Close(boardlink::FT_HANDLE h) override {
        EndEcho();
        return inner_.Close(h);
    }

private:
    // Whatever was still missing of a write frame's echo stays missing.
    void EndEcho() { awaitingEcho_ = false; }

    boardlink::FtdiDriver& inner_;
    bool awaitingEcho_ = false;
    std::vector<std::uint8_t> sent_;
    std::vector<std::uint8_t> echo_;
};

std::vector<std::int32_t> BlockAddresses() {
    std::vector<std::int32_t> addresses;
    for (std::int32_t a = 0x400; a <= 0xF800; a += 0x400) addresses.push_back(a);
    addresses.push_back(0);
    return addresses;
}

}  // namespace

FaultRates RatesForSeed(std::uint64_t seed) {
    static constexpr std::array<double, 5> levels{0.002, 0.01, 0.03, 0.1, 0.3};
    const double rate = levels[seed % levels.size()];
    return {rate, rate / 20000, rate / 4, rate / 100};
}

void RunFaultedUpdate(std::uint64_t seed, CampaignFigures& figures) {
    RandomFaults faults(seed, RatesForSeed(seed));
    VirtualClock clock;
    LoaderBoard board({}, &faults);
    LinkSetup link;
    link.recordCalls = false;
    SimDriver driver(clock, board, link, &faults);
    FrameRecorder recorder(driver);
    RecordingWindow window;
    window.recordYields = false;
    image::MemoryResources resources;
    resources.Put(image::ResourceType, image::ReleaseResourceId, image::DemoContainer());
    app::Program program(window, recorder, resources);
    window.SetHandlers(&program.Form);

    const auto violation = [&](std::uint64_t& counter, const std::string& what) {
        ++counter;
        figures.violations.push_back("seed " + std::to_string(seed) + ": " + what);
    };

    window.Start();
    if (window.closed || window.ended) {
        ++figures.startupExits;
    } else {
        window.Click(0);
        if (window.closed) {
            ++figures.checkFailures;
        } else if (window.buttonVisible[1]) {
            window.Click(1);
        }
    }
    ++figures.runs;
    for (const auto& [kind, n] : faults.Injected()) figures.faultsByKind[kind] += n;
    figures.faultsInjected += faults.InjectedTotal();
    if (driver.ClosedHandleCalls() != 0) violation(figures.closedHandleCalls, "call on a closed handle");

    const auto& flash = board.Flash();
    const auto& img = program.Image.FirmwareImage;
    const bool bootPageTouched =
        std::any_of(flash.begin(), flash.begin() + 2048, [](std::uint8_t b) { return b != 0xFF; });

    if (window.statusText == "Flash Complete!") {
        ++figures.completed;
        for (std::int32_t a : BlockAddresses()) {
            const auto offset = static_cast<std::size_t>(a) * 2;
            if (!std::equal(flash.begin() + static_cast<long>(offset),
                            flash.begin() + static_cast<long>(offset + 2048),
                            img.begin() + static_cast<long>(image::HeaderBytes + offset))) {
                violation(figures.falseSuccesses, "complete, but block " + std::to_string(a) + " differs");
                break;
            }
        }
        return;
    }

    // Which flash failure, if any, was reported.
    const std::string* text = nullptr;
    for (const auto& box : window.boxes)
        for (const char* t : {MainWrite, MainVerify, PageWrite, PageVerify})
            if (box.text == t) text = &box.text;
    if (text == nullptr) return;  // no programming run, or it never started
    ++figures.flashFailures;

    const auto& frames = recorder.frames;
    if (frames.empty()) {
        violation(figures.wrongMessages, "failure reported without a block command");
        return;
    }
    const auto& last = frames.back();
    // The boot page may have changed when the failing frame was its own, or
    // when a write frame of the run did not come back as sent (its address
    // may have been damaged on the way): then the user is told to keep the
    // board powered.
    const bool doubtfulWrite = recorder.AnyDoubtfulWrite();
    if (doubtfulWrite && last.address != 0) ++figures.failuresAfterDoubtfulWrite;
    const bool bootPageAtRisk = last.address == 0 || doubtfulWrite;
    const char* expected = bootPageAtRisk ? (last.write ? PageWrite : PageVerify)
                                          : (last.write ? MainWrite : MainVerify);
    if (*text != expected) violation(figures.wrongMessages, "shown \"" + *text + "\"");
    // Whatever the echoes said: a board whose boot page was written in this
    // run must never be reported as safe to power off.
    const bool bootPageWritten =
        std::any_of(board.Commands().begin(), board.Commands().end(), [](const auto& c) {
            return c.command == Command::WriteBlock && c.address == 0;
        });
    if (bootPageWritten && *text != PageWrite && *text != PageVerify)
        violation(figures.wrongMessages, "boot page written, but shown \"" + *text + "\"");

    // After the first page, a run whose write frames came back damaged reads
    // every block back once more: that check pass starts at the first frame
    // for another address.
    auto firstPageFrame = std::find_if(frames.begin(), frames.end(),
                                       [](const auto& f) { return f.address == 0; });
    auto checkPass = std::find_if(firstPageFrame, frames.end(),
                                  [](const auto& f) { return f.address != 0; });
    if (firstPageFrame == frames.end() || checkPass == frames.end()) checkPass = frames.end();

    if (firstPageFrame == frames.end() && bootPageTouched) ++figures.bootPagesWrittenByFailedRuns;
    if (last.address != 0 && checkPass == frames.end() && firstPageFrame != frames.end())
        violation(figures.bootFramesTooEarly, "frame for address 0 in the main stage");

    // Failed attempts per block and pass: frames less the write and read that succeeded.
    const auto countFailures = [&](auto from, auto to, bool failedHere) {
        std::map<std::int32_t, std::pair<int, int>> perBlock;  // writes, reads
        for (auto f = from; f != to; ++f) (f->write ? perBlock[f->address].first : perBlock[f->address].second)++;
        for (const auto& [address, counts] : perBlock) {
            const bool failing = failedHere && address == last.address;
            const int writeFailures = counts.first - (counts.second > 0 && counts.first > 0 ? 1 : 0);
            const int failures = writeFailures + counts.second - (failing ? 0 : 1);
            if (failures > 50 || (failing && failures != 50))
                violation(figures.overdrawnBlocks,
                          "block " + std::to_string(address) + " had " + std::to_string(failures) +
                              " failed attempts");
        }
    };
    countFailures(frames.begin(), checkPass, checkPass == frames.end());
    countFailures(checkPass, frames.end(), true);

    if (window.VisibleButtons() != std::vector<int>{0} || !window.statusText.empty() ||
        program.UnsupportedFlag != -1)
        violation(figures.notBackToIdle, "window not idle after the failure");
}

CampaignFigures RunCampaign(std::uint64_t firstSeed, std::uint64_t runs) {
    CampaignFigures figures;
    for (std::uint64_t i = 0; i < runs; ++i) RunFaultedUpdate(firstSeed + i, figures);
    return figures;
}

std::string Describe(const CampaignFigures& f) {
    std::ostringstream out;
    out << "runs " << f.runs << ": completed " << f.completed << ", flash failures "
        << f.flashFailures << ", Find Device failures " << f.checkFailures << ", start-up exits "
        << f.startupExits << "\n"
        << "faults injected " << f.faultsInjected << ":";
    for (const auto& [kind, n] : f.faultsByKind) out << " " << kind << " " << n;
    out << "\nfalse successes " << f.falseSuccesses << ", boot-page frames before the first page "
        << f.bootFramesTooEarly << ", wrong messages " << f.wrongMessages
        << ", blocks over 50 failed attempts " << f.overdrawnBlocks << ", closed-handle calls "
        << f.closedHandleCalls << ", not back to idle " << f.notBackToIdle << "\n"
        << "boot pages written through damaged frame addresses in failed runs "
        << f.bootPagesWrittenByFailedRuns << ", main-stage failures after a doubtful write frame "
        << f.failuresAfterDoubtfulWrite << "\n";
    for (const auto& v : f.violations) out << "  " << v << "\n";
    return out.str();
}

}  // namespace sim
