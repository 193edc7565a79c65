#pragma once
// What a Prometheus server may learn of the receiver: a snapshot built at the end of
// every refresh tick from what the refresh rules already hold (the receiver is never
// asked for more). A value that was never read, or not read since the link came back,
// is absent rather than 0 or old.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/DateTime.h"

class RefreshCycle;
struct VarnexSettings;

struct SatelliteLevel {
  std::int32_t Prn = 0;
  std::int32_t CN = 0;  // dB-Hz
  bool operator==(const SatelliteLevel&) const = default;
};

struct MetricsSnapshot {
  // From "*IDN?": maker, model, serial number, firmware (fields 1 to 4, comma-separated).
  bool Identified = false;
  std::string Maker, Model, Serial, Firmware;

  // Absent in the program's first LinkTimeoutSeconds unless a status screen came: not
  // known yet, so a start does not look like a lost link.
  std::optional<bool> LinkUp;
  std::uint64_t LinkLost = 0;
  std::uint64_t PollCycles = 0;  // poll cycles that brought a status screen
  std::uint64_t DataLines = 0;
  std::uint64_t FileWriteFailures = 0;
  std::uint64_t ReceiverErrors = 0;

  // Present only while the link is up and the value was read since it came up.
  std::optional<double> PpsTiSeconds;
  std::optional<double> Efc;            // receiver units
  std::optional<double> EfcFractional;  // Efc x EfcMantissa x 10^EfcExponent
  std::optional<double> HoldoverUncertaintySeconds;
  std::optional<std::int32_t> Visible, Tracked;
  std::optional<std::uint8_t> Status;  // SmartClock status code
  std::vector<SatelliteLevel> Levels;  // tracked now, from the latest status screen
  // Unix time of the cycle that read the latest status screen; kept when the link is down.
  std::optional<double> LastStatusUnixSeconds;

  bool operator==(const MetricsSnapshot&) const = default;
};

// Splits an identification answer into its four fields; missing ones stay empty.
void SplitIdentification(const std::string& idn, MetricsSnapshot& out);

// Keeps what a snapshot needs across ticks: the link's state, the counters and the
// moment the link last came up. Runs on the thread that runs the refresh tick.
class MetricsRecorder {
 public:
  // Status screens come every 10 s, a slow one some 20 s after its cycle began; a link
  // quiet for longer than this is down.
  static constexpr double LinkTimeoutSeconds = 45.0;

  // A line reached the data file.
  void DataLineWritten() { ++dataLines_; }
  // A line could not be written to one of the program's files.
  void WriteFailed() { ++writeFailures_; }

  // At the end of a tick: `idn` is the latest identification answer (empty when the
  // receiver did not answer it), `now` the clock's UTC time.
  const MetricsSnapshot& Update(const RefreshCycle& refresh, const VarnexSettings& settings, const std::string& idn,
                                TDateTime now);
  const MetricsSnapshot& Snapshot() const { return snapshot_; }

 private:
  MetricsSnapshot snapshot_;
  std::string idn_;
  TDateTime lastScreen_ = 0.0;    // cycle stamp of the latest status screen seen
  TDateTime screenSeenAt_ = 0.0;  // when the tick saw it
  TDateTime upSince_ = 0.0;       // cycle stamp of the first screen since the link came up
  bool up_ = false;
  TDateTime started_ = 0.0;  // the first update
  std::string lastError_;
  std::uint64_t linkLost_ = 0, pollCycles_ = 0, dataLines_ = 0, writeFailures_ = 0, receiverErrors_ = 0;
};
