// Every reply body and console line of the bridge, by route. The bytes are
// what pages and users rely on: change none without changing its readers
// (web/adb.html and the tests).
//
// Some console lines live with the code that owns them, because their
// floor lies below this one and may not include it: the fastboot
// download's three progress lines (tools/provisioning.cpp), the per-system
// log-on lines (platform/autostart_*.cpp), the per-system way to stop
// (platform/console_*.cpp) and the runner's three lines on
// standard error for a programming error (tools/process_runner.cpp). The
// members of each entry of a list (the phones of /devices, the findings of
// /doctor, the report's rows) are formatted where the entries are made:
// phones/devices_route.cpp, phones/doctor_route.cpp and report/.
#pragma once

// ---- Any route -------------------------------------------------------------
constexpr char unknown_body[] = "{\"ok\":false,\"error\":\"unknown\"}";
constexpr char forbidden_body[] = "{\"ok\":false,\"error\":\"forbidden (origin)\"}";

// ---- Choosing a phone (flash, boot, flashurl, reboot, info) ----------------
constexpr char bad_serial_body[] = "{\"ok\":false,\"error\":\"serial theek nahi\"}";
constexpr char no_fastboot_phone_body[] =
    "{\"ok\":false,\"error\":\"Fastboot mode mein koi phone nahi mila. Phone ko bootloader (Fastboot) mode mein "
    "layein.\"}";
constexpr char no_adb_phone_body[] =
    "{\"ok\":false,\"error\":\"ADB mein koi phone nahi mila. USB debugging ON karke phone par Allow dabayein.\"}";
constexpr char several_phones_body[] =
    "{\"ok\":false,\"error\":\"Ek se zyada phone lage hain. Ek phone chunein (serial) ya baaki nikaal dein.\"}";
constexpr char duplicate_serial_body[] =
    "{\"ok\":false,\"error\":\"Do phone ek hi serial dikha rahe hain. Ek phone nikaal kar dobara koshish karein.\"}";

// ---- GET /ping (version, adb found, fastboot found) -----------------------
constexpr char ping_format[] =
    "{\"ok\":true,\"name\":\"Talvik Web Bridge\",\"version\":\"%s\",\"adb\":%s,\"fastboot\":%s}";

// ---- GET /info --------------------------------------------------------------
// The report envelopes (the field list inside the brackets).
constexpr char adb_report_format[] = "{\"ok\":true,\"mode\":\"ADB\",\"fields\":[%s]}";
constexpr char fastboot_report_format[] = "{\"ok\":true,\"mode\":\"Fastboot\",\"fields\":[%s]}";
constexpr char no_phone_body[] =
    "{\"ok\":false,\"error\":\"Koi phone nahi mila. ADB: USB debugging ON + phone par Allow. Ya phone Fastboot mode "
    "mein layein. Cable theek hai?\"}";
constexpr char unauthorized_body[] =
    "{\"ok\":false,\"error\":\"Phone mila lekin USB debugging ki ijazat nahi di. Phone par 'Allow' dabayein.\"}";

// ---- GET /devices (the entries follow the opening) ------------------------
constexpr char devices_opening[] = "{\"ok\":true,\"devices\":[";

// ---- Partition refusals: one refusal, two wordings ------------------------
// POST /flash says it in full; GET /flashurl keeps its older short words.
constexpr char upload_bad_name_body[] = "{\"ok\":false,\"error\":\"partition name theek nahi\"}";
constexpr char url_bad_name_body[] = "{\"ok\":false,\"error\":\"partition theek nahi\"}";
constexpr char upload_identity_body[] =
    "{\"ok\":false,\"error\":\"Ye identity partition (IMEI/EFS/NV/FRP) hai - ispar flash BLOCK hai (legal).\"}";
constexpr char url_identity_body[] = "{\"ok\":false,\"error\":\"identity partition - BLOCK (legal)\"}";

// ---- POST /flash and POST /boot --------------------------------------------
constexpr char bad_size_body[] = "{\"ok\":false,\"error\":\"file size theek nahi (0 ya 2GB se zyada)\"}";
constexpr char incomplete_body[] = "{\"ok\":false,\"error\":\"file poori receive nahi hui\"}";

