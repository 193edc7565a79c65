#pragma once
// The two line operations the poll thread needs. The program runs on T_AdvCom32;
// tests put a scripted receiver behind the same calls.
#include <string>

class T_AdvCom32;

class LinkPort {
 public:
  virtual ~LinkPort() = default;
  // Sends all of text; false when nothing or not all of it went out.
  virtual bool Write(const std::string& text) = 0;
  // Non-waiting: whatever has arrived, or empty text.
  virtual void Read(std::string& text) = 0;
};

class AdvCom32LinkPort final : public LinkPort {
 public:
  explicit AdvCom32LinkPort(T_AdvCom32& port) : port_(port) {}
  bool Write(const std::string& text) override;
  void Read(std::string& text) override;

 private:
  T_AdvCom32& port_;
};
