#pragma once
// The simulated receiver's physics: a disciplined oscillator with its 1 PPS time
// interval, EFC and holdover prediction, the SmartClock mode sequence and a sky of
// GPS satellites with a building that blocks part of the view. Everything follows
// from the seed and the times it is advanced to, so a run can be repeated.
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/DateTime.h"

enum class SimFamily { Z3801, Z3805, Z3815, Z3816, Z3817, Gcru, JacksonLabs, Hp58503, Hp55300, Mtron, Unknown };

// Names accepted on the command line: "Z3801" ... "GCRU", "Jackson" (or "JacksonLabs"),
// "HP58503", "HP55300", "Mtron", "Unknown"; case does not matter.
bool ParseFamily(const std::string& name, SimFamily& family);
const char* FamilyName(SimFamily family);
// The "*IDN?" answer of each family.
std::string IdnAnswer(SimFamily family);
// Jackson Labs and Mtron units speak their own dialect (no "+" signs, time and date queries).
bool IsJacksonStyle(SimFamily family);

enum class SmartClockMode { PowerUp, Recovery, Locked, Holdover };
// "POW", "REC", "LOCK", "HOLD": the answer to ":ROSC:STAT?".
const char* ModeText(SmartClockMode mode);

struct ModelTimings {
  int powerUpSeconds = 30;
  int recoverySeconds = 90;
  // Mean minutes of lock between two holdover episodes; 0 = never.
  int holdEveryMinutes = 90;
  int holdMinutes = 4;
};

struct SkySatellite {
  int prn = 0;
  double elevation = 0;  // degrees, > 0 above the horizon
  double azimuth = 0;    // degrees clockwise from north, 0 to < 360
  int cn = 0;            // dB-Hz, 0 when not tracked
  bool tracked = false;
  bool blocked = false;  // behind the building: the receiver keeps trying to acquire it
};

class ReceiverModel {
 public:
  ReceiverModel(SimFamily family, std::uint32_t seed, ModelTimings timings = {});

  // Moves the model to time now (UTC). The first call sets the power-on time.
  // Noise advances in whole seconds; time going backwards only moves the clock.
  void AdvanceTo(TDateTime now);

  SimFamily Family() const { return family_; }
  TDateTime Now() const { return now_; }
  SmartClockMode Mode() const { return mode_; }
  // Holds the receiver in a mode (from now on, not from the next second) until released
  // with nullopt; released, it goes on with its own sequence from the mode it is in.
  void HoldMode(std::optional<SmartClockMode> mode);
  double PpsTiSeconds() const { return ppsTiNs_ * 1e-9; }
  double Efc() const { return efc_; }
  double HoldoverUncertaintySeconds() const { return hupUs_ * 1e-6; }
  int LifeCount() const;
  int Channels() const;
  int Tfom() const;
  int Ffom() const;

  // The satellites above the horizon at the current time: tracked ones first (highest
  // first), then the others.
  std::vector<SkySatellite> Sky() const;
  int TrackedCount() const;
  int VisibleCount() const;

  // The 23-character F2 time code "T2" yyyymmddhhnnss, five status characters and a
  // two-digit hexadecimal checksum; F1 differs only in its prefix.
  std::string TimeCode(bool f2 = true) const;
  // The status screen, one string per line without line ends.
  std::vector<std::string> StatusScreen() const;

  // Whether the building hides a satellite at this azimuth and elevation.
  static bool Blocked(double azimuth, double elevation);

 private:
  struct Orbit {
    int prn;
    double ux, uy, uz, vx, vy, vz;  // orthonormal pair spanning the track on the sky
    double phase0;
    double rate;  // radians per second
  };
  void Step();  // one second of noise and mode sequence
  void UpdateMode();
  void EnterMode(SmartClockMode mode);
  std::vector<std::string> StandardScreen() const;
  std::vector<std::string> GcruScreen() const;
  void SatelliteRows(std::vector<std::string>& out, const std::vector<std::string>& right) const;

  SimFamily family_;
  std::uint32_t seed_;
  ModelTimings timings_;
  std::mt19937 rng_;
  std::vector<Orbit> orbits_;
  bool started_ = false;
  TDateTime start_ = 0;
  TDateTime now_ = 0;
  long long stepped_ = 0;  // whole seconds simulated since start
  SmartClockMode mode_ = SmartClockMode::PowerUp;
  std::optional<SmartClockMode> heldMode_;
  long long modeSince_ = 0;
  long long nextHold_ = -1;
  long long lockedSeconds_ = 0;
  double randomWalkNs_ = 0;
  double whiteNs_ = 0;
  double ppsTiNs_ = 0;
  double holdDriftNsPerS_ = 0;
  double efcBase_ = 0;
  double efc_ = 0;
  double hupUs_ = 0;
  int lifeBase_ = 0;
};
