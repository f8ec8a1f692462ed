// split_command_line over any text, and the command lines the device routes
// build: a value that passed the route's checks never adds, splits or joins
// arguments.
#include <cstdio>

#include "actions/partition_guard.h"
#include "actions/wifi_route.h"
#include "fuzz/fuzz_support.h"
#include "http/request_values.h"
#include "phones/phone_choice.h"
#include "platform/command_line.h"
#include "tools/tool_contract.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string line = fuzz::text_of(data, size);
  size_t total = 0;
  for (const std::string& arg : platform::split_command_line(line.c_str())) total += arg.size();
  fuzz::require(total <= std::strlen(line.c_str()), "arguments come from the line's bytes");

  // The input as a request: take the values the routes take.
  const char* request = line.c_str();
  char ip[wifi_ip_cap + 1] = {};
  char port[wifi_port_cap + 1] = {};
  query_value(request, "ip", ip, wifi_ip_cap);
  query_value(request, "port", port, wifi_port_cap);
  if (is_valid_wifi_host(ip) && is_valid_wifi_port(port)) {
    char command[700];
    std::snprintf(command, sizeof command, contract::connect_cmd, "/opt/platform tools/adb", ip, port);
    auto args = platform::split_command_line(command);
    fuzz::require(args.size() == 3, "connect command has three arguments");
    fuzz::require(args[0] == "/opt/platform tools/adb" && args[1] == "connect", "connect command's program and verb");
    fuzz::require(args[2] == std::string(ip) + ":" + port, "connect address passes unchanged");
  }

  char partition[partition_name_cap + 1] = {};
  query_value(request, "partition", partition, partition_name_cap);
  // A serial the request names, under the serial rule, stays one argument.
  char serial[serial_cap + 1];
  char raw_serial[4 * serial_cap] = {};
  const bool named = query_value(request, "serial", raw_serial, 4 * serial_cap - 1);
  if (requested_serial(named ? raw_serial : nullptr, nullptr, serial) != SerialRequest::given) {
    std::snprintf(serial, sizeof serial, "SER1");
  }
  if (is_valid_partition_name(partition) && !is_identity_partition(partition)) {
    char command[700];
    std::snprintf(command, sizeof command, contract::flash_cmd, "C:\\tools\\fastboot.exe", serial, partition,
                  "C:\\Talvik Bridge\\_bridge_flash.tmp");
    auto args = platform::split_command_line(command);
    fuzz::require(args.size() == 6, "flash command has six arguments");
    fuzz::require(args[1] == "-s" && args[2] == serial, "serial passes unchanged after -s");
    fuzz::require(args[4] == partition, "partition name passes unchanged");
    fuzz::require(args[5] == "C:\\Talvik Bridge\\_bridge_flash.tmp", "image path stays one argument");
  }
  return 0;
}
