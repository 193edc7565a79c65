#include "receiver_sim/ReceiverModel.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double Deg = 180.0 / Pi;
constexpr int ScreenWidth = 79;
constexpr int LeftWidth = 46;
constexpr int RightWidth = ScreenWidth - LeftWidth;
// A GPS satellite goes round twice per sidereal day.
constexpr double OrbitSeconds = 43082.0;
constexpr int SatelliteCount = 24;
// Longer jumps of the clock than this are not simulated second by second.
constexpr long long MaxStepsPerAdvance = 100000;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

std::string Pad(std::string s, std::size_t width) {
  s.resize(width, ' ');
  return s;
}

std::string Row(const std::string& left, const std::string& right) {
  return Pad(left, LeftWidth) + Pad(right, RightWidth);
}

// "TITLE ........ [ tag ]" across the whole screen.
std::string Fill(const std::string& title, const std::string& tag) {
  const std::size_t used = title.size() + tag.size() + 1;
  const std::size_t dots = used < std::size_t(ScreenWidth) ? ScreenWidth - used : 0;
  return Pad(title + std::string(dots, '.') + " " + tag, ScreenWidth);
}

// "Caption ______" to the given width.
std::string Under(const std::string& caption, std::size_t width) {
  return caption.size() >= width ? caption.substr(0, width) : caption + std::string(width - caption.size(), '_');
}

std::string Centered(const std::string& title) {
  const std::size_t left = (ScreenWidth - title.size()) / 2;
  return Pad(std::string(left, '-') + title + std::string(ScreenWidth, '-'), ScreenWidth);
}

// A uniform number in [0, 1) from a few integers, for noise that must not depend on
// how often the model was asked.
double Hash01(std::uint64_t a, std::uint64_t b, std::uint64_t c) {
  std::uint64_t x = a * 0x9E3779B97F4A7C15ull ^ (b + 0x632BE59BD9B4E019ull) * 0xBF58476D1CE4E5B9ull ^ c;
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ull;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBull;
  x ^= x >> 31;
  return double(x >> 11) / double(1ull << 53);
}

const char* const MonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

bool ParseFamily(const std::string& name, SimFamily& family) {
  const std::string n = Upper(name);
  struct Entry {
    const char* name;
    SimFamily family;
  };
  static const Entry entries[] = {
      {"Z3801", SimFamily::Z3801},
      {"Z3805", SimFamily::Z3805},
      {"Z3815", SimFamily::Z3815},
      {"Z3816", SimFamily::Z3816},
      {"Z3817", SimFamily::Z3817},
      {"GCRU", SimFamily::Gcru},
      {"JACKSON", SimFamily::JacksonLabs},
      {"JACKSONLABS", SimFamily::JacksonLabs},
      {"JACKSON LABS", SimFamily::JacksonLabs},
      {"HP58503", SimFamily::Hp58503},
      {"58503", SimFamily::Hp58503},
      {"HP55300", SimFamily::Hp55300},
      {"55300", SimFamily::Hp55300},
      {"MTRON", SimFamily::Mtron},
      {"UNKNOWN", SimFamily::Unknown},
      {"UNDEFINED", SimFamily::Unknown},
  };
  for (const Entry& e : entries) {
    if (n == e.name) {
      family = e.family;
      return true;
    }
  }
  return false;
}

const char* FamilyName(SimFamily family) {
  switch (family) {
    case SimFamily::Z3801:
      return "Z3801";
    case SimFamily::Z3805:
      return "Z3805";
    case SimFamily::Z3815:
      return "Z3815";
    case SimFamily::Z3816:
      return "Z3816";
    case SimFamily::Z3817:
      return "Z3817";
    case SimFamily::Gcru:
      return "GCRU";
    case SimFamily::JacksonLabs:
      return "Jackson Labs";
    case SimFamily::Hp58503:
      return "HP58503";
    case SimFamily::Hp55300:
      return "HP55300";
    case SimFamily::Mtron:
      return "Mtron";
    case SimFamily::Unknown:
      return "Unknown";
  }
  return "Unknown";
}

