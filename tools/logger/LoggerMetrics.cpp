// varnex-logger's metrics: the ways out from [Metrics] of Varnex.ini, or from the
// command line over it, and the snapshot at the end of every tick.
#include "HeadlessLogger.h"
#include "frontend/BigIni.h"
#include "frontend/StatusLog.h"
#include "platform/Clock.h"

void HeadlessLogger::ConfigureMetrics() {
  MetricsConfig config = ini_ ? ReadMetricsConfig(*ini_) : MetricsConfig{};
  if (MetricsFileOverride) config.File = *MetricsFileOverride;
  if (MetricsListenOverride) config.Listen = *MetricsListenOverride;
  // A reload with the same settings keeps the endpoint and its connections; one that
  // could not listen (a port in use) tries again.
  if (metricsConfig_ && metricsConfig_->File == config.File && metricsConfig_->Listen == config.Listen &&
      (config.Listen.empty() || metrics_.ListenPort() != 0))
    return;
  metricsConfig_ = config;
  metrics_.Configure(config, [this](const std::string& line) { Say(LogLine(clock_.UtcNow(), line)); });
  if (!config.File.empty()) Say(LogLine(clock_.UtcNow(), "Metrics written to " + config.File));
}

void HeadlessLogger::TickMetrics() { metrics_.Tick(refresh_, settings_, state_, clock_.UtcNow()); }
