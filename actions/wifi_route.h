// GET /wifi-<action>: what the wireless-debugging route accepts from the
// page, how it reads adb's answer, and the route.
#pragma once
#include "http/exchange.h"
#include "tools/process_runner.h"

constexpr int wifi_action_cap = 15;
constexpr int wifi_ip_cap = 79;
constexpr int wifi_port_cap = 15;
constexpr int wifi_code_cap = 15;

// The bytes after "GET /wifi-" up to NUL, '?' or space, at most 15, into
// `out` (16 bytes).
void wifi_action_word(const char* request, char* out);

// 1 to 61 characters, each an ASCII letter, digit, '-' or '.'.
bool is_valid_wifi_host(const char* ip);
// 1 to 5 decimal digits; no range check.
bool is_valid_wifi_port(const char* port);
// 1 to 6 decimal digits.
bool is_valid_pairing_code(const char* code);

// Watches for the words wifi_verdict needs.
void watch_wifi_words(OutputWords& words);

// True when adb's whole output held a success word and no failure word.
bool wifi_verdict(const OutputWords& words);

// The same over a text, every byte up to its NUL.
bool wifi_verdict(const char* output);

// GET /wifi-<action>: wireless debugging pair, connect, disconnect, mdns.
void handle_wifi(Exchange& ex);
