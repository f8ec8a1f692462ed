#include "report/imei_reader.h"

#include <cstdio>
#include <cstring>

#include "report/getprop.h"
#include "tools/limits.h"
#include "tools/process_runner.h"
#include "tools/scratch.h"
#include "tools/tool_contract.h"

namespace {

constexpr int call_digit_cap = 63;
constexpr int token_digit_cap = 31;

// One iphonesubinfo call's parcel.
struct ImeiBuffers {
  static constexpr char name[] = "IMEI reader";
  char output[imei_call_output_size];
};
Scratch<ImeiBuffers> imei_scratch;

const char* const imei_properties[] = {"ril.gsm.imei", "persist.radio.imei", "persist.radio.imei1",
                                       "gsm.imei",     "ril.imei",           "ro.ril.oem.imei"};

// Appends the digits of bytes [from, to) to `digits` (holding `*count`),
// stopping at `cap`.
void append_digits(const char* from, const char* to, char* digits, int* count, int cap) {
  for (const char* p = from; p < to && *count < cap; ++p) {
    if (*p >= '0' && *p <= '9') digits[(*count)++] = *p;
  }
  digits[*count] = '\0';
}

bool already_held(const char* candidate, const ImeiList& list) {
  for (int i = 0; i < list.count; ++i) {
    if (std::strcmp(list.slots[i], candidate) == 0) return true;
  }
  return false;
}

}  // namespace

void quoted_digits(const char* reply, char* candidate) {
  int count = 0;
  candidate[0] = '\0';
  const char* open = std::strchr(reply, '\'');
  while (open != nullptr) {
    const char* close = std::strchr(open + 1, '\'');
    if (close == nullptr) break;
    if (close > open + 1) append_digits(open + 1, close, candidate, &count, call_digit_cap);
    open = std::strchr(close + 1, '\'');
  }
}

bool passes_luhn(const char* digits) {
  int sum = 0;
  int position = 1;
  for (int i = static_cast<int>(std::strlen(digits)) - 1; i >= 0; --i, ++position) {
    int d = digits[i] - '0';
    if (position % 2 == 1)
      sum += d;
    else
      sum += d < 5 ? 2 * d : 2 * d - 9;
  }
  return sum % 10 == 0;
}

void offer_imei(const char* candidate, ImeiList& list) {
  if (list.count >= imei_slots) return;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%s", candidate);
  size_t len = std::strlen(digits);
  if (len < 14 || len > 15) return;
  if (!passes_luhn(digits) || already_held(digits, list)) return;
  std::memset(list.slots[list.count], 0, sizeof list.slots[0]);
  std::memcpy(list.slots[list.count], digits, len);
  ++list.count;
}

void read_imei(const char* adb, const char* serial, const char* code, const char* slot, ImeiList& list) {
  if (list.count >= imei_slots) return;
  char command[imei_command_size];
  if (slot == nullptr)
    std::snprintf(command, sizeof command, contract::imei_cmd, adb, serial, code);
  else
    std::snprintf(command, sizeof command, contract::imei_slot_cmd, adb, serial, code, slot);
  ScratchHold<ImeiBuffers> scratch(imei_scratch);
  run_tool(command, scratch->output, sizeof scratch->output, quick_run_timeout_ms);  // the text alone is read
  char candidate[call_digit_cap + 1];
  quoted_digits(scratch->output, candidate);
  offer_imei(candidate, list);
}

void imeis_from_properties(const char* getprop_text, ImeiList& list) {
  for (const char* name : imei_properties) {
    char value[128];
    getprop_value(getprop_text, name, value, sizeof value - 1);
    const char* p = value;
    while (*p != '\0' && list.count < imei_slots) {
      size_t len = std::strcspn(p, ",;");
      if (len > 0) {
        char digits[token_digit_cap + 1];
        int count = 0;
        append_digits(p, p + len, digits, &count, token_digit_cap);
        offer_imei(digits, list);
      }
      p += len;
      if (*p != '\0') ++p;
    }
  }
}

void read_imeis(const char* adb, const char* serial, const char* getprop_text, int api_level, ImeiList& list) {
  std::memset(&list, 0, sizeof list);
  const char* first_code = api_level >= 29 ? "3" : "2";
  struct Call {
    const char* code;
    const char* slot;
    int enough;  // stop once this many are held; 0: go on
  };
  const Call calls[] = {
      {"1", nullptr, 0}, {first_code, "0", 0}, {first_code, "1", 2}, {first_code, "2", 2}, {"2", "0", 2}, {"2", "1", 2},
      {"2", "2", 2},     {"3", "0", 2},        {"3", "1", 2},        {"3", "2", 2},        {"4", "0", 2}, {"4", "1", 2},
      {"4", "2", 2},     {"5", "0", 2},        {"5", "1", 2},        {"5", "2", 1},
  };
  for (const Call& call : calls) {
    read_imei(adb, serial, call.code, call.slot, list);
    if (call.enough > 0 && list.count >= call.enough) return;
  }
  imeis_from_properties(getprop_text, list);
}
