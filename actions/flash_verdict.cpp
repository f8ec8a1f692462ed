#include "actions/flash_verdict.h"

#include <cstring>

#include "tools/tool_contract.h"

const char* flash_verdict(const char* output) {
  bool success = false;
  for (const char* word : contract::flash_success_words) {
    if (std::strstr(output, word) != nullptr) success = true;
  }
  if (std::strstr(output, contract::flash_failure_word) != nullptr) success = false;
  return success ? "true" : "false";
}
