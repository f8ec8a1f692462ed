#include "tools/autostart.h"

#include "platform/autostart.h"
#include "platform/files.h"

platform::LogonWritten register_autostart() {
  char program[platform::max_path];
  platform::module_path(program);
  if (program[0] == '\0') return platform::LogonWritten{};
  platform::LogonEntry entry{};
  entry.run_value = "TalvikWebBridge";
  entry.desktop_file = "talvik-web-bridge.desktop";
  entry.title = "Talvik Web Bridge";
  entry.program = program;
  entry.argument = "--autostart";  // the switch run_bridge looks for
  return platform::write_logon_entry(entry);
}
