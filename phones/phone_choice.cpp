#include "phones/phone_choice.h"

#include <cstdlib>
#include <cstring>

#include "http/reply_texts.h"
#include "http/request_values.h"
#include "tools/limits.h"
#include "tools/scratch.h"

namespace {

// The "devices" output choose_phone reads.
struct ChoiceBuffers {
  static constexpr char name[] = "phone choice";
  char output[devices_output_size];
};
Scratch<ChoiceBuffers> choice_scratch;

// Enough encoded characters that any longer value decodes to more than
// serial_cap characters (each decoded character takes at most three).
constexpr int serial_query_cap = 3 * serial_cap + 1;

// True when decide_phone needs the tool's list: always but for a bad
// serial and a fastboot network serial, which fastboot never lists.
bool needs_phone_list(ToolKind kind, SerialRequest asked, const char* serial) {
  if (asked == SerialRequest::bad) return false;
  return !(asked == SerialRequest::given && kind == ToolKind::fastboot && is_network_serial(serial));
}

}  // namespace

SerialRequest requested_serial(const char* named, const char* environment, char* serial) {
  serial[0] = '\0';
  if (named != nullptr) {
    if (!is_valid_serial(named)) return SerialRequest::bad;
    copy_serial(named, serial);
    return SerialRequest::given;
  }
  if (environment != nullptr && is_valid_serial(environment)) {
    copy_serial(environment, serial);
    return SerialRequest::given;
  }
  return SerialRequest::none;
}

SerialRequest serial_in_request(const char* request, char* serial) {
  char raw[serial_query_cap + 1] = {};
  if (!query_value(request, "serial", raw, serial_query_cap)) {
    return requested_serial(nullptr, std::getenv("ANDROID_SERIAL"), serial);
  }
  char decoded[url_decoded_size];
  const int decoded_length = url_decode(raw, decoded);
  // An encoded NUL would hide the bytes after it from the serial rule.
  if (std::strlen(decoded) != static_cast<size_t>(decoded_length)) {
    serial[0] = '\0';
    return SerialRequest::bad;
  }
  return requested_serial(decoded, std::getenv("ANDROID_SERIAL"), serial);
}

PhoneChoice decide_phone(ToolKind kind, SerialRequest asked, const char* listed_output, char* serial) {
  if (asked == SerialRequest::bad) return PhoneChoice::bad_serial;
  if (!needs_phone_list(kind, asked, serial)) return PhoneChoice::chosen;
  PhoneList list;
  if (kind == ToolKind::adb) {
    parse_adb_devices(listed_output, list);
  } else {
    parse_fastboot_devices(listed_output, list);
  }
  if (asked == SerialRequest::given) {
    const ListedPhone* phone = find_phone(list, serial);
    if (phone != nullptr && phone->duplicate) return PhoneChoice::duplicate;
    if (phone != nullptr || kind == ToolKind::adb) return PhoneChoice::chosen;
    return PhoneChoice::no_phone;
  }

  // The ready phones; unusable serials count too: naming no phone must not
  // pick one of two.
  int count = 0;
  const ListedPhone* first = nullptr;
  bool one_serial = true;  // every candidate is the first one's serial, listed again
  for (int i = 0; i < list.count; ++i) {
    const ListedPhone& phone = list.phones[i];
    if (!is_ready(list, phone)) continue;
    ++count;
    if (first == nullptr) first = &phone;
    if (!phone.duplicate || std::strcmp(phone.serial, first->serial) != 0) one_serial = false;
  }
  if (kind == ToolKind::fastboot && list.total > count) {
    count = list.total;
    one_serial = false;
  }
  if (count > 1) return one_serial ? PhoneChoice::duplicate : PhoneChoice::several;
  if (first == nullptr || !is_usable(*first)) return PhoneChoice::no_phone;
  // The only ready line may share its serial with a line that is not
  // ready: "-s" could still reach that other phone.
  if (first->duplicate) return PhoneChoice::duplicate;
  copy_serial(first->serial, serial);
  return PhoneChoice::chosen;
}

PhoneChoice choose_phone(ToolKind kind, const char* tool_path, SerialRequest asked, char* serial) {
  ScratchHold<ChoiceBuffers> scratch(choice_scratch);
  auto& output = scratch->output;
  output[0] = '\0';
  if (needs_phone_list(kind, asked, serial) && list_devices(tool_path, output) == RunEnd::not_started) {
    return PhoneChoice::tool_missing;
  }
  return decide_phone(kind, asked, output, serial);
}

const char* phone_choice_body(ToolKind kind, PhoneChoice choice) {
  switch (choice) {
    case PhoneChoice::bad_serial:
      return bad_serial_body;
    case PhoneChoice::several:
      return several_phones_body;
    case PhoneChoice::duplicate:
      return duplicate_serial_body;
    case PhoneChoice::no_phone:
    case PhoneChoice::tool_missing:
    case PhoneChoice::chosen:
      break;
  }
  return kind == ToolKind::adb ? no_adb_phone_body : no_fastboot_phone_body;
}
