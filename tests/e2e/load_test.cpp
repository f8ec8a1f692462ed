// Many clients: a long run of sequential requests and a burst of parallel
// connections. Every accepted connection gets its whole reply, and the
// bridge holds no more open files afterwards than before.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/bridge_harness.h"

using e2e::Bridge;

namespace {

const std::string kPing =
    "{\"ok\":true,\"name\":\"Talvik Web Bridge\",\"version\":\"1.0.0\",\"adb\":false,\"fastboot\":false}";

// Open descriptors of process `pid`; -1 when they cannot be counted (a
// Windows bridge under Wine has none of its own in /proc).
int open_fds(pid_t pid) {
  if (e2e::under_wine()) return -1;
  DIR* dir = ::opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (dir == nullptr) return -1;
  int count = 0;
  while (dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  ::closedir(dir);
  return count;
}

enum class Outcome { answered, refused, cut };

// One /ping on its own connection.
Outcome ping_once(int port, std::string* body) {
  int fd = e2e::connect_loopback(port);
  if (fd < 0) return Outcome::refused;
  const std::string request = "GET /ping HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n";
  bool sent = e2e::send_bytes(fd, request);
  e2e::Reply reply = e2e::parse_reply(e2e::read_until_close(fd, 60000));
  ::close(fd);
  *body = reply.body;
  const bool whole = sent && reply.status_line == "HTTP/1.1 200 OK" && reply.body == kPing &&
                     reply.header("Content-Length") == std::to_string(kPing.size());
  return whole ? Outcome::answered : Outcome::cut;
}

class Load : public ::testing::Test {
 protected:
  void SetUp() override {
    // A search path without the system's adb and fastboot, which would
    // otherwise count as found.
    if (!e2e::under_wine()) bridge.set_env("PATH", bridge.dir());
    ASSERT_TRUE(bridge.start()) << bridge.console();
    std::string body;
    ASSERT_EQ(ping_once(bridge.port(), &body), Outcome::answered) << body;
    fds_before = open_fds(bridge.pid());
  }

  void TearDown() override {
    if (fds_before < 0) return;
    // The bridge closes a connection before the client sees the end of it.
    EXPECT_EQ(open_fds(bridge.pid()), fds_before) << "descriptors left open";
  }

  Bridge bridge;
  int fds_before = -1;
};

}  // namespace

TEST_F(Load, TenThousandSequentialPings) {
  const int count = 10000;
  int failed = 0;
  std::string body;
  std::string first_failure;
  for (int i = 0; i < count; ++i) {
    if (ping_once(bridge.port(), &body) != Outcome::answered) {
      if (failed++ == 0) first_failure = "request " + std::to_string(i) + ": " + body;
    }
  }
  EXPECT_EQ(failed, 0) << first_failure;
}

TEST_F(Load, BurstOfFiftyParallelConnections) {
  constexpr int clients = 50;
  std::atomic<int> ready{0};
  std::vector<Outcome> outcomes(clients, Outcome::cut);
  std::vector<std::string> bodies(clients);
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&, i] {
      // All connect at once, as far as threads allow.
      ++ready;
      while (ready.load() < clients) std::this_thread::yield();
      outcomes[i] = ping_once(bridge.port(), &bodies[i]);
    });
  }
  for (std::thread& t : threads) t.join();

  int answered = 0;
  int refused = 0;
  for (int i = 0; i < clients; ++i) {
    if (outcomes[i] == Outcome::answered) ++answered;
    if (outcomes[i] == Outcome::refused) ++refused;
    // Refusal is the backlog's answer; a connection once accepted must be served whole.
    EXPECT_NE(outcomes[i], Outcome::cut) << "client " << i << " got: " << bodies[i];
  }
  std::printf("burst: %d of %d answered, %d refused by a full backlog\n", answered, clients, refused);
  EXPECT_GT(answered, 0);
  std::string body;
  EXPECT_EQ(ping_once(bridge.port(), &body), Outcome::answered) << body;
}
