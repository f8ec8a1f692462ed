// Providing the platform tools: the held adb files, and fastboot on demand.
#pragma once
#include "payload/payload.h"

// Writes those of the held platform-tools files (payload/payload.h) that are
// missing into the platform-tools folder beside the program. Silent on
// every failure.
void install_payloads();

// What install_payloads does, for any files and tools folder: when there is
// at least one file, creates `tools_dir` (an existing folder is fine) and
// writes each file that is not present there yet, whole or not at all. An
// existing file is never replaced or compared; a folder of a file's name
// counts as absent, and writing over it fails in silence.
void install_files(const char* tools_dir, const HeldFile* files, int count);

// When fastboot is found neither beside the program nor in its
// platform-tools folder (nor, on Linux, on PATH), downloads the vendor's
// platform-tools archive and unpacks it beside the program; reports on the
// console. Callers learn the outcome by their own find_tool.
void ensure_fastboot();

// True when fastboot can be run without a download (see tool_is_there).
bool fastboot_present();

// True when ensure_fastboot downloaded in this run and its last download
// left no fastboot; a fastboot that appears later still counts as present.
bool fastboot_download_failed();
