// Start-up: run mode, listener, provisioning, banner.
#pragma once

constexpr int first_port = 9765;
constexpr int last_port = 9769;
constexpr int listen_backlog = 8;

// True when the first argument is exactly "--autostart".
bool is_autostart(int argc, const char* const* argv);

// Runs the bridge. Returns an exit code only when start-up fails.
int run_bridge(int argc, const char* const* argv);
