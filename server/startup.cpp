#include "server/startup.h"

#include <cstdio>
#include <cstring>

#include "actions/temp_image.h"
#include "http/exchange.h"
#include "http/reply_texts.h"
#include "platform/autostart.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/net.h"
#include "platform/stop_signal.h"
#include "server/origin.h"
#include "server/ping.h"
#include "server/request_loop.h"
#include "tools/autostart.h"
#include "tools/provisioning.h"
#include "tools/tool_locator.h"

namespace {

void print_banner(const ServerContext& context, const platform::LogonWritten& logon) {
  std::puts(banner_rule);
  std::printf(banner_title_format, bridge_version);
  std::puts(banner_rule);
  if (const char* page = platform::served_page_address()) {
    std::printf(banner_open_page_format, page);
  } else {
    std::printf(banner_open_format, site_host);
  }
  std::puts(banner_press_line);
  std::printf(banner_adb_format, is_present_file(context.startup_adb_path) ? banner_tool_found : banner_adb_on_path);
  std::printf(banner_fastboot_format,
              is_present_file(context.startup_fastboot_path) ? banner_tool_found : banner_fastboot_on_path);
  std::printf(banner_port_format, context.bound_port);
  platform::write_logon_lines(logon);
  std::puts(platform::console_close_line);
  std::puts(banner_rule);
  std::fflush(stdout);
}

}  // namespace

bool is_autostart(int argc, const char* const* argv) { return argc > 1 && std::strcmp(argv[1], "--autostart") == 0; }

int run_bridge(int argc, const char* const* argv) {
  // A console whose reader has gone (the bridge's output piped into a
  // program that ended) must not end the bridge at its next line.
  platform::survive_lost_readers();
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
    if (!autostart) std::puts(net_start_failed_line);
    return 1;
  }

  // Lives as long as the bridge serves: serve_forever does not return.
  ServerContext context;
  platform::Socket listener;
  for (int port = first_port; port <= last_port && !listener.valid(); ++port) {
    listener = platform::Socket(platform::listen_loopback(port, listen_backlog));
    if (listener.valid()) context.bound_port = port;
  }
  if (!listener.valid()) {
    if (autostart) return 0;
    std::puts(no_free_port_line);
    std::fputs(press_enter_prompt, stdout);
    std::fflush(stdout);
    platform::wait_for_key();
    return 1;
  }

  // An image an earlier run on this port left behind (it was ended while
  // flashing) must never reach a phone later; a stop from outside from now
  // on takes this run's image with it.
  {
    TempImage image(context.bound_port);
    image.remove();
    if (image.usable()) platform::delete_on_stop(image.path());
  }
  install_payloads();
  const platform::LogonWritten logon = register_autostart();
  find_tool("adb", context.startup_adb_path);
  find_tool("fastboot", context.startup_fastboot_path);
  resolve_bare_tool(context.startup_adb_path);
  resolve_bare_tool(context.startup_fastboot_path);
  print_banner(context, logon);
  serve_forever(listener.get(), context);
}
