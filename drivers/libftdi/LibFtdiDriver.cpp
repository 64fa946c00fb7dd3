// SPDX-License-Identifier: MIT
// The only file that sees ftdi.h: its enum names (NONE, BITS_8, ...) are global.
#include "LibFtdiDriver.h"

#include <ftdi.h>

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "DescriptionMatch.h"
#include "InReader.h"
#include "LibFtdiStatus.h"

namespace boardlink {

namespace {

constexpr int UsbTimeoutMs = 5000;  // bounds every USB request; 0 would mean forever
constexpr int StringLength = 128;
constexpr std::size_t DefaultTransferBytes = 4096;

// One open interface: the libftdi1 context and the reader that keeps the
// chip drained. Closing takes at most the reader's CancelBound, whatever
// libusb does with the reader's transfers.
struct Connection {
    ftdi_context* ctx = nullptr;
    std::unique_ptr<InReader> reader;  // from a successful open on
    std::chrono::milliseconds readTimeout{0};

    ~Connection() {
        if (ctx == nullptr) return;
        // The device closes with the interface given back to ftdi_sio, so
        // /dev/ttyUSB* returns; with a reader, between its stop and the
        // release of its transfers (InReader::Close).
        const auto closeDevice = [this] { ftdi_usb_close(ctx); };
        if (reader)
            reader->Close(closeDevice);
        else
            closeDevice();
        ftdi_free(ctx);  // and libusb with it, once no handle is open
    }
};

// Owns the device list of one search.
struct DeviceList {
    ftdi_device_list* head = nullptr;
    ~DeviceList() {
        if (head != nullptr) ftdi_list_free(&head);
    }
};

class LibFtdiDriver final : public FtdiDriver {
public:
    FT_STATUS OpenEx(const char* description, DWORD flags, FT_HANDLE* handle) override {
        if (flags != FT_OPEN_BY_DESCRIPTION || description == nullptr || handle == nullptr)
            return FT_INVALID_PARAMETER;
        auto connection = std::make_unique<Connection>();
        connection->ctx = ftdi_new();
        if (connection->ctx == nullptr) return MapLibFtdiResult(LibFtdiCall::New, -1);
        ftdi_context* ctx = connection->ctx;
        ctx->usb_read_timeout = UsbTimeoutMs;
        ctx->usb_write_timeout = UsbTimeoutMs;
        // Give ftdi_sio back its device on close, so /dev/ttyUSB* returns after an update.
        ctx->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;

        FT_STATUS status = FT_DEVICE_NOT_FOUND;
        {
            DeviceList list;
            // Vendor 0x0403 with the usual FT232R/FT2232/FT4232/FT232H/FT230X product ids.
            const int found = ftdi_usb_find_all(ctx, &list.head, 0, 0);
            if (found < 0) return MapLibFtdiResult(LibFtdiCall::FindAll, found);
            std::vector<libusb_device*> devices;
            std::vector<std::optional<std::string>> products;
            bool unopenable = false;
            for (ftdi_device_list* d = list.head; d != nullptr; d = d->next) {
                // Only the product string: many boards' chips carry no
                // manufacturer or serial string, and asking for one they
                // lack fails the whole call.
                char product[StringLength] = {};
                devices.push_back(d->dev);
                const int read = ftdi_usb_get_strings(ctx, d->dev, nullptr, 0, product, StringLength,
                                                      nullptr, 0);
                unopenable |= read == -4;  // no access to the device node
                if (read < 0)
                    products.emplace_back();
                else
                    products.emplace_back(product);
            }
            if (auto match = FirstMatchingDescription(products, description))
                status = MapLibFtdiResult(LibFtdiCall::OpenDev, ftdi_usb_open_dev(ctx, devices[*match]));
            else if (unopenable)
                status = FT_DEVICE_NOT_OPENED;  // it may be there, but we may not look
        }
        if (status != FT_OK) return status;

        connection->reader = std::make_unique<InReader>(ctx->usb_ctx, ctx->usb_dev,
                                                        static_cast<unsigned char>(ctx->out_ep),
                                                        static_cast<int>(ctx->max_packet_size));
        if (!connection->reader->Start(DefaultTransferBytes)) return FT_IO_ERROR;
        *handle = connection.get();
        open_.insert(connection.release());
        return FT_OK;
    }

