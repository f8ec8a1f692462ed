// The console the bridge was started from.
#pragma once

namespace platform {

// Autostart mode: lets go of the console so no window stays open (Windows),
// or points the standard streams at /dev/null (elsewhere).
void release_console();

// From now on a write to the console, or to a connection, whose reader has
// gone fails (the writer sees an error) instead of ending the bridge: POSIX
// systems end a process with SIGPIPE for it unless it is ignored, as here;
// the tools the bridge starts get the usual handling back. Nothing to do on
// Windows, where such a write only fails.
void survive_lost_readers();

// Waits for one character on standard input (Enter in a console).
void wait_for_key();

// Makes the console show the banner's UTF-8 text as written (Windows
// consoles start with an OEM code page): sets the console's output code
// page to UTF-8 and puts the old one back when the bridge ends by itself
// or by Ctrl+C, Ctrl+Break or closing. Nothing to do elsewhere.
void use_utf8_output();

// Writes `text` and a line end to standard output with its bytes unchanged,
// after what the C library still holds. For text that is not ASCII: on
// Windows the C runtime may turn console output through its own locale,
// which would undo the UTF-8 code page.
void write_line_as_is(const char* text);

// The console's output code page; 0 where there is none or no such thing.
unsigned output_code_page();

// The page address the banner names in place of the site's, or nullptr.
// Elsewhere than Windows: TALVIK_PAGE_URL, set by the script that serves
// the page beside the bridge, when it is an http:// or https:// address of
// at most 200 printable ASCII characters without spaces. Windows: always
// nullptr (its banner names the site).
const char* served_page_address();

// The banner's line that says how to stop the bridge: closing its window
// on Windows, Ctrl+C in the terminal elsewhere.
extern const char console_close_line[];

}  // namespace platform
