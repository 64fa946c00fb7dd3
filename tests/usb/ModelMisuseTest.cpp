// SPDX-License-Identifier: MIT
// The USB-level model ends the process on a use of libusb's API that libusb
// forbids or leaves undefined, so a back end that makes one fails its tests.
// Each row makes one such use deliberately, straight through libusb's API,
// in a child process.
#include <gtest/gtest.h>
#include <libusb.h>

#include <csignal>
#include <cstdlib>

#include "ModelControl.h"

namespace {

// One board, opened and claimed as libftdi1 opens it.
struct RawDevice {
    libusb_context* context = nullptr;
    libusb_device_handle* handle = nullptr;

    RawDevice() {
        testing_support::ModelControl().Reset();
        if (libusb_init(&context) != 0) std::abort();
        libusb_device** list = nullptr;
        if (libusb_get_device_list(context, &list) < 1 || libusb_open(list[0], &handle) != 0)
            std::abort();
        libusb_free_device_list(list, 1);
        libusb_set_auto_detach_kernel_driver(handle, 1);
        if (libusb_claim_interface(handle, 0) != 0) std::abort();
    }

    // A bulk IN transfer of the chip's, allocated and filled, not submitted.
    libusb_transfer* Transfer() {
        static unsigned char buffer[512];
        libusb_transfer* transfer = libusb_alloc_transfer(0);
        libusb_fill_bulk_transfer(
            transfer, handle, 0x81, buffer, sizeof buffer, [](libusb_transfer*) {}, nullptr, 0);
        return transfer;
    }
    libusb_transfer* Submitted() {
        libusb_transfer* transfer = Transfer();
        if (libusb_submit_transfer(transfer) != 0) std::abort();
        return transfer;
    }
};

struct MisuseCase {
    const char* name;
    void (*misuse)();
    const char* message;  // what the model says, after "libusb misuse: "
};

class ModelMisuseTest : public ::testing::TestWithParam<MisuseCase> {};

TEST_P(ModelMisuseTest, AbortsNamingTheMisuse) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(GetParam().misuse(), ::testing::KilledBySignal(SIGABRT),
                std::string("libusb misuse: ") + GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Misuses, ModelMisuseTest,
    ::testing::Values(
        MisuseCase{"FreeingATransferInFlight",
                   [] { libusb_free_transfer(RawDevice().Submitted()); },
                   "libusb_free_transfer on a transfer in flight"},
        MisuseCase{"FreeingACancelledTransferBeforeItCameBack",
                   [] {
                       libusb_transfer* transfer = RawDevice().Submitted();
                       libusb_cancel_transfer(transfer);
                       libusb_free_transfer(transfer);
                   },
                   "libusb_free_transfer on a transfer in flight"},
        MisuseCase{
            "FreeingATransferTwice",
            [] {
                libusb_transfer* transfer = RawDevice().Transfer();
                libusb_free_transfer(transfer);
                libusb_free_transfer(transfer);
            },
            "libusb_free_transfer on a transfer that libusb_alloc_transfer did not give out"},
        MisuseCase{"SubmittingATransferTwice",
                   [] { libusb_submit_transfer(RawDevice().Submitted()); },
                   "libusb_submit_transfer on a transfer already in flight"},
        MisuseCase{"SubmittingATransferThatCloseDropped",
                   [] {
                       RawDevice device;
                       libusb_transfer* transfer = device.Submitted();
                       libusb_cancel_transfer(transfer);
                       libusb_close(device.handle);
                       libusb_submit_transfer(transfer);
                   },
                   "libusb_submit_transfer on a transfer that libusb_close dropped"},
        MisuseCase{"ClosingWithATransferNeverCancelled",
                   [] {
                       RawDevice device;
                       device.Submitted();
                       libusb_close(device.handle);
                   },
                   "libusb_close with a transfer in flight that was never cancelled"},
        MisuseCase{"UsingAHandleAfterClose",
                   [] {
                       RawDevice device;
                       libusb_close(device.handle);
                       libusb_release_interface(device.handle, 0);
                   },
                   "libusb_release_interface on a device handle that is not open"},
        MisuseCase{"ExitingWithAHandleOpen", [] { libusb_exit(RawDevice().context); },
                   "libusb_exit with a device handle of its context still open"},
        MisuseCase{"UsingAContextAfterExit",
                   [] {
                       libusb_context* context = nullptr;
                       libusb_init(&context);
                       libusb_exit(context);
                       libusb_interrupt_event_handler(context);
                   },
                   "libusb_interrupt_event_handler on a context that libusb_init did not give out"},
        MisuseCase{"EndingTheProcessWithAHandleOpen",
                   [] {
                       RawDevice device;
                       std::exit(0);
                   },
                   "the process ends with a device handle open"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
