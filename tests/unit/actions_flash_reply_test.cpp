#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "actions/flash_reply.h"
#include "tests/support/json_check.h"

namespace {

// Real fastboot outputs (copies of tests/fixtures/actions/*.txt).
constexpr char ok_nothing[] =
    "Sending 'featenabler_a' (104 KB)                   OKAY [  0.003s]\n"
    "Writing 'featenabler_a'                            OKAY [  0.003s]\n"
    "Finished. Total time: 0.013s\n";
constexpr char ok_pixel[] =
    "Warning: skip copying radio_a image avb footer (radio_a partition size: 0, radio_a image size: 191828108).\n"
    "Sending 'radio_a' (187332 KB)                      OKAY [  0.467s]\n"
    "Writing 'radio_a'                                  (bootloader) Flashing pack version "
    "g5400c-241205-250127-M-12971716\n"
    "(bootloader) Flashing partition modem_a\n"
    "OKAY [  0.231s]\n"
    "Finished. Total time: 0.712s\n";
constexpr char fail_nexus[] =
    "Sending 'boot' (12302 KB)                          OKAY [  0.578s]\n"
    "Writing 'boot'                                     FAILED (remote: 'not supported in locked device')\n"
    "fastboot: error: Command failed";
constexpr char fail_oneplus_crlf[] =
    "Sending 'recovery' (20880 KB)                      OKAY [  0.490s]\r\n"
    "Writing 'recovery'                                 FAILED (remote: 'Partition flashing is not allowed')\r\n"
    "fastboot: error: Command failed";

std::string body_of(bool flashed, const char* shown, const std::string& output, int size = flash_body_size) {
  std::string body(static_cast<size_t>(size), '\xAA');
  int n = format_flash_body(flashed, shown, output.c_str(), &body[0], size);
  EXPECT_EQ(static_cast<size_t>(n), std::strlen(body.c_str()));
  body.resize(static_cast<size_t>(n));
  return body;
}

}  // namespace

TEST(FlashVerdict, ReadsRealFastbootOutputs) {
  const std::string ok1 = ok_nothing;
  const std::string ok2 = ok_pixel;
  const std::string fail1 = fail_nexus;
  const std::string fail2 = fail_oneplus_crlf;
  ASSERT_FALSE(ok1.empty());
  EXPECT_TRUE(flash_verdict(ok1.c_str()));
  EXPECT_TRUE(flash_verdict(ok2.c_str()));
  // Both failures sent the image first ("OKAY") and then failed to write it.
  EXPECT_FALSE(flash_verdict(fail1.c_str()));
  EXPECT_FALSE(flash_verdict(fail2.c_str()));
}

TEST(FlashVerdict, NeedsASuccessWordAndNoFailure) {
  EXPECT_FALSE(flash_verdict(""));
  EXPECT_TRUE(flash_verdict("Finished. Total time: 1.234s\r\n"));
  EXPECT_TRUE(flash_verdict("finished"));
  EXPECT_FALSE(flash_verdict("okay Failed"));
  EXPECT_FALSE(flash_verdict("fastboot: error: cannot load 'x': No such file or directory\n"));
  EXPECT_FALSE(flash_verdict("< waiting for any device >\n"));
}

TEST(FlashBody, CarriesVerdictPartitionAndEscapedLog) {
  const std::string crlf = fail_oneplus_crlf;
  std::string body = body_of(false, "recovery", crlf);
  EXPECT_EQ(body.rfind("{\"ok\":false,\"partition\":\"recovery\",\"log\":\"Sending 'recovery'", 0), 0u);
  EXPECT_EQ(body.find('\r'), std::string::npos);
  EXPECT_NE(body.find("OKAY [  0.490s]\\nWriting"), std::string::npos);
  EXPECT_EQ(body.substr(body.size() - 2), "\"}");
  EXPECT_EQ(body_of(true, "(boot)", "OKAY\n"), "{\"ok\":true,\"partition\":\"(boot)\",\"log\":\"OKAY\\n\"}");
}

