// Providing the platform tools: the held adb files, and fastboot on demand.
#pragma once

// Writes those of the held platform-tools files that are missing into the
// platform-tools folder beside the program. Silent on every failure.
void install_payloads();

// Downloads and unpacks the platform tools when fastboot is not found
// beside the program or in its platform-tools folder; reports on the console.
void ensure_fastboot();
