// GET /info against scripted stand-ins for adb and fastboot.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/e2e/bridge_harness.h"
#include "tests/support/json_check.h"

using e2e::Bridge;

namespace {

const std::string no_phone =
    "{\"ok\":false,\"error\":\"Koi phone nahi mila. ADB: USB debugging ON + phone par Allow. Ya phone Fastboot mode "
    "mein layein. Cable theek hai?\"}";

// Copies a fixture of tests/fixtures/report into the bridge's folder, where
// the tool double's "file" directive finds it by its bare name.
void stage(Bridge& bridge, const std::string& fixture, const std::string& name) {
  e2e::write_file(bridge.path(name), e2e::read_file(e2e::fixtures_dir() + "/report/" + fixture));
}

std::string row(const std::string& label, const std::string& value) { return "[\"" + label + "\",\"" + value + "\"]"; }

bool has_row(const std::string& body, const std::string& label, const std::string& value) {
  return body.find(row(label, value)) != std::string::npos;
}

// The iphonesubinfo calls of the adb log, without "-s SERIAL shell service
// call iphonesubinfo " and " com.android.shell".
std::vector<std::string> imei_calls(const Bridge& bridge) {
  std::vector<std::string> out;
  const std::string head = "service call iphonesubinfo ";
  for (const std::string& call : bridge.tool_calls("adb")) {
    size_t at = call.find(head);
    if (at == std::string::npos) continue;
    std::string rest = call.substr(at + head.size());
    out.push_back(rest.substr(0, rest.find(" com.android.shell")));
  }
  return out;
}

const std::vector<std::string> all_sixteen_calls_api29 = {"1 s16",       "3 i32 0 s16", "3 i32 1 s16", "3 i32 2 s16",
                                                          "2 i32 0 s16", "2 i32 1 s16", "2 i32 2 s16", "3 i32 0 s16",
                                                          "3 i32 1 s16", "3 i32 2 s16", "4 i32 0 s16", "4 i32 1 s16",
                                                          "4 i32 2 s16", "5 i32 0 s16", "5 i32 1 s16", "5 i32 2 s16"};

// An adb that lists one ready phone, answers getprop from getprop.txt,
// plays `imei_cases` for the service calls and prints nothing else.
std::string phone_script(const std::string& imei_cases) {
  return imei_cases +
         "match iphonesubinfo\n"
         "say Result: Parcel(00000000 ffffffff   '........')\\n\n"
         "match shell getprop\n"
         "file getprop.txt\n"
         "match devices\n"
         "say List of devices attached\\nSER1\\tdevice\\n\n"
         "match shell\n";
}

std::string imei_parcel(const std::string& digits) {
  std::string dotted;
  for (char c : digits) dotted += std::string(1, c) + ".";
  return "say Result: Parcel(\\n  0x00000000: 00000000 0000000f 00350033 '" + dotted + "')\\n\n";
}

const std::string imei_a = "352099001761481";
const std::string imei_b = "490154203237518";
const std::string imei_c = "990000862471853";

}  // namespace

