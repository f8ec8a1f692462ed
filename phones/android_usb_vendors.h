// Makers of Android phones and tablets, by USB vendor number.
#pragma once

// The maker's name for USB vendor number `vendor_id`, or nullptr when it
// is not a known Android maker. A match says "may be a phone", not "is a
// phone"; `pc_parts` (when given) is set for makers whose number is also
// common on a PC's own parts (Intel Bluetooth, laptop webcams, docks), for
// which only an ADB or fastboot interface tells of a phone.
const char* android_vendor_name(unsigned vendor_id, bool* pc_parts = nullptr);
