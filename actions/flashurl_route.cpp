#include "actions/flashurl_route.h"

#include "server/framing.h"

// Not served yet: answers like an unknown route.
void handle_flashurl(Exchange& ex) { send_unknown(ex.socket, ex.reply_origin); }
