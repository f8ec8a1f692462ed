// Whether fastboot's output tells of a flash or boot that worked.
#pragma once
#include "tools/process_runner.h"

// Makes `words` watch for the words the verdict needs.
void watch_flash_words(OutputWords& words);

// "true" when the whole output held "OKAY", "Finished" or "finished" and
// not "FAILED"; otherwise (an empty output included) "false". `words` must
// have been given to watch_flash_words.
const char* flash_verdict(const OutputWords& words);

// The same over a text, every byte up to its NUL.
const char* flash_verdict(const char* output);
