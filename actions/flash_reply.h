// The reply of the flashing routes (POST /flash, POST /boot, GET /flashurl)
// and the fastboot run they share.
#pragma once
#include "server/exchange.h"

class TempImage;

constexpr int flash_body_size = 65536;

// Formats {"ok":VERDICT,"partition":"SHOWN","log":"LOG"} into `body`
// (`size` bytes), the log being `output` escaped and cut so that the whole
// body, closing characters included, fits. Returns the body's length.
int format_flash_body(const char* verdict, const char* shown_partition, const char* output, char* body, int size);

// Makes sure fastboot is there, flashes the image to `partition` (or boots
// from it when `partition` is null), deletes the image and sends the reply.
void flash_image_and_reply(Exchange& ex, const char* partition, TempImage& image);
