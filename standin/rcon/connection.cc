#include "standin/rcon/connection.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace standin::rcon::internal {

using Clock = std::chrono::steady_clock;
using asio::ip::tcp;

Connection::Connection(ConnectionOwner& owner, tcp::socket socket)
    : owner_(owner),
      socket_(std::move(socket)),
      protocol_(owner.options().password, owner.options().max_auth_failures),
      idle_timer_(owner.io()),
      auth_timer_(owner.io()),
      linger_timer_(owner.io()) {
  std::error_code ec;
  const tcp::endpoint remote = socket_.remote_endpoint(ec);
  if (!ec) {
    address_ = remote.address().to_string();
    peer_ = address_ + ":" + std::to_string(remote.port());
  }
}

void Connection::Start() {
  ArmIdleTimer();
  StartRead();
}

void Connection::OnReply(std::uint64_t slot, std::optional<std::string> reply) {
  if (closed_ || closing_) return;
  Apply(reply ? protocol_.Complete(slot, *reply) : protocol_.Abandon(slot));
  Pump();
}

void Connection::Close(std::string_view reason) {
  if (closed_) return;
  closed_ = true;
  std::error_code ec;
  idle_timer_.cancel();
  auth_timer_.cancel();
  linger_timer_.cancel();
  socket_.close(ec);
  if (!reason.empty()) {
    owner_.Report(RconEvent{RconEvent::Kind::kConnectionDropped, peer_, std::string(reason)});
  }
  owner_.Forget(shared_from_this());
}

void Connection::StartRead() {
  if (reading_ || closed_) return;
  reading_ = true;
  socket_.async_read_some(
      asio::buffer(read_buffer_),
      [self = shared_from_this()](std::error_code ec, std::size_t n) { self->OnRead(ec, n); });
}

void Connection::OnRead(std::error_code ec, std::size_t n) {
  reading_ = false;
  if (closed_) return;
  if (closing_) {
    // Draining what the peer still sends, so closing does not reset the
    // connection before it has read our last packets.
    if (!ec) {
      StartRead();
    } else if (!writing_) {
      Close();
    } else {
      peer_done_ = true;
    }
    return;
  }
  if (ec) {
    Close();  // the peer hung up or the connection broke: not ours to report
    return;
  }
  ArmIdleTimer();
  std::vector<Packet> packets;
  if (const DecodeError error = decoder_.Feed(std::string_view(read_buffer_.data(), n), &packets);
      error != DecodeError::kNone) {
    Close(std::string("bad frame (") + DecodeErrorName(error) + ")");
    return;
  }
  for (Packet& packet : packets) inbox_.push_back(std::move(packet));
  Pump();
}

void Connection::Pump() {
  while (!inbox_.empty() && !closed_ && !closing_ && !waiting_auth_delay_) {
    const Packet& packet = inbox_.front();
    if (packet.type == kTypeAuth && !auth_delay_served_) {
      const Clock::duration delay = owner_.throttle().Delay(address_);
      if (delay > Clock::duration::zero()) {
        waiting_auth_delay_ = true;
        auth_timer_.expires_after(delay);
        auth_timer_.async_wait([self = shared_from_this()](std::error_code ec) {
          if (ec || self->closed_) return;
          self->waiting_auth_delay_ = false;
          self->auth_delay_served_ = true;
          self->Pump();
        });
        return;
      }
    }
    if (packet.type == kTypeExecCommand && protocol_.authenticated() &&
        protocol_.outstanding_commands() >= owner_.options().max_outstanding_commands) {
      return;  // resumed by OnReply
    }
    auth_delay_served_ = false;
    ProtocolStep step = protocol_.OnPacket(packet);
    inbox_.pop_front();
    Apply(std::move(step));
  }
  if (inbox_.empty() && !closed_ && !closing_) StartRead();
}

void Connection::Apply(ProtocolStep step) {
  if (step.auth_failed) {
    owner_.throttle().RecordFailure(address_);
    owner_.Report(RconEvent{RconEvent::Kind::kLoginRefused, peer_,
                            step.close ? "wrong password, connection closed" : "wrong password"});
  } else if (step.close) {
    owner_.Report(
        RconEvent{RconEvent::Kind::kConnectionDropped, peer_, "a request before logging in"});
  }
  for (CommandRequest& command : step.commands)
    owner_.Submit(shared_from_this(), std::move(command));
  for (const Packet& packet : step.send) {
    AppendPacket(packet, &unsent_);
    if (unsent_.size() + in_flight_.size() > owner_.options().max_write_queue_bytes) {
      Close("not reading its replies");
      return;
    }
  }
  if (step.close) BeginClose();
  Write();
}

void Connection::Write() {
  if (writing_ || closed_) return;
  if (unsent_.empty()) {
    if (closing_) FinishClose();
    return;
  }
  writing_ = true;
  in_flight_.swap(unsent_);
  asio::async_write(socket_, asio::buffer(in_flight_),
                    [self = shared_from_this()](std::error_code ec, std::size_t) {
                      self->writing_ = false;
                      self->in_flight_.clear();
                      if (self->closed_) return;
                      if (ec) {
                        self->Close();
                        return;
                      }
                      self->Write();
                    });
}

void Connection::BeginClose() {
  closing_ = true;
  inbox_.clear();
  idle_timer_.cancel();
  auth_timer_.cancel();
}

void Connection::FinishClose() {
  if (peer_done_) {
    Close();
    return;
  }
  std::error_code ec;
  socket_.shutdown(tcp::socket::shutdown_send, ec);
  linger_timer_.expires_after(std::min<Clock::duration>(kMaxLinger, owner_.options().idle_timeout));
  linger_timer_.async_wait([self = shared_from_this()](std::error_code wait_ec) {
    if (!wait_ec) self->Close();
  });
  StartRead();
}

void Connection::ArmIdleTimer() {
  const std::uint64_t generation = ++idle_generation_;
  idle_timer_.expires_after(owner_.options().idle_timeout);
  idle_timer_.async_wait([self = shared_from_this(), generation](std::error_code ec) {
    if (ec || self->closed_ || self->closing_ || generation != self->idle_generation_) return;
    // An authenticated client may sit idle between commands; a stalled
    // frame or a connection that never logs in only holds a slot.
    if (self->waiting_auth_delay_) {
      self->ArmIdleTimer();
    } else if (self->decoder_.mid_frame()) {
      self->Close("stalled in the middle of a frame");
    } else if (!self->protocol_.authenticated()) {
      self->Close("never logged in");
    }
  });
}

}  // namespace standin::rcon::internal