std::string IdnAnswer(SimFamily family) {
  switch (family) {
    case SimFamily::Z3801:
      return "HEWLETT-PACKARD,Z3801A,3542A01234,3535";
    case SimFamily::Z3805:
      return "HEWLETT-PACKARD,Z3805A,3811A00456,3804";
    case SimFamily::Z3815:
      return "HEWLETT-PACKARD,Z3815A,3820A00789,3812";
    case SimFamily::Z3816:
      return "Symmetricom,Z3816A,3934A01011,3921";
    case SimFamily::Z3817:
      return "Symmetricom,Z3817A,4012A01213,4005";
    case SimFamily::Gcru:
      return "Symmetricom,GCRU,4111A00321,1.07";
    case SimFamily::JacksonLabs:
      return "Jackson Labs, Fury GPSDO, Serial Number 1410, Firmware 1.26";
    case SimFamily::Hp58503:
      return "HEWLETT-PACKARD,58503A,3625A01415,3619";
    case SimFamily::Hp55300:
      return "HEWLETT-PACKARD,55300A,3703A01617,3701";
    case SimFamily::Mtron:
      return "MtronPTI,GPSDO-M,SN 000812,Rev 2.3";
    case SimFamily::Unknown:
      return "ACME Instruments,Timekeeper 9000,SN 42,1.0";
  }
  return "";
}

bool IsJacksonStyle(SimFamily family) { return family == SimFamily::JacksonLabs || family == SimFamily::Mtron; }

const char* ModeText(SmartClockMode mode) {
  switch (mode) {
    case SmartClockMode::PowerUp:
      return "POW";
    case SmartClockMode::Recovery:
      return "REC";
    case SmartClockMode::Locked:
      return "LOCK";
    case SmartClockMode::Holdover:
      return "HOLD";
  }
  return "POW";
}

bool ReceiverModel::Blocked(double azimuth, double elevation) {
  return azimuth >= 200.0 && azimuth <= 250.0 && elevation < 30.0;
}

ReceiverModel::ReceiverModel(SimFamily family, std::uint32_t seed, ModelTimings timings)
    : family_(family), seed_(seed), timings_(timings), rng_(seed) {
  std::vector<int> prns;
  for (int p = 1; p <= 32; ++p) prns.push_back(p);
  std::shuffle(prns.begin(), prns.end(), rng_);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_real_distribution<double> angle(0.0, 2 * Pi);
  for (int i = 0; i < SatelliteCount; ++i) {
    // A random great circle on the sky: pick its pole n, then an orthonormal pair u, v
    // perpendicular to it.
    double nx, ny, nz, len;
    do {
      nx = unit(rng_), ny = unit(rng_), nz = unit(rng_);
      len = std::sqrt(nx * nx + ny * ny + nz * nz);
    } while (len < 0.1 || len > 1.0);
    nx /= len, ny /= len, nz /= len;
    double ax = 0, ay = 0, az = 1;
    if (std::fabs(nz) > 0.9) ax = 1, az = 0;
    double ux = ay * nz - az * ny, uy = az * nx - ax * nz, uz = ax * ny - ay * nx;
    len = std::sqrt(ux * ux + uy * uy + uz * uz);
    ux /= len, uy /= len, uz /= len;
    const double vx = ny * uz - nz * uy, vy = nz * ux - nx * uz, vz = nx * uy - ny * ux;
    orbits_.push_back({prns[i], ux, uy, uz, vx, vy, vz, angle(rng_), 2 * Pi / OrbitSeconds});
  }
  efcBase_ = IsJacksonStyle(family)      ? 32768.0 + std::uniform_real_distribution<double>(-2000, 2000)(rng_)
             : family == SimFamily::Gcru ? std::uniform_real_distribution<double>(2.0, 3.0)(rng_)
                                         : std::uniform_real_distribution<double>(15000, 45000)(rng_);
  efc_ = efcBase_;
  lifeBase_ = std::uniform_int_distribution<int>(5000, 60000)(rng_);
  hupUs_ = 100.0;
  ppsTiNs_ = std::uniform_real_distribution<double>(-800, 800)(rng_);
}