TEST(Info, CompleteAdbPhoneGivesTheWholeReportByteForByte) {
  Bridge bridge;
  for (const char* name : {"getprop.txt", "battery.txt", "meminfo.txt", "df.txt", "version.txt", "account.txt",
                           "packages.txt", "imei1.txt", "imei2.txt", "imei_none.txt"})
    stage(bridge, std::string("complete/") + name, name);
  bridge.add_tool("adb", e2e::read_file(e2e::fixtures_dir() + "/report/complete/adb.script"));
  bridge.add_tool("fastboot", "match devices\nsay F9\\tfastboot\\n\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();

  auto reply = bridge.get("/info");
  EXPECT_EQ(reply.status_line, "HTTP/1.1 200 OK");
  // The report these replies give, row by row.
  const std::string expected = e2e::read_file(e2e::fixtures_dir() + "/report/complete/expected.json");
  ASSERT_NE(expected.find("85% \xC2\xB7 Good \xC2\xB7 30.5\xC2\xB0"
                          "C"),
            std::string::npos);
  EXPECT_EQ(reply.body, expected);
  EXPECT_EQ(reply.header("Content-Length"), std::to_string(expected.size()));
  EXPECT_TRUE(json_check::well_formed(reply.body));

  // Every command names the phone adb listed; the cycle count file is not
  // read when dumpsys gave a count, and fastboot is never asked.
  auto calls = bridge.tool_calls("adb");
  ASSERT_EQ(calls.size(), 20u);
  EXPECT_EQ(calls[0], "devices");
  EXPECT_EQ(calls[1], "-s RFCW90XYZ shell getprop");
  for (size_t i = 1; i < calls.size(); ++i) EXPECT_EQ(calls[i].rfind("-s RFCW90XYZ shell ", 0), 0u) << calls[i];
  EXPECT_EQ(imei_calls(bridge), (std::vector<std::string>{"1 s16", "3 i32 0 s16", "3 i32 1 s16"}));
  EXPECT_EQ(calls.back(),
            "-s RFCW90XYZ shell cat /sys/class/power_supply/battery/serial_number "
            "/sys/class/power_supply/battery/batt_serial /sys/class/power_supply/bms/serial_number 2>/dev/null");
  for (const auto& call : calls) EXPECT_EQ(call.find("cycle_count"), std::string::npos);
  EXPECT_TRUE(bridge.tool_calls("fastboot").empty());
}

// 200 KB of accounts is more than the run's buffer and the pipe hold: the
// excess is dropped, and the report is the same as with the short list.
TEST(Info, AToolOutputLargerThanItsBufferNeitherStallsNorShortensTheReport) {
  Bridge bridge;
  for (const char* name : {"getprop.txt", "battery.txt", "meminfo.txt", "df.txt", "version.txt", "account.txt",
                           "packages.txt", "imei1.txt", "imei2.txt", "imei_none.txt"})
    stage(bridge, std::string("complete/") + name, name);
  std::string script = e2e::read_file(e2e::fixtures_dir() + "/report/complete/adb.script");
  const std::string accounts = "match dumpsys account\nfile account.txt\n";
  ASSERT_NE(script.find(accounts), std::string::npos);
  script.replace(script.find(accounts), accounts.size(), accounts + "say \\n\nfill 200000\n");
  bridge.add_tool("adb", script);
  bridge.add_tool("fastboot", "match devices\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_EQ(bridge.get("/info").body, e2e::read_file(e2e::fixtures_dir() + "/report/complete/expected.json"));
  EXPECT_EQ(bridge.tool_calls("adb").size(), 20u);
}

TEST(Info, DetectionOutcomes) {
  {  // No tool lists a phone: the no-phone body, after asking both.
    Bridge bridge;
    bridge.add_tool("adb", "match devices\nsay List of devices attached\\n\\n\n");
    bridge.add_tool("fastboot", "");
    ASSERT_TRUE(bridge.start()) << bridge.console();
    auto reply = bridge.get("/info");
    EXPECT_EQ(reply.status_line, "HTTP/1.1 200 OK");
    EXPECT_EQ(reply.body, no_phone);
    EXPECT_EQ(bridge.tool_calls("fastboot"), std::vector<std::string>{"devices"});
  }
  {  // Only unauthorized and offline phones: no report on them, and the
     // user is told to allow debugging on the phone.
    Bridge bridge;
    bridge.add_tool("adb", "match devices\nsay List of devices attached\\nA1\\tunauthorized\\nB2\\toffline\\n\n");
    bridge.add_tool("fastboot", "match devices\n");
    ASSERT_TRUE(bridge.start()) << bridge.console();
    EXPECT_EQ(bridge.get("/info").body,
              "{\"ok\":false,\"error\":\"Phone mila lekin USB debugging ki ijazat nahi di. Phone par 'Allow' "
              "dabayein.\"}");
    EXPECT_EQ(bridge.tool_calls("adb"), std::vector<std::string>{"devices"});
  }
  {  // Two ready phones: the first one listed, and fastboot is not asked.
    Bridge bridge;
    bridge.add_tool("adb",
                    "match devices\nsay List of devices attached\\nX1\\tdevice\\nX2\\tdevice\\n\n"
                    "match X1 shell getprop\nsay [ro.product.model]: [First]\\n\n"
                    "match X2 shell getprop\nsay [ro.product.model]: [Second]\\n\n");
    bridge.add_tool("fastboot", "match devices\nsay F9\\tfastboot\\n\n");
    ASSERT_TRUE(bridge.start()) << bridge.console();
    auto body = bridge.get("/info").body;
    EXPECT_EQ(body,
              "{\"ok\":true,\"mode\":\"ADB\",\"fields\":[" + row("Model", "First") + "," + row("Serial", "X1") + "]}");
    for (const auto& call : bridge.tool_calls("adb")) EXPECT_EQ(call.find("X2"), std::string::npos) << call;
    EXPECT_TRUE(bridge.tool_calls("fastboot").empty());

    // A named phone: that one, or none.
    EXPECT_EQ(bridge.get("/info?serial=X2").body,
              "{\"ok\":true,\"mode\":\"ADB\",\"fields\":[" + row("Model", "Second") + "," + row("Serial", "X2") + "]}");
    EXPECT_EQ(bridge.get("/info?serial=X3").body, no_phone);
    EXPECT_EQ(bridge.get("/info?serial=X1%22").body, "{\"ok\":false,\"error\":\"serial theek nahi\"}");
    // A network serial is fastboot's, which lists no such phone.
    EXPECT_EQ(bridge.get("/info?serial=tcp%3A127.0.0.1%3A1").body,
              "{\"ok\":true,\"mode\":\"Fastboot\",\"fields\":[" + row("Serial", "tcp:127.0.0.1:1") + "]}");
    EXPECT_EQ(bridge.tool_calls("fastboot"), (std::vector<std::string>{"devices", "-s tcp:127.0.0.1:1 getvar all"}));
  }
}

TEST(Info, DevicesListsEveryPhoneWithItsModeAndState) {
  Bridge bridge;
  bridge.add_tool("adb",
                  "match devices\nsay * daemon started successfully\\nList of devices attached\\n"
                  "R58N12345\\tdevice\\nU1\\tunauthorized\\nbad serial\\tdevice\\n\n");
  // A serial that breaks the rules is listed without its bytes.
  bridge.add_tool("fastboot", "match devices\nsay 0A1B2C3D\\tfastboot\\n\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto reply = bridge.get("/devices");  // like /info, no trust needed
  EXPECT_EQ(reply.status_line, "HTTP/1.1 200 OK");
  EXPECT_EQ(reply.body,
            "{\"ok\":true,\"devices\":[{\"serial\":\"R58N12345\",\"mode\":\"ADB\",\"state\":\"device\"},"
            "{\"serial\":\"U1\",\"mode\":\"ADB\",\"state\":\"unauthorized\"},"
            "{\"serial\":\"\",\"mode\":\"ADB\",\"state\":\"device\"},"
            "{\"serial\":\"0A1B2C3D\",\"mode\":\"Fastboot\",\"state\":\"fastboot\"}]}");
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\n\\n\n");
  bridge.add_tool("fastboot", "");
  EXPECT_EQ(bridge.get("/devices").body, "{\"ok\":true,\"devices\":[]}");
}

TEST(Info, APhoneThatStopsAnsweringEndsTheReportAtTheFirstTimeOut) {
  Bridge bridge;
  bridge.add_tool("adb",
                  "match devices\nsay List of devices attached\\nH1\\tdevice\\n\n"
                  "match shell getprop\nsay [ro.product.model]: [Hung]\\n\nmatch dumpsys account\nhang\n"
                  "match shell\nsay x\\n\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto body = bridge.get("/info").body;
  EXPECT_TRUE(json_check::well_formed(body)) << body;
  EXPECT_EQ(body.rfind("{\"ok\":true,\"mode\":\"ADB\",\"fields\":[" + row("Model", "Hung"), 0), 0u) << body;
  // Nothing runs after the call that hung.
  auto calls = bridge.tool_calls("adb");
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back(), "-s H1 shell dumpsys account");
}

TEST(Info, FastbootPhoneReportsTheTenVariables) {
  Bridge bridge;
  stage(bridge, "pixel-7-pro-getvar.txt", "getvar.txt");
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\nA1\\toffline\\n\n");
  bridge.add_tool("fastboot",
                  "match getvar all\nfile getvar.txt\n"
                  "match devices\nsay 28191FDH300AZK\\tfastboot\\n\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto reply = bridge.get("/info");
  EXPECT_EQ(reply.body, "{\"ok\":true,\"mode\":\"Fastboot\",\"fields\":[" + row("Product / Model", "cheetah") + "," +
                            row("Variant", "N/A") + "," + row("Bootloader version", "cloudripper-15.1-12292122") + "," +
                            row("Baseband", "g5300q-240919-241106-B-12612898") + "," + row("Serial", "28191FDH300AZK") +
                            "," + row("Secure", "yes") + "," + row("Unlocked", "yes") + "," + row("Slot count", "2") +
                            "," + row("Current slot", "a") + "," + row("Battery voltage", "4055 mV") + "]}");
  EXPECT_EQ(bridge.tool_calls("fastboot"), (std::vector<std::string>{"devices", "-s 28191FDH300AZK getvar all"}));
}

TEST(Info, FastbootRowsThatOverflowTheListAreLeftOutWhole) {
  Bridge bridge;
  // Ten values of 255 double quotes: each escapes to 510 bytes, so the
  // 4,096-byte list cannot hold them all.
  std::string getvar;
  for (const char* name : {"product", "variant", "version-bootloader", "version-baseband", "serialno", "secure",
                           "unlocked", "slot-count", "current-slot", "battery-voltage"})
    getvar += std::string("(bootloader) ") + name + ":" + std::string(255, '"') + "\n";
  e2e::write_file(bridge.path("getvar.txt"), getvar);
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\n\n");
  bridge.add_tool("fastboot", "match getvar all\nfile getvar.txt\nmatch devices\nsay F9 fastboot\\n\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto body = bridge.get("/info").body;
  EXPECT_TRUE(json_check::well_formed(body)) << body;
  EXPECT_NE(body.find("Product / Model"), std::string::npos);
  EXPECT_EQ(body.find("Battery voltage"), std::string::npos);
}

TEST(Info, AFastbootThatNeverAnswersEndsAtItsTimeOut) {
  Bridge bridge;
  bridge.add_tool("adb", "match devices\nsay List of devices attached\\n\n");
  bridge.add_tool("fastboot", "match getvar all\nhang\nmatch devices\nsay F9\\tfastboot\\n\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  auto reply = bridge.get("/info");
  EXPECT_EQ(reply.body, "{\"ok\":true,\"mode\":\"Fastboot\",\"fields\":[" + row("Serial", "F9") + "]}");
  // The bridge serves the next request afterwards.
  EXPECT_EQ(bridge.get("/ping").status_line, "HTTP/1.1 200 OK");
}

TEST(Info, ImeiCallSequence) {
  {  // API 28: calls 2 to 4 use code 2; two numbers after call 3 stop it.
    Bridge bridge;
    e2e::write_file(bridge.path("getprop.txt"), "[ro.build.version.sdk]: [28]\n[ril.gsm.imei]: [" + imei_c + "]\n");
    bridge.add_tool(
        "adb", phone_script("match iphonesubinfo 1 s16\n" + imei_parcel(imei_a) + "match iphonesubinfo 2 i32 0 s16\n" +
                            imei_parcel(imei_a) + "match iphonesubinfo 2 i32 1 s16\n" + imei_parcel(imei_b)));
    ASSERT_TRUE(bridge.start()) << bridge.console();
    auto body = bridge.get("/info").body;
    EXPECT_EQ(imei_calls(bridge), (std::vector<std::string>{"1 s16", "2 i32 0 s16", "2 i32 1 s16"}));
    EXPECT_TRUE(has_row(body, "IMEI 1", imei_a)) << body;
    EXPECT_TRUE(has_row(body, "IMEI 2", imei_b)) << body;
    EXPECT_EQ(body.find("IMEI 3"), std::string::npos);
  }
  {  // API 29 and no number anywhere: all sixteen calls, code 3 first, no row.
    Bridge bridge;
    e2e::write_file(bridge.path("getprop.txt"), "[ro.build.version.sdk]: [29]\n");
    bridge.add_tool("adb", phone_script(""));
    ASSERT_TRUE(bridge.start()) << bridge.console();
    auto body = bridge.get("/info").body;
    EXPECT_EQ(imei_calls(bridge), all_sixteen_calls_api29);
    EXPECT_EQ(body.find("IMEI"), std::string::npos);
  }
  {  // One number from the last call: one row, the properties are not read.
    Bridge bridge;
    e2e::write_file(bridge.path("getprop.txt"), "[ro.build.version.sdk]: [33]\n[ril.gsm.imei]: [" + imei_b + "]\n");
    bridge.add_tool("adb", phone_script("match iphonesubinfo 5 i32 2 s16\n" + imei_parcel(imei_a)));
    ASSERT_TRUE(bridge.start()) << bridge.console();
    auto body = bridge.get("/info").body;
    EXPECT_EQ(imei_calls(bridge).size(), 16u);
    EXPECT_TRUE(has_row(body, "IMEI 1", imei_a)) << body;
    EXPECT_EQ(body.find(imei_b), std::string::npos);
  }
  {  // The second number at call 4: the sequence stops there.
    Bridge bridge;
    e2e::write_file(bridge.path("getprop.txt"), "[ro.build.version.sdk]: [34]\n");
    bridge.add_tool("adb", phone_script("match iphonesubinfo 1 s16\n" + imei_parcel(imei_a) +
                                        "match iphonesubinfo 3 i32 2 s16\n" + imei_parcel(imei_b)));
    ASSERT_TRUE(bridge.start()) << bridge.console();
    bridge.get("/info");
    EXPECT_EQ(imei_calls(bridge), (std::vector<std::string>{"1 s16", "3 i32 0 s16", "3 i32 1 s16", "3 i32 2 s16"}));
  }
  {  // Nothing from the calls: the properties, de-duplicated across names.
    Bridge bridge;
    e2e::write_file(bridge.path("getprop.txt"), "[persist.radio.imei]: [" + imei_b + "]\n[ril.gsm.imei]: [" + imei_a +
                                                    "," + imei_b + "]\n[ro.build.version.sdk]: [30]\n");
    bridge.add_tool("adb", phone_script(""));
    ASSERT_TRUE(bridge.start()) << bridge.console();
    auto body = bridge.get("/info").body;
    EXPECT_EQ(imei_calls(bridge).size(), 16u);
    EXPECT_TRUE(has_row(body, "IMEI 1", imei_a) && has_row(body, "IMEI 2", imei_b)) << body;
    EXPECT_EQ(body.find("IMEI 3"), std::string::npos);
  }
}

TEST(Info, RealGetpropDumpsGiveWellFormedReports) {
  struct Dump {
    const char* file;
    std::vector<std::pair<std::string, std::string>> rows;
  };
  const std::vector<Dump> dumps = {
      {"oneplus-nord-n10-be2028-getprop.txt",
       {{"Model", "BE2028"},
        {"Serial", "90241ad3"},
        {"Android version", "11 (API 30)"},
        {"Bootloader locked", "Locked"},
        {"Timezone", "America/Los_Angeles"}}},
      {"infinix-x670-mt6781-getprop.txt",
       {{"Brand / Manufacturer", "INFINIX"},
        {"Model", "Infinix X670"},
        {"SoC model", "MT6781V/CDZAMB-H"},
        {"OEM unlocking", "Not allowed"}}},
      // 66,382 bytes: past the old 64 KiB cap.
      {"redmi-note11s-fleur-crdroid-getprop.txt",
       {{"Model", "miel"},
        {"Serial", "4HQG4XDQEILJ95NV"},
        {"Chipset / Platform", "mt6781"},
        {"ro.secure / adb.secure", "1 / 0"},
        {"Timezone", "Asia/Ho_Chi_Minh"}}},
      {"poco-f6-peridot-crdroid-getprop.txt",
       {{"Brand / Manufacturer", "Xiaomi"}, {"Android version", "15 (API 35)"}, {"SoC model", "SM8635"}}},
      // Saved as UTF-16LE: no "[name]: [" bytes to find, only the phone's serial.
      {"samsung-sm-s936b-getprop-utf16le-crlf.txt", {{"Serial", "REALDEV"}}},
  };
  for (const Dump& dump : dumps) {
    Bridge bridge;
    stage(bridge, dump.file, "getprop.txt");
    bridge.add_tool("adb",
                    "match shell getprop\nfile getprop.txt\n"
                    "match devices\nsay List of devices attached\\nREALDEV\\tdevice\\n\n");
    ASSERT_TRUE(bridge.start()) << bridge.console();
    auto body = bridge.get("/info").body;
    EXPECT_TRUE(json_check::well_formed(body)) << dump.file;
    for (const auto& r : dump.rows) EXPECT_TRUE(has_row(body, r.first, r.second)) << dump.file << ": " << r.first;
  }
}

TEST(Info, APropertyPrintedPastSixtyFourKibibytesIsReported) {
  Bridge bridge;
  std::string getprop;
  for (int i = 0; getprop.size() < 150 * 1024; ++i)
    getprop += "[persist.vendor.filler." + std::to_string(i) + "]: [value number " + std::to_string(i) + "]\n";
  getprop += "[ro.product.model]: [LateModel]\n";
  e2e::write_file(bridge.path("getprop.txt"), getprop);
  bridge.add_tool("adb",
                  "match shell getprop\nfile getprop.txt\n"
                  "match devices\nsay List of devices attached\\nBIG1\\tdevice\\n\n");
  ASSERT_TRUE(bridge.start()) << bridge.console();
  EXPECT_TRUE(has_row(bridge.get("/info").body, "Model", "LateModel"));
}