TEST(FlashBody, StaysWellFormedWhenTheLogFillsTheBuffer) {
  // 65,535 quotes would escape to twice the buffer; the body must still close.
  const std::string quotes(65535, '"');
  const std::string name(63, 'p');
  for (const std::string& output : {quotes, std::string(65535, 'x'), std::string(65534, 'x') + "\\"}) {
    std::string body = body_of(false, name.c_str(), output);
    EXPECT_LE(body.size(), static_cast<size_t>(flash_body_size - 1));
    EXPECT_EQ(body.substr(body.size() - 2), "\"}");
    // The log part must not end on half an escape.
    size_t log_start = body.find("\"log\":\"") + 7;
    std::string log = body.substr(log_start, body.size() - 2 - log_start);
    size_t trailing = 0;
    while (trailing < log.size() && log[log.size() - 1 - trailing] == '\\') ++trailing;
    EXPECT_EQ(trailing % 2, 0u);
  }
}

TEST(FlashBody, LogIsValidUtf8WhateverTheToolPrinted) {
  // Stray bytes, and a three-byte character cut by the log limit.
  EXPECT_EQ(body_of(false, "boot", "a\xFF\xFE b \xE2\x80\x94 c\xE2\x80"),
            "{\"ok\":false,\"partition\":\"boot\",\"log\":\"a b \xE2\x80\x94 c\"}");
  const std::string dashes = [] {
    std::string s;
    while (s.size() < 70000) s += "\xE2\x80\x94";
    return s;
  }();
  for (int size : {flash_body_size, flash_body_size - 1, flash_body_size - 2}) {
    EXPECT_TRUE(json_check::well_formed(body_of(true, "boot", dashes, size))) << size;
  }
}

TEST(WrongImageBody, NamesTheKindFoundAndTheKindTaken) {
  char body[256];
  auto body_of = [&](ImageHeader header, bool sparse, ImageNeed need, const char* partition) {
    ImageKind kind;
    kind.header = header;
    kind.sparse = sparse;
    const int n = format_wrong_image_body(kind, need, partition, body, sizeof body);
    EXPECT_EQ(n, static_cast<int>(std::strlen(body)));
    EXPECT_TRUE(json_check::well_formed(std::string(body, static_cast<size_t>(n)))) << body;
    return std::string(body);
  };
  EXPECT_EQ(body_of(ImageHeader::vendor_boot, false, ImageNeed::boot, "boot"),
            "{\"ok\":false,\"error\":\"Ye file vendor_boot image (VNDRBOOT) hai, magar boot partition ko boot image "
            "(ANDROID!) chahiye.\"}");
  EXPECT_EQ(body_of(ImageHeader::boot, false, ImageNeed::vendor_boot, "Vendor_Boot_a"),
            "{\"ok\":false,\"error\":\"Ye file boot image (ANDROID!) hai, magar Vendor_Boot_a partition ko vendor_boot "
            "image (VNDRBOOT) chahiye.\"}");
  EXPECT_EQ(body_of(ImageHeader::none, true, ImageNeed::boot, "init_boot"),
            "{\"ok\":false,\"error\":\"Ye file sparse image (andar boot header nahi) hai, magar init_boot partition ko "
            "boot image (ANDROID!) chahiye.\"}");
  EXPECT_EQ(body_of(ImageHeader::elf, false, ImageNeed::vendor_boot, "vendor_boot"),
            "{\"ok\":false,\"error\":\"Ye file ELF image hai, magar vendor_boot partition ko vendor_boot image "
            "(VNDRBOOT) chahiye.\"}");
  EXPECT_EQ(body_of(ImageHeader::none, false, ImageNeed::boot, "recovery_b"),
            "{\"ok\":false,\"error\":\"Ye file boot header ke baghair hai, magar recovery_b partition ko boot image "
            "(ANDROID!) chahiye.\"}");
  // POST /boot names no partition.
  EXPECT_EQ(body_of(ImageHeader::boot, true, ImageNeed::boot_run, nullptr),
            "{\"ok\":false,\"error\":\"Ye file sparse boot image (ANDROID!) hai, magar boot karne ke liye seedhi "
            "(sparse nahi) boot image (ANDROID!) chahiye.\"}");
  // The longest words with the longest valid name still fit whole.
  const std::string name(41, 'v');
  EXPECT_EQ(body_of(ImageHeader::none, true, ImageNeed::vendor_boot, name.c_str()),
            "{\"ok\":false,\"error\":\"Ye file sparse image (andar boot header nahi) hai, magar " + name +
                " partition ko vendor_boot image (VNDRBOOT) chahiye.\"}");
}
