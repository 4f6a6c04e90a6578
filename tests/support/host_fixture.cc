#include "tests/support/host_fixture.h"

#include "plugin/log.h"
#include "plugin/registry.h"

namespace {

constexpr char kConfigName[] = "ZelApi/Plugins/Drovekeeper/config.json";

}  // namespace

HostFixture::HostFixture() { drovekeeper::plugin::ResetPluginState(); }

void HostFixture::SetUp() {
  root_.emplace();
  dir_ = root_->path();
  sink_ = std::make_shared<CaptureSink>();
  session_.emplace(root_->path(), sink_);
  drovekeeper::plugin::CreatePluginLogger();
}

void HostFixture::TearDown() {
  world_.reset();
  EXPECT_EQ(session_->LeakedBlocks(), 0) << "game allocator blocks leaked";
  EXPECT_EQ(session_->NewBadFrees(), 0u) << "free of a block the game never gave";
  session_.reset();
  drovekeeper::plugin::ResetPluginState();
  root_.reset();
}

std::filesystem::path HostFixture::ConfigPath() const { return dir_ / kConfigName; }

void HostFixture::WriteConfig(std::string_view text) const { root_->Write(kConfigName, text); }

standin::game::World& HostFixture::UseWorld(const WorldBuilder& builder) {
  world_.reset();
  world_ = builder.Build();
  world_->Install();
  return *world_;
}
