// Texts of "why no phone is seen": the findings of GET /doctor and the
// refusal of the flashing routes when fastboot cannot be had. Each finding
// says what is wrong and what to do, in the page's language.
#pragma once

namespace doctor_text {

// ---- Flashing routes (POST /flash, POST /boot, GET /flashurl) -------------
// fastboot is not there and its download in this request failed; "code" is
// the GET /doctor finding that explains the same.
constexpr char fastboot_missing_body[] =
    "{\"ok\":false,\"code\":\"fastboot_missing\",\"error\":\"fastboot nahi mila aur Google se download bhi nahi ho "
    "saka. Internet check karke dobara koshish karein, ya Google ka platform-tools folder (fastboot ke saath) bridge "
    "ke folder mein rakhein.\"}";

// ---- GET /doctor findings -------------------------------------------------
constexpr char adb_missing[] =
    "adb nahi mila. Bridge ko uske apne folder se chalayein (wo platform-tools khud banata hai); Linux par adb "
    "install karein (apt install adb).";
constexpr char adb_not_started[] =
    "adb chal nahi saka (uska server start nahi hua). Bridge band karke dobara chalayein; antivirus adb ko rok raha "
    "ho to ijazat dein.";
constexpr char adb_server_conflict[] =
    "Koi doosra program apna adb server chala raha hai (phone suite, emulator ya doosra adb). Usay band karein, phir "
    "dobara check karein.";
constexpr char no_permissions[] =
    "Phone USB par hai magar is user ko us tak pahunchne ki ijazat nahi. Android ka udev rule lagayein (Debian: "
    "android-sdk-platform-tools-common), user ko plugdev group mein daalein, phir cable dobara lagayein.";
constexpr char usb_driver_missing[] =
    "Phone ka ADB/Fastboot hissa Windows par driver ke baghair hai (Device Manager mein peela nishan). Google USB "
    "Driver ya phone company ka driver install karein, phir cable dobara lagayein.";
constexpr char unauthorized[] =
    "Phone ne is computer ko abhi ijazat nahi di. Phone ka screen kholein aur \"Allow USB debugging\" par Allow "
    "dabayein.";
constexpr char authorizing[] =
    "Phone ijazat ke marhale mein hai. Phone ka screen kholein aur Allow dabayein, phir kuch second baad dobara check "
    "karein.";
constexpr char offline[] =
    "Phone offline hai. Cable nikal kar dobara lagayein; na bane to phone par \"Revoke USB debugging "
    "authorizations\" karke dobara Allow karein.";
constexpr char phone_ready[] = "Phone mil gaya aur kaam ke liye tayyar hai.";
constexpr char fastboot_missing[] =
    "fastboot nahi mila aur uska download nahi ho saka. Internet check karein, ya Google ka platform-tools folder "
    "bridge ke folder mein rakhein.";
constexpr char fastboot_on_demand[] =
    "fastboot abhi bridge ke paas nahi; pehli flash par Google se download hoga (internet chahiye).";
constexpr char usb_not_listed[] =
    "Phone USB par ADB/Fastboot ke saath dikh raha hai magar adb/fastboot use nahi dekh rahe. Cable nikal kar dobara "
    "lagayein; Windows par Google USB Driver install karein.";
constexpr char usb_debugging_off[] =
    "USB par ek Android company ka device hai magar ADB band hai. Agar ye aap ka phone hai: Developer options mein "
    "USB debugging ON karein aur phone unlock rakhein; Fastboot ke liye phone ko bootloader mode mein layein.";
constexpr char no_usb_phone[] =
    "USB par koi Android phone nahi mila. Data wali cable aur doosra USB port try karein; phone on aur unlock rakhein.";
constexpr char no_phone[] = "Koi phone nahi mila. Cable, USB debugging ON aur phone par Allow check karein.";

}  // namespace doctor_text
