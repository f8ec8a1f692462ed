#include "server/phone_choice_reply.h"

#include "server/reply_texts.h"

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