void ReceiverModel::AdvanceTo(TDateTime now) {
  if (!started_) {
    started_ = true;
    start_ = now;
    now_ = now;
    UpdateMode();
    return;
  }
  now_ = now;
  const long long target = static_cast<long long>(std::floor((now - start_) * SecondsPerDay + 1e-6));
  if (target <= stepped_) return;
  if (target - stepped_ > MaxStepsPerAdvance) stepped_ = target - MaxStepsPerAdvance;
  while (stepped_ < target) {
    ++stepped_;
    Step();
  }
}

void ReceiverModel::EnterMode(SmartClockMode mode) {
  std::uniform_real_distribution<double> u(0.5, 1.5);
  mode_ = mode;
  modeSince_ = stepped_;
  if (mode == SmartClockMode::Locked)
    nextHold_ = timings_.holdEveryMinutes > 0
                    ? stepped_ + static_cast<long long>(timings_.holdEveryMinutes * 60 * u(rng_))
                    : -1;
  if (mode == SmartClockMode::Holdover) holdDriftNsPerS_ = std::normal_distribution<double>(0.0, 0.02)(rng_);
}

void ReceiverModel::HoldMode(std::optional<SmartClockMode> mode) {
  heldMode_ = mode;
  if (heldMode_ && *heldMode_ != mode_) EnterMode(*heldMode_);
  // Let go in lock, the next holdover episode is a fresh interval away.
  if (!heldMode_ && mode_ == SmartClockMode::Locked) EnterMode(SmartClockMode::Locked);
}

void ReceiverModel::UpdateMode() {
  if (heldMode_) {
    if (*heldMode_ != mode_) EnterMode(*heldMode_);
    return;
  }
  const long long inMode = stepped_ - modeSince_;
  switch (mode_) {
    case SmartClockMode::PowerUp:
      if (inMode >= timings_.powerUpSeconds) EnterMode(SmartClockMode::Recovery);
      break;
    case SmartClockMode::Recovery:
      if (inMode >= timings_.recoverySeconds) EnterMode(SmartClockMode::Locked);
      break;
    case SmartClockMode::Locked:
      if (nextHold_ >= 0 && stepped_ >= nextHold_) EnterMode(SmartClockMode::Holdover);
      break;
    case SmartClockMode::Holdover:
      if (inMode >= timings_.holdMinutes * 60) EnterMode(SmartClockMode::Recovery);
      break;
  }
}

void ReceiverModel::Step() {
  UpdateMode();
  std::normal_distribution<double> walk(0.0, 0.03);
  std::normal_distribution<double> white(0.0, 1.2);
  const double hours = stepped_ / 3600.0;
  switch (mode_) {
    case SmartClockMode::PowerUp:
      // Not steered yet: the phase wanders far from GPS.
      ppsTiNs_ += std::normal_distribution<double>(0.0, 5.0)(rng_);
      hupUs_ = 100.0;
      return;
    case SmartClockMode::Recovery:
      // The loop pulls the phase in quickly.
      randomWalkNs_ += walk(rng_);
      ppsTiNs_ = ppsTiNs_ * 0.95 + (1.5 + randomWalkNs_) * 0.05;
      whiteNs_ = white(rng_);
      hupUs_ = std::max(hupUs_ * 0.999, 20.0);
      break;
    case SmartClockMode::Locked:
      ++lockedSeconds_;
      randomWalkNs_ = randomWalkNs_ * 0.998 + walk(rng_);
      whiteNs_ = white(rng_);
      ppsTiNs_ = 1.5 + randomWalkNs_ + whiteNs_;
      // The prediction improves as the receiver learns its oscillator.
      hupUs_ = 1.5 + 18.5 * std::exp(-lockedSeconds_ / 7200.0);
      break;
    case SmartClockMode::Holdover:
      // Free running: the phase drifts away and the uncertainty grows.
      randomWalkNs_ += walk(rng_) + holdDriftNsPerS_;
      whiteNs_ = white(rng_);
      ppsTiNs_ = 1.5 + randomWalkNs_ + whiteNs_;
      hupUs_ += 0.002;
      return;  // the EFC is frozen in holdover
  }
  // Ageing: the EFC creeps in one direction, and the loop's corrections ride on it.
  const double units = family_ == SimFamily::Gcru ? 0.0005 : 1.0;
  efc_ = efcBase_ + units * (0.5 * hours - 0.8 * randomWalkNs_);
}

