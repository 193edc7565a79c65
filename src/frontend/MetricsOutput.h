#pragma once
// Where the metrics go: the settings that switch each way out on, and the text file
// for node_exporter's textfile collector, replaced whole so a reader never sees half.
#include <optional>
#include <string>

#include "platform/DateTime.h"

class TBigIniFile;

struct MetricsConfig {
  std::string File;    // empty: no file
  std::string Listen;  // "[HOST:]PORT", empty: no endpoint
};

// Section "Metrics", keys "File" and "Listen"; both empty when absent.
MetricsConfig ReadMetricsConfig(const TBigIniFile& ini);

struct ListenAddress {
  std::string Host = "127.0.0.1";
  int Port = 0;
};
// "9101", "0.0.0.0:9101", "host.example:9101", "[::1]:9101". Without a host only
// 127.0.0.1 is bound. False (with the reason) for anything else, or a port outside 1-65535.
bool ParseListen(const std::string& text, ListenAddress& out, std::string* why = nullptr);

// Writes the text to PATH through a temporary file in the same folder and a rename.
// False with the reason (errno's text) when any step failed; the old file then stays.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string* why = nullptr);

// The metrics file, written when its text changed and at least every RewriteSeconds
// (node_exporter tells the file's age, so a live program keeps it young). A failure is
// said once an hour at most while it lasts, and once when writing works again.
class MetricsFile {
 public:
  static constexpr double RewriteSeconds = 10.0;
  static constexpr double QuietSeconds = 3600.0;

  explicit MetricsFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }
  // Returns a line to say, or nothing.
  std::optional<std::string> Offer(const std::string& text, TDateTime now);
  bool Failing() const { return failing_; }

 private:
  std::string path_;
  std::string written_;
  TDateTime writtenAt_ = 0.0;
  bool everWritten_ = false;
  bool failing_ = false;
  TDateTime saidAt_ = 0.0;
};
