// SPDX-License-Identifier: MIT
#include "LiveRegions.h"

#include <oleacc.h>

namespace app {

namespace {
// Spelt out here: taken from liboleacc.a they would be import thunks, not GUIDs.
constexpr GUID AccPropServicesClass{0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
constexpr GUID AccPropServicesInterface{0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
constexpr GUID LiveSettingProperty{0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr LONG Polite = 1;
}  // namespace

LiveRegions::LiveRegions() {
    void* services = nullptr;
    if (SUCCEEDED(CoCreateInstance(AccPropServicesClass, nullptr, CLSCTX_INPROC_SERVER, AccPropServicesInterface,
                                   &services)))
        services_ = static_cast<IAccPropServices*>(services);
}

LiveRegions::~LiveRegions() {
    if (services_ != nullptr) services_->Release();
}

void LiveRegions::Mark(HWND control) {
    if (services_ == nullptr) return;
    VARIANT setting{};
    setting.vt = VT_I4;
    setting.lVal = Polite;
    services_->SetHwndProp(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, LiveSettingProperty, setting);
}

void LiveRegions::Forget(HWND control) {
    if (services_ == nullptr) return;
    MSAAPROPID property = LiveSettingProperty;
    services_->ClearHwndProps(control, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &property, 1);
}

void LiveRegions::Announce(HWND control) {
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, control, OBJID_CLIENT, CHILDID_SELF);
    NotifyWinEvent(EVENT_OBJECT_LIVEREGIONCHANGED, control, OBJID_CLIENT, CHILDID_SELF);
}

}  // namespace app
