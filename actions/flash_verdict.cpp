#include "actions/flash_verdict.h"

#include <cstring>

#include "tools/tool_contract.h"

void watch_flash_words(OutputWords& words) {
  words.watch(contract::flash_success_words);
  words.watch(contract::flash_failure_word);
}

const char* flash_verdict(const OutputWords& words) {
  const bool success = words.seen_any(contract::flash_success_words) && !words.seen(contract::flash_failure_word);
  return success ? "true" : "false";
}

const char* flash_verdict(const char* output) {
  OutputWords words;
  watch_flash_words(words);
  words.saw(output, static_cast<int>(std::strlen(output)));
  return flash_verdict(words);
}
