#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "actions/temp_image.h"
#include "platform/files.h"

namespace {

std::string name_for(int port) {
  char name[32];
  temp_image_name(port, name, sizeof name);
  return name;
}

}  // namespace

TEST(TempImage, EachRunningCopyHasItsOwnFile) {
  EXPECT_EQ(name_for(9765), "_bridge_flash.tmp");
  EXPECT_EQ(name_for(9766), "_bridge_flash_9766.tmp");
  EXPECT_NE(name_for(9767), name_for(9768));
}

TEST(TempImage, FileIsGoneWhenTheOwnerIs) {
  std::string path;
  {
    TempImage image(9769);
    ASSERT_TRUE(image.usable());
    path = image.path();
    ImageWriter writer;
    ASSERT_TRUE(writer.open(image.path()));
    ASSERT_TRUE(writer.write("abc", 3));
    ASSERT_TRUE(writer.finish());
    EXPECT_TRUE(platform::is_present_file(path.c_str()));
  }
  EXPECT_FALSE(platform::is_present_file(path.c_str()));
}

#ifndef _WIN32
TEST(TempImage, AFullDiskIsAFailedWrite) {
  ImageWriter writer;
  ASSERT_TRUE(writer.open("/dev/full"));
  std::string chunk(65536, 'x');
  bool ok = writer.write(chunk.data(), static_cast<int>(chunk.size()));
  // Buffered bytes may only fail when they are flushed at close.
  EXPECT_FALSE(ok && writer.finish());
}
#endif