    FT_STATUS SetBaudRate(FT_HANDLE h, ULONG baud) override {
        auto* c = Find(h);
        if (c == nullptr) return FT_INVALID_HANDLE;
        return MapLibFtdiResult(LibFtdiCall::SetBaudRate,
                                ftdi_set_baudrate(c->ctx, static_cast<int>(baud)));
    }
    FT_STATUS SetFlowControl(FT_HANDLE h, USHORT mode, UCHAR, UCHAR) override {
        auto* c = Find(h);
        if (c == nullptr) return FT_INVALID_HANDLE;
        if (mode != FT_FLOW_NONE) return FT_NOT_SUPPORTED;  // the tool uses none
        return MapLibFtdiResult(LibFtdiCall::SetFlowControl,
                                ftdi_setflowctrl(c->ctx, SIO_DISABLE_FLOW_CTRL));
    }
    FT_STATUS SetLatencyTimer(FT_HANDLE h, UCHAR ms) override {
        auto* c = Find(h);
        if (c == nullptr) return FT_INVALID_HANDLE;
        return MapLibFtdiResult(LibFtdiCall::SetLatencyTimer, ftdi_set_latency_timer(c->ctx, ms));
    }
    FT_STATUS SetUSBParameters(FT_HANDLE h, ULONG inSize, ULONG outSize) override {
        auto* c = Find(h);
        if (c == nullptr) return FT_INVALID_HANDLE;
        // The IN size is the reader's transfer size, as it is the D2XX driver's request size.
        if (inSize > 0) c->reader->SetTransferSize(inSize);
        if (outSize > 0) ftdi_write_data_set_chunksize(c->ctx, outSize);
        return FT_OK;
    }
    FT_STATUS SetDataCharacteristics(FT_HANDLE h, UCHAR word, UCHAR stop, UCHAR parity) override {
        auto* c = Find(h);
        if (c == nullptr) return FT_INVALID_HANDLE;
        if (word != 8 || stop != 0 || parity != 0) return FT_NOT_SUPPORTED;  // the tool uses 8N1
        return MapLibFtdiResult(LibFtdiCall::SetLineProperty,
                                ftdi_set_line_property(c->ctx, BITS_8, STOP_BIT_1, NONE));
    }
    FT_STATUS SetChars(FT_HANDLE h, UCHAR ev, UCHAR evOn, UCHAR err, UCHAR errOn) override {
        auto* c = Find(h);
        if (c == nullptr) return FT_INVALID_HANDLE;
        if (auto s = MapLibFtdiResult(LibFtdiCall::SetEventChar, ftdi_set_event_char(c->ctx, ev, evOn));
            s != FT_OK)
            return s;
        return MapLibFtdiResult(LibFtdiCall::SetErrorChar, ftdi_set_error_char(c->ctx, err, errOn));
    }
    FT_STATUS SetTimeouts(FT_HANDLE h, ULONG readMs, ULONG) override {
        auto* c = Find(h);
        if (c == nullptr) return FT_INVALID_HANDLE;
        // The write time-out stays libftdi1's finite one: 0 would mean forever.
        c->readTimeout = std::chrono::milliseconds(readMs);
        return FT_OK;
    }
    FT_STATUS Purge(FT_HANDLE h, ULONG mask) override {
        auto* c = Find(h);
        if (c == nullptr) return FT_INVALID_HANDLE;
        // ftdi_tcioflush names the directions as the host sees them; the
        // deprecated purge calls have them swapped.
        ftdi_context* ctx = c->ctx;
        const auto flushChip = [ctx, mask] {
            if ((mask & (FT_PURGE_RX | FT_PURGE_TX)) == (FT_PURGE_RX | FT_PURGE_TX))
                return ftdi_tcioflush(ctx);
            if (mask & FT_PURGE_RX) return ftdi_tciflush(ctx);
            if (mask & FT_PURGE_TX) return ftdi_tcoflush(ctx);
            return 0;
        };
        if ((mask & FT_PURGE_RX) == 0)
            return MapLibFtdiResult(LibFtdiCall::Flush, flushChip());
        // Received bytes also wait in the reader's buffer and transfer.
        return MapLibFtdiResult(LibFtdiCall::Flush, c->reader->Purge(flushChip));
    }
    FT_STATUS Write(FT_HANDLE h, const void* buffer, DWORD count, DWORD* written) override {
        if (written != nullptr) *written = 0;
        auto* c = Find(h);
        if (c == nullptr) return FT_INVALID_HANDLE;
        // Synchronous: the reader drains the chip meanwhile.
        const int n = ftdi_write_data(c->ctx, static_cast<const unsigned char*>(buffer),
                                      static_cast<int>(count));
        if (n < 0) return MapLibFtdiResult(LibFtdiCall::Write, n);
        if (written != nullptr) *written = static_cast<DWORD>(n);
        return static_cast<DWORD>(n) == count ? FT_OK : FT_IO_ERROR;
    }
    FT_STATUS Read(FT_HANDLE h, void* buffer, DWORD count, DWORD* delivered) override {
        if (delivered != nullptr) *delivered = 0;
        auto* c = Find(h);
        if (c == nullptr || delivered == nullptr) return FT_INVALID_HANDLE;
        return c->reader->Read(static_cast<std::uint8_t*>(buffer), count, delivered, c->readTimeout);
    }
    FT_STATUS Close(FT_HANDLE h) override {
        auto* c = Find(h);
        if (c == nullptr) return FT_INVALID_HANDLE;
        open_.erase(c);
        delete c;  // stops the reader, closes the device, reattaches ftdi_sio, frees the context
        return FT_OK;
    }

    ~LibFtdiDriver() override {
        for (auto* c : open_) delete c;
    }

private:
    Connection* Find(FT_HANDLE h) {
        auto* c = static_cast<Connection*>(h);
        return open_.count(c) != 0 ? c : nullptr;
    }
    std::set<Connection*> open_;
};

}  // namespace

std::unique_ptr<FtdiDriver> MakeLibFtdiDriver() { return std::make_unique<LibFtdiDriver>(); }

}  // namespace boardlink
