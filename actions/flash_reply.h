// The reply of the flashing routes (POST /flash, POST /boot, GET /flashurl)
// and the fastboot run they share: the phone, the image check, the run and
// its verdict.
#pragma once
#include "actions/image_check.h"
#include "http/exchange.h"
#include "http/progress_stream.h"
#include "tools/process_runner.h"

class TempImage;

constexpr int flash_body_size = 65536;

// Whether fastboot's output tells of a flash or boot that worked.
// Makes `words` watch for the words the verdict needs.
void watch_flash_words(OutputWords& words);

// True when the whole output held "OKAY", "Finished" or "finished" and
// not "FAILED"; otherwise (an empty output included) false. `words` must
// have been given to watch_flash_words.
bool flash_verdict(const OutputWords& words);

// The same over a text, every byte up to its NUL.
bool flash_verdict(const char* output);

// Formats {"ok":FLASHED,"partition":"SHOWN","log":"LOG"} into `body`
// (`size` bytes), the log being `output` escaped and cut so that the whole
// body, closing characters included, fits; the bridge's own lines from
// `notes_at` on (see JudgedRun) are kept whole. Returns the body's length.
int format_flash_body(bool flashed, const char* shown_partition, const char* output, char* body, int size,
                      int notes_at = -1);

// Formats the refusal of an image of `kind` for `partition` (a checked
// name; null for POST /boot), which needs `need`, into `body` (`size`
// bytes). Returns the body's length.
int format_wrong_image_body(ImageKind kind, ImageNeed need, const char* partition, char* body, int size);

// Makes sure fastboot is there (it may be downloaded first; when it still
// is not, sends the fastboot-missing refusal and returns false) and chooses
// the phone in Fastboot mode that the request names, or the only one listed.
// Writes fastboot's path (tool_path_size bytes) and the serial; when no
// phone can be chosen, sends the reason and returns false.
bool fetch_fastboot_and_choose_phone_or_refuse(Exchange& ex, char* fastboot, char* serial);

// Flashes the image to `partition` (or boots from it when `partition` is
// null) on phone `serial`, deletes the image and ends the reply on
// `stream`. A file that is plainly no image, or not of the kind the
// partition takes, is refused, and fastboot is not run. When the stream is
// on, the run is told as it goes: the image received (its bytes), fastboot
// preparing, then each step fastboot prints (FlashProgress).
void flash_image_and_reply(const char* fastboot, const char* serial, const char* partition, TempImage& image,
                           ProgressStream& stream);
