// SPDX-License-Identifier: MIT
#include "UsbGadget.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace functionfs {

namespace {
constexpr const char* GadgetRoot = "/sys/kernel/config/usb_gadget";
constexpr const char* UdcClass = "/sys/class/udc";

std::string Errno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

std::string Write(const std::string& path, const std::string& value) {
    std::ofstream out(path);
    out << value << std::flush;
    return out ? std::string() : "cannot write " + value + " to " + path;
}

std::string MakeFolder(const std::string& path) {
    return mkdir(path.c_str(), 0755) == 0 || errno == EEXIST ? std::string()
                                                             : Errno("mkdir " + path);
}
}  // namespace

std::string UsbGadget::Create(const DeviceIdentity& id, const std::string& mountPoint) {
    folder_ = std::string(GadgetRoot) + "/" + name_;
    const std::string function = folder_ + "/functions/ffs." + name_;
    const std::string config = folder_ + "/configs/c.1";
    for (const auto& step :
         {MakeFolder(folder_), Write(folder_ + "/idVendor", id.vendor),
          Write(folder_ + "/idProduct", id.product), Write(folder_ + "/bcdDevice", id.release),
          Write(folder_ + "/bcdUSB", "0x0200"),
          // An FT232R is a full-speed device, whatever the port.
          Write(folder_ + "/max_speed", "full-speed"), MakeFolder(folder_ + "/strings/0x409"),
          Write(folder_ + "/strings/0x409/manufacturer", id.manufacturer),
          Write(folder_ + "/strings/0x409/product", id.productName),
          id.serial.empty() ? std::string()
                            : Write(folder_ + "/strings/0x409/serialnumber", id.serial),
          MakeFolder(config), Write(config + "/MaxPower", std::to_string(id.maxPowerMa)),
          // Bus powered, remote wake-up: the FT232R's default.
          Write(config + "/bmAttributes", "0xa0"), MakeFolder(function)}) {
        if (!step.empty()) return step;
    }
    if (symlink(function.c_str(), (config + "/ffs." + name_).c_str()) != 0 && errno != EEXIST)
        return Errno("link the function into the configuration");
    mountPoint_ = mountPoint;
    if (auto error = MakeFolder(mountPoint_); !error.empty()) return error;
    if (mount(name_.c_str(), mountPoint_.c_str(), "functionfs", 0, nullptr) != 0)
        return Errno("mount FunctionFS at " + mountPoint_);
    mounted_ = true;
    return {};
}

std::string UsbGadget::Bind(std::string udc) {
    if (udc.empty()) {
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(UdcClass, error)) {
            udc = entry.path().filename();
            break;
        }
        if (udc.empty()) return "no USB device controller in " + std::string(UdcClass);
    }
    return Write(folder_ + "/UDC", udc);
}

void UsbGadget::Unbind() {
    if (folder_.empty()) return;
    std::ifstream in(folder_ + "/UDC");
    std::string bound;
    std::getline(in, bound);
    if (!bound.empty()) Write(folder_ + "/UDC", "\n");
}

void UsbGadget::Remove() {
    if (folder_.empty()) return;
    Unbind();
    if (mounted_) umount(mountPoint_.c_str());
    mounted_ = false;
    if (!mountPoint_.empty()) rmdir(mountPoint_.c_str());
    const std::string config = folder_ + "/configs/c.1";
    unlink((config + "/ffs." + name_).c_str());
    rmdir(config.c_str());
    rmdir((folder_ + "/functions/ffs." + name_).c_str());
    rmdir((folder_ + "/strings/0x409").c_str());
    rmdir(folder_.c_str());
    folder_.clear();
}

}  // namespace functionfs
