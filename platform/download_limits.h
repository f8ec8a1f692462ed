// The limits every download command line gets, so that no server (nor the
// bridge itself, reached by another name) holds a download for ever.
#pragma once

namespace platform {

// curl gives up on a connection not made within 30 s and on a transfer
// (the wait for the reply included) that moves less than 1 byte/s for 60 s.
constexpr char curl_download_limits[] = "--connect-timeout 30 --speed-limit 1 --speed-time 60";

// Windows PowerShell's Invoke-WebRequest: -TimeoutSec bounds the connection
// and the wait for the reply's head; a body that stalls is ended by .NET's
// read time-out (HttpWebRequest.ReadWriteTimeout, 5 minutes without data).
constexpr char powershell_download_limits[] = "-TimeoutSec 60";

}  // namespace platform
