#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/download_command.h"
#include "platform/command_line.h"

namespace {

std::vector<std::string> curl_args(const char* url, const char* file = "/opt/bridge/_bridge_flash.tmp") {
  char line[4096];
  EXPECT_TRUE(format_curl_download(url, file, line, sizeof line));
  return platform::split_command_line(line);
}

}  // namespace

TEST(ImageUrl, PassesOnlyPrintableAsciiHttpWithoutQuotes) {
  for (const char* url : {"http://a/b.img", "https://example.com/x.img?a=1&b=2", "http://a/b c.img", "httpx",
                          "http://a/b\\", "https://host/$(calc)`;|&<>%"}) {
    EXPECT_TRUE(is_safe_image_url(url)) << url;
  }
  for (const char* url : {"", "htt", "HTTPS://a/b", "ftp://a/b", " http://a", "http://a/'+(calc)+'", "http://a/\"&calc",
                          "http://a/\x91"
                          "calc"
                          "\x92",
                          "http://a/\x7f", "http://a/\n", "http://a/\t", "http://a/\xc3\xa9"}) {
    EXPECT_FALSE(is_safe_image_url(url)) << url;
  }
}

TEST(DownloadCommand, PowerShellLineIsExactAndQuotesThePathSafely) {
  char line[4096];
  ASSERT_TRUE(format_powershell_download("https://h/x.img", "C:\\Tools\\_bridge_flash.tmp", line, sizeof line));
  EXPECT_STREQ(
      line,
      "powershell -NoProfile -ExecutionPolicy Bypass -Command \"$ProgressPreference='SilentlyContinue';"
      "$ErrorActionPreference='Stop';[Net.ServicePointManager]::SecurityProtocol=[Net.SecurityProtocolType]"
      "::Tls12;$u='https://h/x.img';$r=Invoke-WebRequest -UseBasicParsing -TimeoutSec 60 -MaximumRedirection 0 "
      "-Uri $u -OutFile 'C:\\Tools\\_bridge_flash.tmp' -PassThru;if($r.StatusCode -ge 300 -and $r.StatusCode "
      "-lt 400){[Console]::Out.Write([char]10+'talvik-redirect:'+(New-Object Uri -ArgumentList ([Uri]$u),"
      "([string]$r.Headers['Location'])).AbsoluteUri+[char]10)}\"");
  ASSERT_TRUE(format_powershell_download("http://h/x", "C:\\Ali's tools\\_bridge_flash.tmp", line, sizeof line));
  EXPECT_NE(std::string(line).find("-OutFile 'C:\\Ali''s tools\\_bridge_flash.tmp' -PassThru;"), std::string::npos);
  // -OutFile expands wildcards: brackets (and the escape character itself)
  // must reach it escaped, or a folder such as "Tools [v2]" breaks the download.
  ASSERT_TRUE(format_powershell_download("http://h/x", "C:\\T [v2]`*?\\_bridge_flash.tmp", line, sizeof line));
  EXPECT_NE(std::string(line).find("-OutFile 'C:\\T `[v2`]```*`?\\_bridge_flash.tmp' -PassThru;"), std::string::npos)
      << line;
  // The script stays one argument of PowerShell.
  auto args = platform::split_command_line(line);
  ASSERT_EQ(args.size(), 6u);
  EXPECT_EQ(args[5].substr(args[5].size() - 4), "10)}");
}

TEST(DownloadCommand, CurlGetsTheUrlAsOneArgument) {
  auto args = curl_args("http://127.0.0.1:8/a b.img?x=1&y=2");
  std::vector<std::string> expected = {"curl",
                                       "-f",
                                       "-g",
                                       "-s",
                                       "-S",
                                       "--proto",
                                       "=http,https",
                                       "--connect-timeout",
                                       "30",
                                       "--speed-limit",
                                       "1",
                                       "--speed-time",
                                       "60",
                                       "--max-filesize",
                                       "2147483648",
                                       "-o",
                                       "/opt/bridge/_bridge_flash.tmp",
                                       "-w",
                                       "\\ntalvik-redirect:%{redirect_url}\\n",
                                       "http://127.0.0.1:8/a b.img?x=1&y=2"};
  EXPECT_EQ(args, expected);
  // Backslashes before the closing quote must not swallow it.
  EXPECT_EQ(curl_args("http://a/b\\").back(), "http://a/b\\");
  EXPECT_EQ(curl_args("http://a/b\\\\").back(), "http://a/b\\\\");
  EXPECT_EQ(curl_args("http://a/\\b").back(), "http://a/\\b");
  EXPECT_EQ(curl_args("http://a/ -o /etc/x").size(), 20u);
}

TEST(DownloadCommand, RefusesWhatCannotBeWrittenWhole) {
  char line[4096];
  EXPECT_FALSE(format_curl_download("http://a", "/odd\"dir/_bridge_flash.tmp", line, sizeof line));
  const std::string long_url = "http://" + std::string(4100, 'a');
  EXPECT_FALSE(format_curl_download(long_url.c_str(), "/x", line, sizeof line));
  EXPECT_FALSE(format_powershell_download(long_url.c_str(), "C:\\x", line, sizeof line));
}

TEST(DownloadCommand, DownloaderErrorsAreRecognised) {
  EXPECT_TRUE(download_reported_error("curl: (18) transfer closed with 1000 bytes remaining to read\n"));
  EXPECT_TRUE(download_reported_error("curl: (22) The requested URL returned error: 404\n"));
  EXPECT_TRUE(download_reported_error(
      "Invoke-WebRequest : Unable to connect to the remote server\r\n    + FullyQualifiedErrorId : "
      "WebCmdletWebResponseException,Microsoft.PowerShell.Commands.InvokeWebRequestCommand\r\n"));
  EXPECT_FALSE(download_reported_error(""));
}

TEST(DownloadCommand, CurlsRedirectLineIsTakenOutOfTheLog) {
  char output[256] = "\ntalvik-redirect:https://cdn.example.com/boot.img\n";
  char next[64];
  EXPECT_TRUE(take_redirect(output, next, sizeof next));
  EXPECT_STREQ(next, "https://cdn.example.com/boot.img");
  EXPECT_STREQ(output, "");

  // No redirect: the line is empty after its colon, and curl's error stays.
  char failed[256] = "curl: (22) The requested URL returned error: 404\n\ntalvik-redirect:\n";
  EXPECT_FALSE(take_redirect(failed, next, sizeof next));
  EXPECT_STREQ(next, "");
  EXPECT_STREQ(failed, "curl: (22) The requested URL returned error: 404\n");

  // An address too long to keep is a redirect with no address to follow.
  char too_long[256] = "\ntalvik-redirect:http://example.com/a-very-long-path-that-does-not-fit-in-next\n";
  char small[16];
  EXPECT_TRUE(take_redirect(too_long, small, sizeof small));
  EXPECT_STREQ(small, "");
  // PowerShell prints no such line.
  char powershell[64] = "Invoke-WebRequest : error\r\n";
  EXPECT_FALSE(take_redirect(powershell, next, sizeof next));
}
