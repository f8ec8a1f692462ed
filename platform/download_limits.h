// The limits every download command line gets, so that no server (nor the
// bridge itself, reached by another name) holds a download for ever.
#pragma once

namespace platform {

// curl gives up on a connection not made within 30 s and on a transfer
// (the wait for the reply included) that moves less than 1 byte/s for 60 s.
constexpr char curl_download_limits[] = "--connect-timeout 30 --speed-limit 1 --speed-time 60";
// An image download does not start when its announced size is over 2 GiB
// (the largest upload too); the bridge checks the file's size as well, for
// a reply that announced none.
constexpr char curl_image_size_limit[] = "--max-filesize 2147483648";
// curl's words for a file over --max-filesize.
constexpr char curl_too_big_words[] = "curl: (63)";

// Windows PowerShell's Invoke-WebRequest: -TimeoutSec bounds the connection
// and the wait for the reply's head; a body that stalls is ended by .NET's
// read time-out (HttpWebRequest.ReadWriteTimeout, 5 minutes without data).
constexpr char powershell_download_limits[] = "-TimeoutSec 60";

}  // namespace platform
