#pragma once
// The metrics of one program: its refresh tick hands the feed what it holds at the end
// of every tick, and the feed keeps the snapshot, the exposition text and the ways out
// (text file, HTTP endpoint) that the settings switch on.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "frontend/MetricsOutput.h"
#include "frontend/MetricsServer.h"
#include "frontend/MetricsSnapshot.h"

class SharedReceiverState;

class MetricsFeed {
 public:
  // Lines to say (a port in use, a file that cannot be written), one each.
  using Reporter = std::function<void(const std::string& line)>;

  // Switches on what `config` names; off what it leaves empty. Problems are said and the
  // program goes on without that way out.
  void Configure(const MetricsConfig& config, Reporter report);
  // At the end of a refresh tick.
  void Tick(const RefreshCycle& refresh, const VarnexSettings& settings, const SharedReceiverState& state,
            TDateTime now);

  MetricsRecorder& Recorder() { return recorder_; }
  const MetricsSnapshot& Snapshot() const { return recorder_.Snapshot(); }
  const std::string& Text() const { return text_; }
  // The endpoint's port, 0 when it does not serve.
  int ListenPort() const { return server_ && server_->Running() ? server_->Port() : 0; }
  bool Active() const { return server_ || file_; }

 private:
  Reporter report_;
  MetricsRecorder recorder_;
  std::unique_ptr<MetricsServer> server_;
  std::unique_ptr<MetricsFile> file_;
  std::optional<MetricsSnapshot> rendered_;
  std::string text_;
};
