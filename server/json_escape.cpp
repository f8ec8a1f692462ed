#include "server/json_escape.h"

void json_escape(const char* in, char* out, int limit) {
  int o = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(in); *p != 0 && o < limit; ++p) {
    char escaped = 0;
    switch (*p) {
      case '\t':
        escaped = 't';
        break;
      case '\n':
        escaped = 'n';
        break;
      case '"':
        escaped = '"';
        break;
      case '\\':
        escaped = '\\';
        break;
      default:
        if (*p >= 0x20) out[o++] = static_cast<char>(*p);
        continue;
    }
    // An escape that no longer fits is dropped; a later plain byte may
    // still take the last place.
    if (o + 2 <= limit) {
      out[o++] = '\\';
      out[o++] = escaped;
    }
  }
  out[o] = '\0';
}