int ReceiverModel::LifeCount() const { return lifeBase_ + static_cast<int>(stepped_ / 3600); }

int ReceiverModel::Channels() const {
  switch (family_) {
    case SimFamily::Gcru:
    case SimFamily::JacksonLabs:
    case SimFamily::Mtron:
      return 12;
    default:
      return 8;
  }
}

int ReceiverModel::Tfom() const {
  switch (mode_) {
    case SmartClockMode::Locked:
      return 3;
    case SmartClockMode::Recovery:
      return 5;
    case SmartClockMode::Holdover:
      return std::min(9, 6 + static_cast<int>((stepped_ - modeSince_) / 120));
    case SmartClockMode::PowerUp:
      return 9;
  }
  return 9;
}

int ReceiverModel::Ffom() const {
  switch (mode_) {
    case SmartClockMode::Locked:
      return 0;
    case SmartClockMode::Recovery:
      return 2;
    case SmartClockMode::Holdover:
      return 1;
    case SmartClockMode::PowerUp:
      return 3;
  }
  return 3;
}

std::vector<SkySatellite> ReceiverModel::Sky() const {
  const double t = now_ * SecondsPerDay;
  const auto second = static_cast<std::uint64_t>(t);
  std::vector<SkySatellite> above;
  for (const Orbit& o : orbits_) {
    const double phase = std::fmod(o.phase0 + o.rate * t, 2 * Pi);
    const double c = std::cos(phase), s = std::sin(phase);
    const double east = c * o.ux + s * o.vx, north = c * o.uy + s * o.vy, up = c * o.uz + s * o.vz;
    const double elevation = std::asin(std::clamp(up, -1.0, 1.0)) * Deg;
    if (elevation <= 0.5) continue;
    double azimuth = std::atan2(east, north) * Deg;
    if (azimuth < 0) azimuth += 360.0;
    if (azimuth >= 360.0) azimuth -= 360.0;
    SkySatellite sat;
    sat.prn = o.prn;
    sat.elevation = elevation;
    sat.azimuth = azimuth;
    sat.blocked = Blocked(azimuth, elevation);
    // Signal level: stronger high up, with a little scintillation each second.
    const double noise = Hash01(seed_, static_cast<std::uint64_t>(o.prn), second) * 3.0 - 1.5;
    sat.cn = static_cast<int>(std::lround(30.0 + 18.0 * std::sin(elevation / Deg) + noise));
    above.push_back(sat);
  }
  // Highest first; the receiver gives its channels to the best placed satellites it can see.
  std::sort(above.begin(), above.end(),
            [](const SkySatellite& a, const SkySatellite& b) { return a.elevation > b.elevation; });
  const bool acquiring = mode_ == SmartClockMode::PowerUp && stepped_ < 15;
  int channels = acquiring ? 0 : Channels();
  for (SkySatellite& sat : above) {
    if (channels > 0 && !sat.blocked && sat.elevation >= 5.0) {
      sat.tracked = true;
      --channels;
    } else {
      sat.cn = 0;
    }
  }
  std::stable_partition(above.begin(), above.end(), [](const SkySatellite& s) { return s.tracked; });
  return above;
}

int ReceiverModel::TrackedCount() const {
  int n = 0;
  for (const SkySatellite& s : Sky()) n += s.tracked ? 1 : 0;
  return n;
}

int ReceiverModel::VisibleCount() const { return static_cast<int>(Sky().size()); }

