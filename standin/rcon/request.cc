#include "standin/rcon/request.h"

#include <atomic>
#include <utility>

namespace standin::rcon {

class RconReply::State {
 public:
  explicit State(std::function<void(std::optional<std::string>)> deliver)
      : deliver_(std::move(deliver)) {}
  ~State() { Finish(std::nullopt); }
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  void Finish(std::optional<std::string> reply) {
    if (done_.exchange(true) || !deliver_) return;
    deliver_(std::move(reply));
  }

 private:
  std::function<void(std::optional<std::string>)> deliver_;
  std::atomic<bool> done_{false};
};

RconReply::RconReply(std::function<void(std::optional<std::string>)> deliver)
    : state_(std::make_shared<State>(std::move(deliver))) {}

void RconReply::Send(std::string_view utf8) const {
  if (state_) state_->Finish(std::string(utf8));
}

void RconReply::Drop() const {
  if (state_) state_->Finish(std::nullopt);
}

}  // namespace standin::rcon
