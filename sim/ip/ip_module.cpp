#include "sim/ip/ip_module.h"

namespace quell::sim {
namespace {

constexpr int kLastSequence = 9999;

double Ms(int64_t us) {
  return double(us) / 1000.0;
}

}  // namespace

IpModule::IpModule(IpModuleConfig config, IpStats& stats)
    : config_(std::move(config)), stats_(stats) {}

IpModule::Action IpModule::Start(int64_t nowUs) {
  startUs_ = nowUs;
  if (config_.messages == 0) {
    phase_ = Phase::Done;
    return {Action::Kind::Finish, {}};
  }
  return Connect(nowUs);
}

IpModule::Action IpModule::Connect(int64_t nowUs) {
  phase_ = Phase::Connecting;
  since_ = nowUs;
  received_.clear();
  return {Action::Kind::Connect, {}};
}

IpModule::Action IpModule::Connected(int64_t nowUs) {
  if (phase_ != Phase::Connecting) return {};
  stats_.Connected();
  phase_ = Phase::Greeting;
  since_ = nowUs;
  return {};
}

IpModule::Action IpModule::Received(std::string_view bytes, int64_t nowUs) {
  if (phase_ != Phase::Greeting && phase_ != Phase::Replying) return {};
  received_.append(bytes);
  if (phase_ == Phase::Greeting) {
    if (received_.size() < kIpGreetingSize) return {};
    stats_.Greeted(Ms(nowUs - since_));
    // Bytes past the greeting are not ours to skip: they spoil the reply.
    received_.erase(0, kIpGreetingSize);
    return NextMessage(nowUs);
  }
  const IpReply reply = ClassifyIpReply(received_, config_.keepAlive);
  switch (reply) {
    case IpReply::Incomplete:
      return {};
    case IpReply::Ack:
      return Settle(IpOutcome::Ack, nowUs, !config_.keepAlive);
    case IpReply::Nack:
      return Settle(IpOutcome::Nack, nowUs, !config_.keepAlive);
    case IpReply::Other:
      return Settle(IpOutcome::Other, nowUs, false);
  }
  return {};
}

IpModule::Action IpModule::ConnectionLost(int64_t nowUs) {
  if (phase_ == Phase::Connecting) return Settle(IpOutcome::Refused, nowUs, false);
  // Closed between two paced messages: the next one goes on a new connection.
  if (phase_ == Phase::Pacing) return Connect(nowUs);
  if (phase_ == Phase::Greeting || phase_ == Phase::Replying)
    return Settle(IpOutcome::Dropped, nowUs, false);
  return {};
}

IpModule::Action IpModule::Tick(int64_t nowUs) {
  if (phase_ == Phase::Pacing) return NextMessage(nowUs);
  const bool waiting =
      phase_ == Phase::Connecting || phase_ == Phase::Greeting || phase_ == Phase::Replying;
  if (!waiting || nowUs - since_ < int64_t(config_.timeoutMs) * 1000) return {};
  return Settle(IpOutcome::Timeout, nowUs, false);
}

IpModule::Action IpModule::NextMessage(int64_t nowUs) {
  const int64_t due = startUs_ + config_.offsetUs + int64_t(settled_) * config_.periodUs;
  if (config_.periodUs > 0 && nowUs < due) {
    phase_ = Phase::Pacing;
    return {};
  }
  return SendMessage(nowUs);
}

IpModule::Action IpModule::SendMessage(int64_t nowUs) {
  phase_ = Phase::Replying;
  since_ = nowUs;
  const int sequence = int(settled_ % kLastSequence) + 1;
  return {Action::Kind::Send, config_.keepAlive ? IpKeepAliveText(config_.fields)
                                                : IpEventText(config_.fields, sequence)};
}

IpModule::Action IpModule::Settle(IpOutcome outcome, int64_t nowUs, bool keepConnection) {
  IpResult result{config_.fields.account, int(settled_ % kLastSequence) + 1, outcome};
  if (phase_ == Phase::Replying && outcome != IpOutcome::Timeout && outcome != IpOutcome::Dropped)
    result.latencyMs = Ms(nowUs - since_);
  ++settled_;
  stats_.Record(result);
  if (settled_ >= config_.messages) {
    phase_ = Phase::Done;
    return {Action::Kind::Finish, {}};
  }
  if (keepConnection) {
    received_.clear();
    return NextMessage(nowUs);
  }
  return Connect(nowUs);
}

}  // namespace quell::sim