std::string ReceiverModel::TimeCode(bool f2) const {
  const DateTimeParts p = DecodeDateTime(now_ - 0.0005 / SecondsPerDay);  // whole seconds, not rounded up
  const char leap = '0';
  const char alarm = mode_ == SmartClockMode::Locked ? '0' : '1';
  std::string code = Format("T%c%04d%02d%02d%02d%02d%02d%d%d%c%c0", f2 ? '2' : '1', p.year, p.month, p.day, p.hour,
                            p.minute, p.second, Tfom(), Ffom(), leap, alarm);
  unsigned sum = 0;
  for (unsigned char c : code) sum += c;
  return code + Format("%02X", sum & 0xFFu);
}

std::vector<std::string> ReceiverModel::StatusScreen() const {
  return family_ == SimFamily::Gcru ? GcruScreen() : StandardScreen();
}

namespace {

std::string Mark(bool on) { return on ? ">> " : "   "; }

std::string SyncTag(SmartClockMode mode) {
  switch (mode) {
    case SmartClockMode::PowerUp:
      return "[ Outputs Invalid ]";
    case SmartClockMode::Holdover:
      return "[ Holdover ]";
    default:
      return "[ Outputs Valid ]";
  }
}

std::string PpsLine(double ns, const char* gap) {
  std::string line = Format("1PPS TI%s%+.1f ns", gap, ns);
  if (line.size() + 16 <= std::size_t(RightWidth)) line += " relative to GPS";
  return line;
}

std::string UtcLine(TDateTime t) {
  const DateTimeParts p = DecodeDateTime(t - 0.0005 / SecondsPerDay);
  return Format("UTC      %02d:%02d:%02d     %02d %s %04d", p.hour, p.minute, p.second, p.day,
                MonthNames[std::clamp(p.month, 1, 12) - 1], p.year);
}

}  // namespace

// The satellite table: the header, then rows that begin with a tracked satellite and go
// on with a not-tracked one; the right panel's lines run alongside.
void ReceiverModel::SatelliteRows(std::vector<std::string>& out, const std::vector<std::string>& right) const {
  const std::vector<SkySatellite> sky = Sky();
  std::vector<const SkySatellite*> tracked, others;
  for (const SkySatellite& s : sky) (s.tracked ? tracked : others).push_back(&s);
  out.push_back(Row("PRN  El  Az   SS   PRN  El  Az", UtcLine(now_)));
  const std::size_t rows = std::max({tracked.size(), others.size(), right.size()});
  for (std::size_t i = 0; i < rows; ++i) {
    std::string left;
    if (i < tracked.size()) {
      const SkySatellite& s = *tracked[i];
      left =
          Format("%3d  %2d %3d   %2d", s.prn, int(std::lround(s.elevation)), int(std::lround(s.azimuth)) % 360, s.cn);
    } else {
      left = std::string(16, ' ');
    }
    if (i < others.size()) {
      const SkySatellite& s = *others[i];
      if (s.blocked) {
        // Still trying to acquire it behind the building.
        left += Format("   %3s  Acq .", ("*" + std::to_string(s.prn)).c_str());
      } else {
        left += Format("   %3d  %2d %3d", s.prn, int(std::lround(s.elevation)), int(std::lround(s.azimuth)) % 360);
      }
    }
    out.push_back(Row(left, i < right.size() ? right[i] : ""));
  }
}

