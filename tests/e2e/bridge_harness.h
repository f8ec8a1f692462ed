// Starts the real bridge binary in a fresh temporary folder, with test
// doubles of its tools beside it, and talks raw HTTP to it.
//
// The binary is this build's talvik-web-bridge (or the one named by the
// TALVIK_BRIDGE environment variable). TALVIK_WINE_DIR=<Windows build folder>
// runs that build's talvik-web-bridge.exe under Wine instead; tools then get
// the .exe suffix and the double is that build's tests/tool_double.exe.
#pragma once
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace e2e {

// True when the bridge under test is a Windows build run under Wine.
bool under_wine();

// ".exe" under Wine, "" on Linux.
std::string exe_suffix();

// The folder of the checked-in test fixtures.
std::string fixtures_dir();

// The bridge that holds the synthetic payload files
// (tests/fixtures/provision/synthetic_payload.h):
// talvik-web-bridge-payload-test beside the bridge binary under test.
std::string payload_test_bridge();

// A test program of the build under test (`name` plus ".exe" under Wine),
// from the folder of the tool double, e.g. "provisioning_driver".
std::string test_program(const std::string& name);

// A program of the Windows build under test, by its path inside that build
// folder without ".exe", e.g. "bench/plain_copy".
std::string wine_build_program(const std::string& relative);

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);

// A reply split into its parts.
struct Reply {
  std::string raw;
  std::string status_line;  // "HTTP/1.1 200 OK"
  std::string head;         // everything up to and including the blank line
  std::string body;
  // Value of header `name` (exact name), or "" when absent.
  std::string header(const std::string& name) const;
};
Reply parse_reply(const std::string& raw);

// Listens on 127.0.0.1:port (0: any free port), like another program would;
// SO_REUSEADDR lets it bind past connections in TIME_WAIT, never past
// another listener. Returns the socket or -1, and the port in *bound.
int listen_loopback(int port, int backlog, int* bound = nullptr);

// Waits until `port` on 127.0.0.1 can be listened on again; false when it
// is still taken after `timeout_ms`.
bool wait_port_free(int port, int timeout_ms);

// Connects to 127.0.0.1:port; returns the socket or -1.
int connect_loopback(int port);
// Sends all bytes; false when the peer went away.
bool send_bytes(int fd, const std::string& bytes);
// Reads until the peer closes or `timeout_ms` passes without data.
std::string read_until_close(int fd, int timeout_ms = 120000);

class Bridge {
 public:
  Bridge();  // creates the temporary folder (in /tmp, or in $TALVIK_TEST_ROOT)
             // and copies the binary into it
  // The same with another program copied in instead of the bridge binary,
  // e.g. payload_test_bridge() or test_program("provisioning_driver").
  explicit Bridge(const std::string& program);
  ~Bridge();  // ends the bridge and removes the folder
  Bridge(const Bridge&) = delete;
  Bridge& operator=(const Bridge&) = delete;

  const std::string& dir() const { return dir_; }
  // Path of the bridge binary inside dir().
  std::string binary() const;
  // Path of `relative` inside dir() ('/' separated).
  std::string path(const std::string& relative) const;

  // Puts the tool double beside the bridge as `name` (plus ".exe" under
  // Wine), in `subfolder` when given ("platform-tools"), with its script.
  void add_tool(const std::string& name, const std::string& script, const std::string& subfolder = "");
  // The arguments of every run of tool `name` so far, one line each.
  std::vector<std::string> tool_calls(const std::string& name, const std::string& subfolder = "") const;

  // Gives the program started next the environment variable `name` with
  // `value`, in place of any inherited value. Without it, XDG_CONFIG_HOME
  // is path("config"), so that no test writes into the real ~/.config.
  void set_env(const std::string& name, const std::string& value);

  // Starts the bridge with `args` and waits for its banner (60 s at most).
  // Returns false when the banner did not come; then console() tells why.
  bool start(const std::vector<std::string>& args = {});
  // Starts the bridge without waiting for anything (autostart mode prints
  // no banner).
  bool launch(const std::vector<std::string>& args = {});
  // Ends the bridge (SIGKILL) and waits for it.
  void stop();
  // Waits for the process to end by itself; returns its exit code, or -1
  // when it is still running after `timeout_ms`.
  int wait_exit(int timeout_ms);
  bool running();
  // Starts the program with `args` and waits for it to end by itself;
  // returns its exit code, or -1 when it is still running after
  // `timeout_ms` (it is then ended). console() holds what it wrote.
  int run(const std::vector<std::string>& args, int timeout_ms = 120000);

  int port() const { return port_; }
  pid_t pid() const { return pid_; }
  // Everything the bridge wrote to its standard output so far.
  std::string console();
  // Closes the reading end of the bridge's standard output and error, as a
  // program it was piped into would by ending: what it prints from now on
  // has no reader. console() keeps what was read before.
  void close_console();

  // One connection: sends `raw`, reads the reply until the bridge closes.
  Reply request(const std::string& raw, int timeout_ms = 120000);
  // A GET with Host and, when given, Origin and the bridge header.
  Reply get(const std::string& target, const std::string& origin = "", bool bridge_header = false);

 private:
  std::string source_;  // the program copied into dir()
  std::vector<std::pair<std::string, std::string>> env_;
  std::string dir_;
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int port_ = 0;
  int exit_code_ = -1;
  std::string console_;
  std::string wine_errors() const;
  void tell_failed_start();
};

}  // namespace e2e