// ---- Flash and boot replies (uploads and GET /flashurl) --------------------
constexpr char not_an_image_body[] =
    "{\"ok\":false,\"error\":\"Ye flash wali image nahi lagti (web page ya ghalat file). Seedhi image file dein.\"}";
// An image of another kind than its partition takes: the kind found, the
// partition (a checked name) and the kind it takes.
constexpr char wrong_image_format[] = "{\"ok\":false,\"error\":\"Ye file %s hai, magar %s partition ko %s chahiye.\"}";
// The same for POST /boot: the kind found and the kind a boot takes.
constexpr char wrong_boot_image_format[] =
    "{\"ok\":false,\"error\":\"Ye file %s hai, magar boot karne ke liye %s chahiye.\"}";
// The kinds found, by header, in a plain file and in a sparse one...
constexpr char found_boot_words[] = "boot image (ANDROID!)";
constexpr char found_vendor_boot_words[] = "vendor_boot image (VNDRBOOT)";
constexpr char found_elf_words[] = "ELF image";
constexpr char found_none_words[] = "boot header ke baghair";
constexpr char sparse_boot_words[] = "sparse boot image (ANDROID!)";
constexpr char sparse_vendor_boot_words[] = "sparse vendor_boot image (VNDRBOOT)";
constexpr char sparse_elf_words[] = "sparse ELF image";
constexpr char sparse_none_words[] = "sparse image (andar boot header nahi)";
// ...and the kinds taken.
constexpr char need_boot_words[] = "boot image (ANDROID!)";
constexpr char need_vendor_boot_words[] = "vendor_boot image (VNDRBOOT)";
constexpr char need_boot_run_words[] = "seedhi (sparse nahi) boot image (ANDROID!)";
// Verdict, partition shown ("(boot)" for a boot), then the escaped log.
constexpr char flash_body_opening[] = "{\"ok\":%s,\"partition\":\"%s\",\"log\":\"";
constexpr char boot_shown_partition[] = "(boot)";

// ---- GET /flashurl -----------------------------------------------------------
constexpr char bad_url_body[] = "{\"ok\":false,\"error\":\"URL theek nahi\"}";
// A failed download's reply carries the downloader's words (an HTTP
// status, a name that did not resolve) for the page to explain.
constexpr char download_too_big_body[] =
    "{\"ok\":false,\"error\":\"Link ki file bohat bari hai (2GB se zyada) - flash nahi ho sakti. Sahi image ka link "
    "dein.\"}";
constexpr char download_failure_format[] =
    "{\"ok\":false,\"error\":\"file download nahi hui (link/internet check karein)\",\"log\":\"%s\"}";

// ---- GET /wifi-pair, -connect, -disconnect, -mdns --------------------------
constexpr char bad_pair_body[] = "{\"ok\":false,\"error\":\"ip/port/code theek nahi\"}";
constexpr char bad_connect_body[] = "{\"ok\":false,\"error\":\"ip/port theek nahi\"}";
constexpr char wifi_format[] = "{\"ok\":%s,\"log\":\"%s\"}";

// ---- GET /reboot and GET /adbkill ------------------------------------------
constexpr char unknown_target_body[] = "{\"ok\":false,\"error\":\"unknown target\"}";
constexpr char rebooted_format[] = "{\"ok\":true,\"to\":\"%s\"}";
constexpr char reboot_failed_format[] = "{\"ok\":false,\"to\":\"%s\",\"log\":\"%s\"}";
constexpr char stopped_body[] = "{\"ok\":true}";

// ---- Logs of runs the bridge ended (flash, boot, reboot, wireless) ---------
// Added on a line of its own; %u is the run's length in seconds.
constexpr char ended_run_line[] = "Bridge ne ye kaam %u second baad rok diya (phone ya tool ne jawab nahi diya).";
// Where a tool's log was cut because it printed more than the bridge
// keeps: %lld is how many bytes it printed in all (the verdict saw them).
constexpr char output_cut_line[] = "[... log yahan se kaata gaya: tool ne kul %lld byte likhe the ...]";
// A tool that could not be started, twice: nothing reached the phone.
constexpr char not_started_line[] =
    "Bridge ye tool start nahi kar saka (do dafa koshish ki); phone tak kuch nahi gaya. Dobara koshish karein; "
    "antivirus ne tool ki file rok rakhi ho to use ijazat dein, ya platform-tools dobara rakhein.";
