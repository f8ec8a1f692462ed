// Whether fastboot's output tells of a flash or boot that worked.
#pragma once

// "true" when the output holds "OKAY", "Finished" or "finished" and not
// "FAILED"; otherwise (an empty output included) "false".
const char* flash_verdict(const char* output);
