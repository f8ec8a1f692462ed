// Looking up one property in the text that "getprop" printed.
#pragma once
#include "tools/limits.h"

// Finds the first "[name]: [" in `text` and copies what follows up to the
// next "]" (which may lie on a later line) into `dest`, at most `cap`
// characters and a NUL. `dest` is emptied first and stays empty when the
// pattern or the closing "]" is missing.
void getprop_value(const char* text, const char* name, char* dest, int cap);

// getprop_value of `first`, and of `second` when the first gave nothing.
void getprop_chain(const char* text, const char* first, const char* second, char* dest, int cap);
