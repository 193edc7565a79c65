#include "frontend/MetricsFeed.h"

#include "frontend/MetricsText.h"
#include "link/SharedReceiverState.h"

void MetricsFeed::Configure(const MetricsConfig& config, Reporter report) {
  report_ = std::move(report);
  auto say = [this](const std::string& line) {
    if (report_) report_(line);
  };
  server_.reset();
  file_.reset();
  rendered_.reset();
  if (!config.Listen.empty()) {
    ListenAddress address;
    std::string why;
    auto server = std::make_unique<MetricsServer>();
    if (!ParseListen(config.Listen, address, &why) || !server->Start(address, &why)) {
      say("Metrics are not served: " + why);
    } else {
      server_ = std::move(server);
      server_->Publish(text_);  // what the last tick knew, until the next one
      say("Metrics served at http://" +
          (address.Host.find(':') != std::string::npos ? "[" + address.Host + "]" : address.Host) + ":" +
          std::to_string(server_->Port()) + "/metrics");
    }
  }
  if (!config.File.empty()) file_ = std::make_unique<MetricsFile>(config.File);
}

void MetricsFeed::Tick(const RefreshCycle& refresh, const VarnexSettings& settings, const SharedReceiverState& state,
                       TDateTime now) {
  const MetricsSnapshot& snapshot = recorder_.Update(refresh, settings, state.Value(ReceiverValue::Idn), now);
  if (!rendered_ || !(*rendered_ == snapshot)) {
    rendered_ = snapshot;
    WriteExposition(snapshot, text_);
    if (server_) server_->Publish(text_);
  }
  if (file_) {
    if (auto line = file_->Offer(text_, now); line && report_) report_(*line);
  }
}
