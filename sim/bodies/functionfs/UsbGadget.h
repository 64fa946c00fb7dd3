// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace functionfs {

// What the host reads in the device descriptor and its strings.
struct DeviceIdentity {
    std::string vendor = "0x0403";   // FTDI
    std::string product = "0x6001";  // FT232R (and FT232BM, FT245R)
    std::string release = "0x0600";  // bcdDevice: how drivers tell the R series
    std::string manufacturer = "FTDI";
    std::string productName = "Ambercord Serial Link";
    std::string serial = "ZB000001";  // empty: no serial number string
    int maxPowerMa = 90;              // an FT232R's EEPROM default
};

/*
 * A USB device made of the kernel's gadget framework through configfs
 * (Documentation/usb/gadget_configfs.rst): one configuration with one
 * FunctionFS function, whose descriptors and requests a program serves.
 * Plugging it in is binding it to a USB device controller; pulling the cable
 * is unbinding it. Every call returns an error text, empty on success.
 */
class UsbGadget {
public:
    explicit UsbGadget(std::string name) : name_(std::move(name)) {}
    ~UsbGadget() { Remove(); }
    UsbGadget(const UsbGadget&) = delete;
    UsbGadget& operator=(const UsbGadget&) = delete;

    // Makes the gadget and its FunctionFS instance, mounted at `mountPoint`.
    std::string Create(const DeviceIdentity& identity, const std::string& mountPoint);
    // Plugs it into the device controller `udc` (empty: the first there is).
    // FunctionFS must have its descriptors first.
    std::string Bind(std::string udc);
    // Unplugs it, if it is plugged in.
    void Unbind();
    // Takes everything down again; the FunctionFS files must be closed.
    void Remove();

    const std::string& Folder() const { return folder_; }

private:
    std::string name_;
    std::string folder_;
    std::string mountPoint_;
    bool mounted_ = false;
};

}  // namespace functionfs
