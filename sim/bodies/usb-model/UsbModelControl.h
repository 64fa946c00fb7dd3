/* SPDX-License-Identifier: MIT */
/*
 * The USB-level FT232R model stands in for libusb-1.0.so.0 (loaded through
 * LD_LIBRARY_PATH by real libftdi1). Besides the libusb calls it exports these
 * functions, for the tests that drive it; a program finds them with dlsym,
 * which is also how a test makes sure that the model, and no real USB, is
 * what it loaded.
 *
 * The model reads its first configuration from the environment:
 *   USBMODEL_DEVICES    the devices on the bus (see ModelConfig.h)
 *   USBMODEL_BOARD      the loader's options, as UpdaterSim takes them
 *   USBMODEL_FLASH_OUT  file that receives the first board's flash whenever
 *                       its device is closed
 *   USBMODEL_REPORT     file that receives the model's counters at the same times
 *   USBMODEL_CONTROL_US how long a control request takes (default 1000: one
 *                       full-speed frame)
 *
 * A use of the libusb API that libusb forbids or leaves undefined (freeing a
 * transfer in flight, a handle used after libusb_close, libusb_exit or the
 * end of the process with a handle open, ...) is reported on stderr as
 * "libusb misuse: ..." and ends the process with abort(), so that the test
 * that made it fails loudly. LibusbModel.cpp lists the checks and their sources.
 */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct usbmodel_stats {
    uint64_t host_to_board;      /* bytes the chip's UART sent to the board */
    uint64_t board_to_host;      /* bytes the board sent, echoes included */
    uint64_t receive_overflows;  /* bytes lost in the chip's full receive buffer */
    uint64_t in_packets;
    uint64_t control_requests;
    uint32_t baud_rate;
    int latency_ms;
    int kernel_driver_bound;     /* ftdi_sio has the interface (a /dev/ttyUSB exists) */
    int open_handles;
    int unplugged;
    int transfers_out;           /* submitted and not yet called back or dropped */
    uint64_t callbacks_in_sync_calls;  /* on the whole bus: callbacks run by the caller
                                          of a synchronous transfer, not an event loop */
    uint64_t board_bytes_at_purge;  /* board bytes that had reached the chip when the host
                                       last emptied its receive buffer */
    uint64_t repeated_commands;     /* block commands the loader got again for the
                                       same address: the host's retries */
};

/* "FT232R model" when the model is loaded. */
const char* usbmodel_identity(void);
/* Replaces every device with a new configuration; 0, or -1 when it does not parse. */
int usbmodel_reset(const char* devices, const char* board);
/* Copies up to `size` bytes of device `device`'s board flash; the count copied. */
size_t usbmodel_flash(int device, unsigned char* out, size_t size);
int usbmodel_get_stats(int device, struct usbmodel_stats* out);
/* The device goes away, as when its cable is pulled. */
void usbmodel_unplug(int device);
/* Its IN endpoint stops answering, not even with status packets. */
void usbmodel_stall_in(int device, int stalled);
/* How long cancelled transfers take to come back, from the cancel on; a
 * negative time: never, only libusb_close drops them (as a host controller
 * that never gives back a cancelled URB would leave them). A cancelled
 * transfer takes no more packets; it comes back LIBUSB_TRANSFER_CANCELLED
 * with the packets it had taken. Transfers submitted later are served
 * meanwhile. */
void usbmodel_cancel_delay(int device, long long microseconds);
/* The board sends `count` bytes unasked, one every `interval_us`, from now. */
void usbmodel_board_sends(int device, const unsigned char* bytes, size_t count, unsigned interval_us);

#ifdef __cplusplus
}
#endif
