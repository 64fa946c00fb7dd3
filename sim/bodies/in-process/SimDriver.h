// SPDX-License-Identifier: MIT
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "FtdiDriver.h"
#include "LoaderBoard.h"
#include "SerialLine.h"
#include "SimClock.h"

namespace sim {

struct LinkSetup {
    // USB product descriptions the interface answers to; empty: no interface.
    std::vector<std::string> descriptions{"Ambercord Serial Link"};
    std::string failingStep;  // a configuration call that fails, e.g. "FT_SetBaudRate"
    boardlink::FT_STATUS failingStatus = boardlink::FT_IO_ERROR;
    std::vector<std::uint8_t> queuedAtOpen;  // bytes waiting in the driver when it opens
    // Sizes of the pieces in which reads deliver, used in turn; empty: whole.
    std::vector<std::size_t> readPieces;
    // The interface's latency timer until FT_SetLatencyTimer sets another:
    // a byte from the board is readable this long after it arrived.
    Micros latency{2000};
    bool recordCalls = true;
};

// What crossed the wire, for the wire-time figure of a run.
struct WireStats {
    std::uint64_t hostBytes = 0;    // bytes the host wrote
    std::uint64_t writes = 0;       // write calls: each one waits for its answer
    std::uint64_t replyBytes = 0;   // bytes from the board, echoes not counted, that arrived
    std::uint64_t reads = 0;
    std::uint64_t purges = 0;
};

/*
 * The simulated FTDI interface with the board behind it: a real back end of
 * the driver interface, standing for FTDI's driver and the chip together.
 * The board and its serial line are the ones every body serves
 * (SerialLine): host bytes reach the board at the rate the program set, the
 * board's bytes arrive at the wire rate, on the given clock. What is this
 * body's own is the D2XX calls' meaning and a plain interface: every byte of
 * the board's becomes readable one latency period after its last bit, with
 * no buffer limits, no USB packets and no cost for a call. The FT232R chip
 * model behind the USB bodies keeps the chip's FIFOs, packets and latency
 * timer instead, so the same update takes a little longer there (the
 * README's figures give both).
 */
class SimDriver final : public boardlink::FtdiDriver {
public:
    SimDriver(Clock& clock, LoaderBoard& board, LinkSetup setup = {}, FaultPlan* plan = nullptr);

    boardlink::FT_STATUS OpenEx(const char* description, boardlink::DWORD flags,
                           boardlink::FT_HANDLE* handle) override;
    boardlink::FT_STATUS SetBaudRate(boardlink::FT_HANDLE handle, boardlink::ULONG baud) override;
    boardlink::FT_STATUS SetFlowControl(boardlink::FT_HANDLE handle, boardlink::USHORT mode, boardlink::UCHAR xon,
                                   boardlink::UCHAR xoff) override;
    boardlink::FT_STATUS SetLatencyTimer(boardlink::FT_HANDLE handle, boardlink::UCHAR milliseconds) override;
    boardlink::FT_STATUS SetUSBParameters(boardlink::FT_HANDLE handle, boardlink::ULONG inSize,
                                     boardlink::ULONG outSize) override;
    boardlink::FT_STATUS SetDataCharacteristics(boardlink::FT_HANDLE handle, boardlink::UCHAR wordLength,
                                           boardlink::UCHAR stopBits, boardlink::UCHAR parity) override;
    boardlink::FT_STATUS SetChars(boardlink::FT_HANDLE handle, boardlink::UCHAR eventChar,
                             boardlink::UCHAR eventEnabled, boardlink::UCHAR errorChar,
                             boardlink::UCHAR errorEnabled) override;
    boardlink::FT_STATUS SetTimeouts(boardlink::FT_HANDLE handle, boardlink::ULONG readMs,
                                boardlink::ULONG writeMs) override;
    boardlink::FT_STATUS Purge(boardlink::FT_HANDLE handle, boardlink::ULONG mask) override;
    boardlink::FT_STATUS Write(boardlink::FT_HANDLE handle, const void* buffer, boardlink::DWORD count,
                          boardlink::DWORD* written) override;
    boardlink::FT_STATUS Read(boardlink::FT_HANDLE handle, void* buffer, boardlink::DWORD count,
                         boardlink::DWORD* delivered) override;
    boardlink::FT_STATUS Close(boardlink::FT_HANDLE handle) override;

    // Every call, in order, e.g. "FT_Write(5)"; empty unless recordCalls.
    const std::vector<std::string>& Calls() const { return calls_; }
    void ClearCalls() { calls_.clear(); }
    // Calls made with a handle that was not open: a fault of the caller.
    int ClosedHandleCalls() const { return closedHandleCalls_; }
    bool IsOpen() const { return open_; }
    // Bytes in the driver's receive queue that could be read now.
    std::size_t ReadableBytes() const;
    const WireStats& Stats() const { return stats_; }
    void ResetStats() { stats_ = {}; }
    void SetReadPieces(std::vector<std::size_t> pieces) { setup_.readPieces = std::move(pieces); }
    // Bytes that arrive from the board `after` from now, as if it sent them unasked.
    void Inject(const std::vector<std::uint8_t>& bytes, Micros after = Micros{0});

private:
    struct Queued {
        Micros visible;
        std::uint8_t value;
        bool status4;
    };
    // Checks the handle and the configuration fault for a configuration call.
    boardlink::FT_STATUS Configure(const char* name, boardlink::FT_HANDLE handle, const std::string& args);
    bool Usable(boardlink::FT_HANDLE handle);
    void Record(std::string call);
    void Queue(const std::vector<LineByte>& bytes);

    Clock& clock_;
    LoaderBoard& board_;
    LinkSetup setup_;
    FaultPlan* plan_;
    SerialLine line_;
    int token_ = 0;  // its address is the handle
    bool open_ = false;
    Micros readTimeout_{0};
    Micros hostTxFree_{0};  // the interface's transmitter is free from then on
    std::deque<Queued> queue_;
    std::vector<LineByte> arriving_;
    std::size_t pieceIndex_ = 0;
    int purgeCount_ = 0;
    int closedHandleCalls_ = 0;
    std::vector<std::string> calls_;
    WireStats stats_;
};

}  // namespace sim
