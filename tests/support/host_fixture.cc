#include "tests/support/host_fixture.h"

#include <stdlib.h>

#include <fstream>
#include <string>

#include "standin/game/allocator.h"
#include "standin/host/host.h"

void HostFixture::SetUp() {
  standin::Reset();
  standin::RegisterAllocator();
  std::string pattern =
      (std::filesystem::temp_directory_path() / "drovekeeper-test-XXXXXX").string();
#ifdef _WIN32
  ASSERT_EQ(_mktemp_s(pattern.data(), pattern.size() + 1), 0);
  ASSERT_TRUE(std::filesystem::create_directory(pattern));
#else
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
#endif
  dir_ = pattern;
  standin::SetCurrentDir(dir_.string());
  sink_ = std::make_shared<CaptureSink>();
  standin::LogSinks().push_back(sink_);
  live_blocks_at_start_ = standin::LiveBlocks();
  bad_frees_at_start_ = standin::BadFrees();
}

void HostFixture::TearDown() {
  world_.reset();
  EXPECT_EQ(standin::LiveBlocks(), live_blocks_at_start_) << "game allocator blocks leaked";
  EXPECT_EQ(standin::BadFrees(), bad_frees_at_start_) << "free of a block the game never gave";
  standin::Reset();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::filesystem::path HostFixture::ConfigPath() const {
  return dir_ / "ZelApi" / "Plugins" / "Drovekeeper" / "config.json";
}

void HostFixture::WriteConfig(std::string_view text) const {
  std::filesystem::create_directories(ConfigPath().parent_path());
  std::ofstream out(ConfigPath(), std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  ASSERT_TRUE(out.good()) << ConfigPath();
}

void HostFixture::ResetBadFreeBaseline() { bad_frees_at_start_ = standin::BadFrees(); }

standin::World& HostFixture::UseWorld(const WorldBuilder& builder) {
  world_.reset();
  world_ = builder.Build();
  world_->Install();
  return *world_;
}
