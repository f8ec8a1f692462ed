#include "server/startup.h"

#include <cstdio>
#include <cstring>

#include "actions/temp_image.h"
#include "platform/autostart.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/net.h"
#include "server/exchange.h"
#include "server/origin.h"
#include "server/ping.h"
#include "server/request_loop.h"
#include "tools/autostart.h"
#include "tools/provisioning.h"
#include "tools/tool_locator.h"

namespace {

constexpr char quote_in_folder_line[] =
    "Is folder ke naam mein \" hai. Bridge ko aise folder mein rakhein jis ke naam mein \" na ho.";
constexpr char rule[] = "============================================================";

void print_banner(const ServerContext& context) {
  std::puts(rule);
  std::printf("  Talvik Web Bridge  v%s\n", bridge_version);
  std::puts(rule);
  std::printf("  Chal raha hai. Browser mein %s/adb.html kholkar\n", site_host);
  std::puts("  'Phone parho (Bridge)' dabayein.\n");
  std::printf("  adb:      %s\n", is_present_file(context.adb_path) ? "mila" : "PATH se (ya platform-tools rakhein)");
  std::printf("  fastboot: %s\n", is_present_file(context.fastboot_path) ? "mila" : "PATH se");
  std::printf("  Port:     127.0.0.1:%d\n\n", context.bound_port);
  platform::write_line_as_is(platform::logon_start_line);
  std::puts("  dobara download/launch ki zaroorat nahi.");
  std::puts("  Band karne ke liye ye window close karein.");
  std::puts(rule);
  std::fflush(stdout);
}

}  // namespace

bool is_autostart(int argc, const char* const* argv) { return argc > 1 && std::strcmp(argv[1], "--autostart") == 0; }

int run_bridge(int argc, const char* const* argv) {
  const bool autostart = is_autostart(argc, argv);
  if (autostart) platform::release_console();
  if (!autostart) platform::use_utf8_output();
  // A full disk or a file-size limit makes an upload's write fail, which
  // the upload reports; it must not end the bridge.
  platform::fail_writes_past_size_limit();
  if (!exe_dir_fits_command_lines()) {
    if (autostart) return 0;
    std::puts(quote_in_folder_line);
    return 1;
  }

  if (!platform::net_start()) {
    if (!autostart) std::puts("WSAStartup fail");
    return 1;
  }

  static ServerContext context;
  platform::Socket listener;
  for (int port = first_port; port <= last_port && !listener.valid(); ++port) {
    listener = platform::Socket(platform::listen_loopback(port, listen_backlog));
    if (listener.valid()) context.bound_port = port;
  }
  if (!listener.valid()) {
    if (autostart) return 0;
    std::puts("Koi port free nahi mila. Doosra bridge window band karke dobara chalayein.");
    std::fputs("Enter dabayein...", stdout);
    std::fflush(stdout);
    platform::wait_for_key();
    return 1;
  }

  // An image an earlier run on this port left behind (it was ended while
  // flashing) must never reach a phone later.
  TempImage(context.bound_port).remove();
  install_payloads();
  register_autostart();
  find_tool("adb", context.adb_path);
  find_tool("fastboot", context.fastboot_path);
  resolve_bare_tool(context.adb_path);
  resolve_bare_tool(context.fastboot_path);
  print_banner(context);
  serve_forever(listener.get(), context);
}
