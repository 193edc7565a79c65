#pragma once
// The Prometheus text exposition (format 0.0.4) of a metrics snapshot.
#include <string>
#include <string_view>

#include "frontend/MetricsSnapshot.h"

// A label value as the text format wants it: backslash, double quote and line feed
// escaped; any other byte outside printable ASCII written as the four characters
// "\xNN" (its backslash escaped), so nothing raw reaches a scraper.
std::string EscapeLabelValue(std::string_view text);

// The label value of a SmartClock status code: "LOCK", "HOLD", ... or "undefined".
const char* StatusLabel(std::uint8_t code);

// Appends the whole exposition to `out` (which is cleared first).
void WriteExposition(const MetricsSnapshot& snapshot, std::string& out);

// The content type of the exposition.
inline constexpr const char* ExpositionContentType = "text/plain; version=0.0.4; charset=utf-8";
