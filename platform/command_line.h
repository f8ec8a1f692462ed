// Splits a command line into arguments the way the Windows C runtime does,
// so the same command-line texts work for the POSIX process runner.
#pragma once
#include <string>
#include <vector>

namespace platform {

// The program is the first token: a double-quoted text or the run up to the
// first blank. Later tokens follow the C runtime's rules: blanks separate,
// double quotes group, 2n backslashes before a quote give n backslashes and
// a grouping quote, 2n+1 give n backslashes and a literal quote, and "" inside
// a quoted run gives a literal quote.
std::vector<std::string> split_command_line(const char* line);

// Writes `text` as one double-quoted argument that split_command_line gives
// back unchanged: a '"' is written \" and the backslashes before a quote are
// doubled. False when the result does not fit in `size` bytes.
bool quote_argument(const char* text, char* out, int size);

// Writes `text` for the inside of a single-quoted PowerShell string: each
// apostrophe doubled. False when the result does not fit in `size` bytes.
bool double_apostrophes(const char* text, char* out, int size);

// Writes path `text` for a single-quoted PowerShell string given to a
// parameter that expands wildcards (Invoke-WebRequest's -OutFile): each
// '[', ']', '*', '?' and '`' gets a backtick in front so that it is taken
// literally, and each apostrophe is doubled. False when it does not fit.
bool powershell_literal_path(const char* text, char* out, int size);

}  // namespace platform
