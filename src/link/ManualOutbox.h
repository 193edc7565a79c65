#pragma once
// The manual command window's text on its way to the line. The window posts it; the
// poll thread, which has the line to itself while ManualMode is set, writes it in
// pieces with its reads of the reply in between, and leaves what became of it for the
// window. A long text at a slow speed takes long (32 767 characters at 9600 baud
// about 34 s), so the user-interface thread must not do the writing.
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

class LinkPort;

struct ManualSendOutcome {
  std::size_t Sent = 0;   // bytes written whole, the carriage return included
  std::size_t Total = 0;  // bytes posted
  bool Complete() const { return Sent == Total; }
  bool operator==(const ManualSendOutcome&) const = default;
};

class ManualOutbox {
 public:
  // User interface: false, and nothing posted, while an earlier text is still on its way.
  bool Post(std::string bytes);
  // User interface: a posted text that the poll thread has not taken yet is dropped
  // (the window closed); one being written goes out to its end.
  void Discard();
  // User interface: a text is posted and its outcome not yet taken.
  bool Busy() const;
  // User interface: what became of the text, once.
  std::optional<ManualSendOutcome> TakeOutcome();

  // Poll thread.
  bool Take(std::string& bytes);
  void Finish(ManualSendOutcome outcome);

 private:
  mutable std::mutex mutex_;
  std::optional<std::string> posted_;
  bool writing_ = false;
  std::optional<ManualSendOutcome> outcome_;
};

// Bytes per write: small enough that the reply is read while a long text goes out and
// a stop request is seen soon, at any line speed.
inline constexpr std::size_t ManualPieceBytes = 64;

// Writes text in pieces of at most `piece` bytes, calling between() after each one
// that went out and ending early when stop() says so or a piece does not go out whole.
// Returns the bytes of the pieces that went out whole.
std::size_t WriteInPieces(LinkPort& port, const std::string& text, std::size_t piece,
                          const std::function<void()>& between, const std::function<bool()>& stop);
