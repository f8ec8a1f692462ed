// Up to four IMEI numbers: asked of the phone's iphonesubinfo service in a
// fixed call sequence, else taken from six system properties.
#pragma once

constexpr int imei_slots = 4;

struct ImeiList {
  char slots[imei_slots][20];  // 14 or 15 digits each, filled in order
  int count;
};

// The digits inside the single-quoted segments of a service call reply
// (quotes paired in order), at most 63, into `candidate` (64 bytes).
void quoted_digits(const char* reply, char* candidate);

// The Luhn test over a digit text, its last digit in the check place.
bool passes_luhn(const char* digits);

// Cuts `candidate` to 15 digits and adds it to `list` when it has 14 or 15
// digits, passes the Luhn test, is not there yet and a slot is free.
void offer_imei(const char* candidate, ImeiList& list);

// Runs one service call (transaction `code`, `slot` or nullptr for none)
// and offers the number its reply carries. Runs nothing once four are held.
void read_imei(const char* adb, const char* serial, const char* code, const char* slot, ImeiList& list);

// The property fallback: every token of the IMEI properties, in order.
void imeis_from_properties(const char* getprop_text, ImeiList& list);

// The whole IMEI step: the call sequence, then the property fallback when
// the calls found nothing. `list` is reset first.
void read_imeis(const char* adb, const char* serial, const char* getprop_text, int api_level, ImeiList& list);
