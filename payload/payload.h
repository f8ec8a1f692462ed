// The platform-tools files the program holds as constant data: adb and its
// two USB interface libraries, written out by install_payloads.
#pragma once

struct HeldFile {
  const char* name;            // file name inside the platform-tools folder
  const unsigned char* begin;  // the file's bytes, begin to end
  const unsigned char* end;
  bool executable;  // marked executable where the system has such a mark
};

struct HeldFiles {
  const HeldFile* files;
  int count;  // 0 when the program was built without any of the files
};

// The held files in the order they are written: adb, AdbWinApi.dll,
// AdbWinUsbApi.dll, each only when the build found it. cmake/payload.cmake
// generates this table from the files of the TALVIK_PAYLOAD_DIR folder.
HeldFiles held_payloads();
