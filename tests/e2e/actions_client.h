// Requests of a trusted page for the device-action routes.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "tests/e2e/bridge_harness.h"

namespace actions_e2e {

constexpr char page_origin[] = "http://localhost:8080";

// The one phone the fastboot double lists; flashing routes act on it.
constexpr char fastboot_serial[] = "0A1B2C3D";
// A double-script case answering "devices" with that phone; put it first.
constexpr char one_fastboot_phone[] = "match devices\nsay 0A1B2C3D\tfastboot\n\n";
// What a boot image begins with; boot partitions refuse anything else.
constexpr char boot_magic[] = "ANDROID!";

// The head of a trusted request; `extra` is more header lines, each ending
// in CR LF.
inline std::string trusted_head(const e2e::Bridge& bridge, const std::string& method_and_target,
                                const std::string& extra = "") {
  return method_and_target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(bridge.port()) +
         "\r\nOrigin: " + page_origin + "\r\nX-Talvik-Bridge: 1\r\n" + extra + "\r\n";
}

// The head of a trusted upload announcing `length` body bytes.
inline std::string upload_head(const e2e::Bridge& bridge, const std::string& target, const std::string& length) {
  return trusted_head(bridge, "POST " + target,
                      "Content-Type: application/octet-stream\r\nContent-Length: " + length + "\r\n");
}

inline e2e::Reply trusted_get(e2e::Bridge& bridge, const std::string& target) {
  return bridge.get(target, page_origin, true);
}

// The temporary image file as the bridge names it in a command line.
inline std::string image_path_in_commands(const e2e::Bridge& bridge) {
  std::string name =
      bridge.port() == 9765 ? "_bridge_flash.tmp" : "_bridge_flash_" + std::to_string(bridge.port()) + ".tmp";
  if (!e2e::under_wine()) return bridge.dir() + "/" + name;
  std::string path = "Z:" + bridge.dir() + "/" + name;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

// The same file as this test sees it.
inline std::string image_path_on_disk(const e2e::Bridge& bridge) {
  return bridge.dir() + "/" +
         (bridge.port() == 9765 ? std::string("_bridge_flash.tmp")
                                : "_bridge_flash_" + std::to_string(bridge.port()) + ".tmp");
}

// Checks that a reply is a 200 JSON reply whose Content-Length is the body's.
inline ::testing::AssertionResult framed(const e2e::Reply& reply) {
  if (reply.status_line != "HTTP/1.1 200 OK") return ::testing::AssertionFailure() << "status: " << reply.status_line;
  if (reply.header("Content-Length") != std::to_string(reply.body.size())) {
    return ::testing::AssertionFailure() << "Content-Length " << reply.header("Content-Length") << " for "
                                         << reply.body.size() << " bytes";
  }
  return ::testing::AssertionSuccess();
}

}  // namespace actions_e2e
