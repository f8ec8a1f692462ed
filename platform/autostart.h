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

constexpr int logon_where_size = 4096;  // Linux's longest path

// What write_logon_entry did, for the banner to say.
struct LogonWritten {
  bool written = false;               // the entry is in place
  bool read_at_logon = false;         // where the user's log-on reads entries
  char where[logon_where_size] = "";  // elsewhere: the entry's file; Windows: empty
};

// Writes (or rewrites) the entry so that logging on starts the program
// with the argument, and says whether it did. Nothing is ever removed.
//
// Windows: the REG_SZ value `run_value` under the current user's key
// Software\Microsoft\Windows\CurrentVersion\Run, with the data
// "\"program\" argument" (the stored length counts the NUL). The key is
// opened, never created.
//
// Elsewhere: the XDG autostart entry <config>/autostart/`desktop_file`,
// where <config> is $XDG_CONFIG_HOME when that is an absolute path, else
// $HOME/.config; missing folders are made. Its Exec line runs the quoted
// program with the argument. The folder counts as read at log-on when it
// lies inside the home folder of the user's account (the system's user
// list, not $HOME): a run with HOME or XDG_CONFIG_HOME pointed elsewhere
// (a demo, a test) writes an entry no log-on reads.
LogonWritten write_logon_entry(const LogonEntry& entry);

// Writes the banner's lines about the entry. Windows: that the bridge
// starts with Windows from now on (the Run value is written to every
// profile's own key). Elsewhere: the entry's file, and whether the user's
// log-in starts the bridge, or that no entry could be written.
void write_logon_lines(const LogonWritten& written);

#ifndef _WIN32
// True when `path` is `folder` or lies inside it, comparing the names as
// written (no links are followed). Used and tested here only.
bool inside_folder(const char* path, const char* folder);
#endif

}  // namespace platform
