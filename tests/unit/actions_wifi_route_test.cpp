#include <gtest/gtest.h>

#include <string>

#include "actions/wifi_route.h"

namespace {

std::string action_of(const char* request) {
  char out[wifi_action_cap + 1];
  wifi_action_word(request, out);
  return out;
}

}  // namespace

TEST(WifiRules, ActionWordEndsAtQueryOrSpaceAndIsCut) {
  EXPECT_EQ(action_of("GET /wifi-pair?ip=1 HTTP/1.1\r\n"), "pair");
  EXPECT_EQ(action_of("GET /wifi-mdns HTTP/1.1\r\n"), "mdns");
  EXPECT_EQ(action_of("GET /wifi-"), "");
  EXPECT_EQ(action_of("GET /wifi-disconnectdisconnect HTTP/1.1"), "disconnectdisco");
}

TEST(WifiRules, HostRule) {
  EXPECT_TRUE(is_valid_wifi_host("192.168.1.20"));
  EXPECT_TRUE(is_valid_wifi_host("My-Phone.local"));
  EXPECT_TRUE(is_valid_wifi_host(std::string(61, 'a').c_str()));
  EXPECT_FALSE(is_valid_wifi_host(std::string(62, 'a').c_str()));
  for (const char* ip : {"", "fe80::1", "a_b", "a%20b", "a b", "1.2.3.4;x", "a\"b"}) {
    EXPECT_FALSE(is_valid_wifi_host(ip)) << ip;
  }
}

TEST(WifiRules, PortAndCodeAreShortDigitRuns) {
  for (const char* port : {"0", "5555", "37123", "99999"}) EXPECT_TRUE(is_valid_wifi_port(port)) << port;
  for (const char* port : {"", "123456", "37a23", "-1", " 1"}) EXPECT_FALSE(is_valid_wifi_port(port)) << port;
  for (const char* code : {"1", "123456"}) EXPECT_TRUE(is_valid_pairing_code(code)) << code;
  for (const char* code : {"", "1234567", "12a4"}) EXPECT_FALSE(is_valid_pairing_code(code)) << code;
}

TEST(WifiRules, VerdictOnRealAdbOutputs) {
  EXPECT_FALSE(wifi_verdict("failed to connect to '127.0.0.1:1': Connection refused\n"));
  EXPECT_TRUE(wifi_verdict("disconnected everything\n"));
  EXPECT_FALSE(wifi_verdict("adb: unknown command pair\n"));
  EXPECT_TRUE(wifi_verdict("Successfully paired to 192.168.1.20:37123 [guid=adb-XXXX]\n"));
  EXPECT_TRUE(wifi_verdict("already connected to 192.168.1.20:5555\n"));
  EXPECT_FALSE(wifi_verdict("connected but error\n"));
  EXPECT_FALSE(wifi_verdict("Failed"));
  EXPECT_FALSE(wifi_verdict(""));
}
