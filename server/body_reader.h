// Reading a request's body for a route that keeps it. The server owns the
// socket: it answers "Expect: 100-continue", applies the silence rule and
// keeps the counts the request loop needs to drain what nobody read.
#pragma once
#include "server/exchange.h"

// Where a body goes; the route gives one (an image file).
class BodyWriter {
 public:
  // Takes `count` bytes; false when they could not be kept.
  virtual bool write(const char* data, int count) = 0;

 protected:
  ~BodyWriter() = default;
};

// Streams the `announced` bytes of the body into `writer`: first those that
// came with the head, then the rest from the socket in chunks of
// receive_chunk bytes. A client that waits for "100 Continue" gets it first
// (the route calls this once every check that needs no body has passed).
// Bytes read from the socket are added to ex.body_taken; a client that
// sends nothing for body_silence_ms marks ex.client_stalled, so the loop
// closes at once. True when all `announced` bytes reached the writer;
// false at the first failed receive or write.
bool receive_body(Exchange& ex, long long announced, BodyWriter& writer);