std::vector<std::string> ReceiverModel::StandardScreen() const {
  const std::vector<SkySatellite> sky = Sky();
  int tracked = 0;
  for (const SkySatellite& s : sky) tracked += s.tracked ? 1 : 0;
  const int notTracked = static_cast<int>(sky.size()) - tracked;
  std::vector<std::string> out;
  out.push_back(Centered(" Receiver Status "));
  out.push_back(Pad("", ScreenWidth));
  out.push_back(Fill("SYNCHRONIZATION ", SyncTag(mode_)));
  out.push_back(Row(Under("SmartClock Mode ", LeftWidth - 2), Under("Reference Outputs ", RightWidth)));
  out.push_back(Row(Mark(mode_ == SmartClockMode::Locked) + "Locked to GPS",
                    Format("TFOM     %d             FFOM     %d", Tfom(), Ffom())));
  out.push_back(Row(Mark(mode_ == SmartClockMode::Recovery) + "Recovery", PpsLine(ppsTiNs_, "  ")));
  out.push_back(Row(Mark(mode_ == SmartClockMode::Holdover) + "Holdover", "HOLD THR 1.000 us"));
  out.push_back(Row(Mark(mode_ == SmartClockMode::PowerUp) + "Power-up", Under("Holdover Uncertainty ", RightWidth)));
  out.push_back(Row("", Format("Predict  %.1f us/initial 24 hrs", hupUs_)));
  out.push_back(Pad("", ScreenWidth));
  out.push_back(Fill("ACQUISITION ", tracked > 0 ? "[ GPS 1PPS Valid ]" : "[ GPS 1PPS Invalid ]"));
  out.push_back(Row(Under(Format("Tracking: %d ____   Not Tracking: %d ", tracked, notTracked), LeftWidth - 2),
                    Under("Time ", RightWidth)));
  SatelliteRows(out, {"GPS 1PPS Synchronized to UTC", "ANT DLY  0 ns", Under("Position ", RightWidth), "MODE     Hold",
                      "LAT      N  37:23:28.123", "LON      W 121:59:45.456", "HGT            +50.00 m  (MSL)"});
  out.push_back(Pad("", ScreenWidth));
  out.push_back(Fill("HEALTH MONITOR ", "[ OK ]"));
  out.push_back(Pad("Self Test: OK   Int Pwr: OK   Oven Pwr: OK   OCXO: OK   EFC: OK   GPS Rcv: OK", ScreenWidth));
  return out;
}

// The GCRU's screen carries the values its poll cycle reads from it: "Tracking:" with the
// tracked and not-tracked counts, "1PPS TI" in ns, "Predict" in us, and ">>" on the
// oscillator state.
std::vector<std::string> ReceiverModel::GcruScreen() const {
  const std::vector<SkySatellite> sky = Sky();
  int tracked = 0;
  for (const SkySatellite& s : sky) tracked += s.tracked ? 1 : 0;
  const int notTracked = static_cast<int>(sky.size()) - tracked;
  std::vector<std::string> out;
  out.push_back(Centered(" GCRU Status "));
  out.push_back(Pad("", ScreenWidth));
  out.push_back(Fill("SYNCHRONIZATION ", SyncTag(mode_)));
  out.push_back(Row(Under("Oscillator State ", LeftWidth - 2), Under("Reference Outputs ", RightWidth)));
  out.push_back(Row(Mark(mode_ == SmartClockMode::Locked) + "Locked", Format("TFOM %d      FFOM %d", Tfom(), Ffom())));
  out.push_back(Row(Mark(mode_ == SmartClockMode::Recovery) + "Recovery", PpsLine(ppsTiNs_, " ")));
  out.push_back(Row(Mark(mode_ == SmartClockMode::Holdover) + "Holdover", "HOLD THR 1.000 us"));
  out.push_back(
      Row(Mark(mode_ == SmartClockMode::PowerUp) + "Power-up", Format("Predict %.1f us/initial 24 hrs", hupUs_)));
  out.push_back(Pad("", ScreenWidth));
  out.push_back(Fill("ACQUISITION ", tracked > 0 ? "[ GPS 1PPS Valid ]" : "[ GPS 1PPS Invalid ]"));
  out.push_back(Row(Format("Tracking: %d    Not Tracking: %d", tracked, notTracked), Under("Time ", RightWidth)));
  SatelliteRows(out, {"GPS 1PPS Synchronized to UTC", Under("Position ", RightWidth), "LAT      N  48:08:12.500",
                      "LON      E  11:34:30.250", "HGT           +520.00 m  (MSL)"});
  out.push_back(Pad("", ScreenWidth));
  out.push_back(Fill("HEALTH MONITOR ", "[ OK ]"));
  out.push_back(Pad("Self Test: OK   Int Pwr: OK   Oven Pwr: OK   OCXO: OK   EFC: OK   GPS Rcv: OK", ScreenWidth));
  return out;
}
