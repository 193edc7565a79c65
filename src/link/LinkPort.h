#pragma once
// The two line operations the poll thread needs. The program runs on T_AdvCom32;
// tests put a scripted receiver behind the same calls.
#include <memory>
#include <string>

class T_AdvCom32;

class LinkPort {
 public:
  virtual ~LinkPort() = default;
  // Sends all of text; false when nothing or not all of it went out.
  virtual bool Write(const std::string& text) = 0;
  // Non-waiting: whatever has arrived, or empty text.
  virtual void Read(std::string& text) = 0;

  // Recovery of a line whose device went away. A port with no device behind it (a
  // scripted receiver) never loses it. LostCheck closes a lost line and gives true
  // once, with the reason; Reopen tries the configured device again, silently.
  virtual bool LostCheck(std::string& /*why*/) { return false; }
  virtual bool IsOpen() { return true; }
  virtual bool Reopen() { return true; }
  virtual std::string DeviceName() const { return {}; }
  // True for a line whose opening proves nothing until the receiver answers on it: a
  // network server may accept and at once hang up (its port busy with another client).
  virtual bool OpensAtAnswer() const { return false; }
};

class AdvCom32LinkPort final : public LinkPort {
 public:
  explicit AdvCom32LinkPort(T_AdvCom32& port) : port_(port) {}
  // Keeps the port alive for as long as this object lives.
  explicit AdvCom32LinkPort(std::shared_ptr<T_AdvCom32> port) : shared_(std::move(port)), port_(*shared_) {}
  bool Write(const std::string& text) override;
  void Read(std::string& text) override;
  bool LostCheck(std::string& why) override;
  bool IsOpen() override;
  bool Reopen() override;
  std::string DeviceName() const override;
  bool OpensAtAnswer() const override;

 private:
  std::shared_ptr<T_AdvCom32> shared_;
  T_AdvCom32& port_;
};
