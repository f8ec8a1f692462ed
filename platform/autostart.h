// The current user's log-on entry: what starts a program when the user logs on.
#pragma once

namespace platform {

struct LogonEntry {
  const char* run_value;     // Windows: the name of the Run value
  const char* desktop_file;  // elsewhere: the desktop entry's file name
  const char* title;         // elsewhere: the desktop entry's Name
  const char* program;       // the full path of the program to start
  const char* argument;      // its one argument
};

// Writes (or rewrites) the entry so that logging on starts the program
// with the argument. Silent on every failure; nothing is ever removed.
//
// Windows: the REG_SZ value `run_value` under the current user's key
// Software\Microsoft\Windows\CurrentVersion\Run, with the data
// "\"program\" argument" (the stored length counts the NUL). The key is
// opened, never created.
//
// Elsewhere: the XDG autostart entry <config>/autostart/`desktop_file`,
// where <config> is $XDG_CONFIG_HOME when that is an absolute path, else
// $HOME/.config; missing folders are made. Its Exec line runs the quoted
// program with the argument.
void write_logon_entry(const LogonEntry& entry);

// The banner's line that says when the bridge will start by itself: with
// Windows there, with the user's log-in elsewhere.
extern const char logon_start_line[];

}  // namespace platform
