// The tool runs' limits in one place: the size of every command line and of
// the tool output each run keeps, and every time-out. Each buffer is fixed
// and text that does not fit is cut. A flash, boot or download command line
// that would be cut is not run (it would name another file); a cut report
// or device-list command is a prefix of a read-only command and runs as it
// is. Two kinds of bound live elsewhere: the report's shell probes read
// their short replies into buffers of their own (report/shell_probes.cpp),
// and the bounds on what a request may send are in http/http_limits.h.
// Kept on this floor so that every floor above names the same values.
#pragma once

// ---- Command lines --------------------------------------------------------
// "devices", getprop, getvar and the shell probes: a tool path in quotes,
// "-s SERIAL" and the probe's words (a very long tool path cuts the end).
constexpr int tool_command_size = 324;
// The IMEI call: a report command plus a transaction code and a slot.
constexpr int imei_command_size = 512;
// fastboot flash/boot: two 259-character paths, a serial and a partition.
constexpr int flash_command_size = 520;
// Reboot: a tool path, a serial and the target's words; kill-server: a
// tool path.
constexpr int reboot_command_size = 600;
constexpr int kill_command_size = 600;
// Wireless: a tool path, a host, a port and a pairing code.
constexpr int wifi_command_size = 700;
// The image downloader: the program, its options, the quoted URL and the
// image path.
constexpr int download_command_size = 4096;

// ---- Tool output kept (bytes, NUL included); the rest is read and dropped -
constexpr int devices_output_size = 65536;         // "devices" lists
constexpr int getprop_text_size = 256 * 1024;      // getprop: real dumps run past 64 KiB
constexpr int getvar_output_size = 65536;          // fastboot getvar all
constexpr int imei_call_output_size = 8192;        // one iphonesubinfo parcel
constexpr int flash_output_size = 65536;           // fastboot flash/boot
constexpr int reboot_output_size = 4096;           // reboot, any mode
constexpr int wifi_output_size = 4096;             // pair/connect/disconnect/mdns
constexpr int kill_output_size = 2048;             // kill-server, never read
constexpr int image_download_output_size = 4096;   // the downloader's words
constexpr int tools_download_output_size = 16384;  // archive fetch, never read

// ---- Time-outs of tool runs (milliseconds) --------------------------------
// A run that should answer at once: "devices", each report probe, getvar,
// an IMEI call, reboot, kill-server. The whole run is bounded.
constexpr unsigned quick_run_timeout_ms = 20000;
// Asking a network fastboot phone whether it is there, for GET /devices.
constexpr unsigned network_phone_timeout_ms = 3000;
// A whole report: once a run ends at its time-out the runs left are skipped.
constexpr unsigned report_budget_ms = 60000;
// Wireless pairing and connecting, and the mDNS listing.
constexpr unsigned wifi_timeout_ms = 25000;
constexpr unsigned mdns_timeout_ms = 12000;
// Flash and boot: the wait for fastboot to exit once its output has ended.
constexpr unsigned flash_timeout_ms = 180000;
// Downloads: the wait for the downloader to exit once its output has ended.
constexpr unsigned image_download_timeout_ms = 180000;
constexpr unsigned tools_download_timeout_ms = 20000;
// Flash and boot have no bound on the whole run (a real write may take
// long): they end after transfer_idle_ms with no output at all, or
// waiting_limit_ms after fastboot's "< waiting for" line with nothing after
// it (the phone it waits for has gone).
constexpr unsigned transfer_idle_ms = 5u * 60u * 1000u;
constexpr unsigned waiting_limit_ms = 30000;
// Any download ends within this time, whatever it prints.
constexpr unsigned download_limit_ms = 60u * 60u * 1000u;