// A tool that started and ended by crashing (or its loader's failure).
constexpr char crashed_line[] =
    "Tool beech mein crash ho kar band ho gaya; kaam adhoora ho sakta hai. Phone ki haalat dekh kar dobara koshish "
    "karein.";

// ---- Why no phone is seen (GET /doctor; fastboot missing) -----------------
// POST /flash, POST /boot and GET /flashurl: fastboot is still not there
// after its download was tried.
constexpr char fastboot_missing_body[] =
    "{\"ok\":false,\"error\":\"fastboot nahi mila aur download bhi nahi ho saka. Internet check karein, ya "
    "platform-tools bridge ke folder mein rakhein.\"}";
// GET /reboot to a Fastboot target never downloads fastboot.
constexpr char reboot_fastboot_missing_body[] =
    "{\"ok\":false,\"error\":\"fastboot nahi mila. Pehla flash ise khud download kar leta hai, ya platform-tools "
    "bridge ke folder mein rakhein.\"}";

// GET /doctor: {"ok":true,"findings":[...]}, each finding
// {"code":"...",["serial":"...",]["mode":"...",]["usb":"vvvv:pppp",]"text":"..."}.
constexpr char doctor_opening[] = "{\"ok\":true,\"findings\":[";
// The findings' texts: the cause and the next step.
constexpr char doctor_adb_missing_text[] =
    "adb nahi mila (na bridge ke saath, na platform-tools folder mein, na PATH par). Bridge ki wo release lein jis "
    "mein platform-tools shaamil hain, ya Google ka platform-tools folder bridge ke folder mein rakhein.";
constexpr char doctor_adb_server_conflict_text[] =
    "Koi doosra phone program (phone suite, emulator ya doosra adb) apna adb server chala raha hai. Wo program band "
    "karein, phir \"ADB server band karein\" dabayein aur dobara check karein.";
constexpr char doctor_fastboot_failed_text[] =
    "fastboot nahi mila aur uska download bhi nahi ho saka. Internet check karein, ya platform-tools bridge ke folder "
    "mein rakhein.";
constexpr char doctor_fastboot_unstartable_text[] =
    "fastboot ki file mili magar chal nahi saki (adhoori ya ghalat file). platform-tools dobara bridge ke folder mein "
    "rakhein.";
constexpr char doctor_fastboot_not_yet_text[] =
    "fastboot abhi bridge ke paas nahi, is liye Fastboot mode ka phone nazar nahi aata. Pehli flash par bridge use "
    "download karega (internet chahiye), ya platform-tools bridge ke folder mein rakhein.";
constexpr char doctor_usb_no_driver_adb_text[] =
    "Phone ADB mode mein USB par hai magar Windows mein uska driver nahi (Device Manager mein peela nishan). Phone "
    "company ka USB driver ya Google USB Driver install karein, phir cable nikaal kar dobara lagayein.";
constexpr char doctor_usb_no_driver_fastboot_text[] =
    "Phone Fastboot mode mein USB par hai magar Windows mein uska driver nahi (Fastboot ko aksar alag driver chahiye). "
    "Google USB Driver (Android Bootloader Interface) ya phone company ka driver install karein, phir cable nikaal "
    "kar dobara lagayein.";
constexpr char doctor_usb_no_driver_text[] =
    "Android phone USB par hai magar Windows mein uska driver nahi chala (Device Manager mein peela nishan). Phone "
    "company ka USB driver install karein, phir cable nikaal kar dobara lagayein.";
constexpr char doctor_usb_no_permission_text[] =
    "Phone USB par hai magar is user ko usay kholne ki ijazat nahi. Is vendor ID ke liye udev rule lagayein (Debian: "
    "android-sdk-platform-tools-common), user ko plugdev group mein daalein, phir cable dobara lagayein.";
constexpr char doctor_adb_no_permissions_text[] =
    "adb ko phone kholne ki ijazat nahi (Linux). Android ka udev rule lagayein (Debian: "
    "android-sdk-platform-tools-common), user ko plugdev group mein daalein, phir cable dobara lagayein.";
constexpr char doctor_fastboot_no_permissions_text[] =
    "fastboot ko Fastboot mode wala phone kholne ki ijazat nahi (Linux). Android ka udev rule lagayein, user ko "
    "plugdev group mein daalein, phir cable dobara lagayein.";
constexpr char doctor_adb_unauthorized_text[] =
    "Phone ne is computer ko ijazat nahi di. Phone unlock karein aur \"Allow USB debugging\" par Allow dabayein; "
    "popup na aaye to cable dobara lagayein.";
constexpr char doctor_adb_authorizing_text[] =
    "Phone ijazat de raha hai. Phone par Allow dabayein, phir kuch second baad dobara check karein.";
constexpr char doctor_adb_offline_text[] =
    "Phone offline hai. Cable nikaal kar dobara lagayein; na bane to phone par \"Revoke USB debugging "
    "authorizations\" karke dobara Allow karein.";
constexpr char doctor_adb_other_mode_text[] =
    "adb phone ko normal mode mein nahi dekh raha (recovery, sideload, rescue ya bootloader). Phone ko normal start "
    "karein, ya flash ke liye Fastboot mode mein layein.";
constexpr char doctor_usb_not_listed_text[] =
    "Phone ka ADB/Fastboot hissa USB par hai magar adb/fastboot usay nahi dekh rahe. Cable nikaal kar dobara "
    "lagayein; Windows par Google USB Driver install karein.";
// The same on Linux, where no driver is installed: the udev rule, then a
// fresh adb server that opens the phone with it.
constexpr char doctor_usb_not_listed_udev_text[] =
    "Phone ka ADB/Fastboot hissa USB par hai magar adb/fastboot usay nahi dekh rahe. Cable nikaal kar dobara "
    "lagayein; na bane to Android ka udev rule lagayein (Debian: android-sdk-platform-tools-common), phir \"ADB "
    "server band karein\" dabakar dobara check karein.";
constexpr char doctor_usb_debugging_off_text[] =
    "USB par Android phone file-transfer mode mein hai magar USB debugging band hai. Settings > About phone mein "
    "Build number 7 dafa dabayein, phir Developer options mein USB debugging ON karein.";
constexpr char doctor_none_seen_text[] =
    "USB par koi phone nazar nahi aaya. Data wali cable aur doosra USB port try karein, aur phone unlock rakhein.";

// ---- Console ---------------------------------------------------------------
constexpr char banner_rule[] = "============================================================";
constexpr char banner_title_format[] = "  Talvik Web Bridge  v%s\n";
constexpr char banner_open_format[] = "  Chal raha hai. Browser mein %s/adb.html kholkar\n";
constexpr char banner_open_page_format[] = "  Chal raha hai. Browser mein %s kholkar\n";  // a served page's address
constexpr char banner_press_line[] = "  'Phone parho (Bridge)' dabayein.\n";
constexpr char banner_adb_format[] = "  adb:      %s\n";
constexpr char banner_fastboot_format[] = "  fastboot: %s\n";
constexpr char banner_tool_found[] = "mila";
constexpr char banner_adb_on_path[] = "PATH se (ya platform-tools rakhein)";
constexpr char banner_fastboot_on_path[] = "PATH se";
constexpr char banner_port_format[] = "  Port:     127.0.0.1:%d\n\n";
constexpr char quote_in_folder_line[] =
    "Is folder ke naam mein \" hai. Bridge ko aise folder mein rakhein jis ke naam mein \" na ho.";
constexpr char net_start_failed_line[] = "WSAStartup fail";
constexpr char no_free_port_line[] = "Koi port free nahi mila. Doosra bridge window band karke dobara chalayein.";
constexpr char press_enter_prompt[] = "Enter dabayein...";
