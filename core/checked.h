// How our own operations report how they ended - those the station protocol
// does not name (the protocol's results are in link/: LinkResult,
// ExchangeResult; install/: BlockResult). One pattern, as for the protocol's
// results: the ending is returned, never thrown and never handed back
// through an out-parameter, and it has a name.
//   - An operation that can end in several ways returns an enum class of
//     those ways, 0 for success (RunOutcome).
//   - A check of what a person handed the program (a release file, the
//     simulator's command line) returns Checked<T>: the value it made, or
//     the Refusal that tells that person in words what was wrong.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace zelt20 {

struct Refusal {
  std::string reason;
};

// The value of a check that makes nothing but its verdict.
struct Accepted {};

template <typename T = Accepted>
class [[nodiscard]] Checked {
 public:
  Checked(T value) : value_(std::move(value)) {}
  Checked(Refusal refusal) : reason_(std::move(refusal.reason)) {}

  explicit operator bool() const { return value_.has_value(); }
  T& operator*() { return *value_; }
  const T& operator*() const { return *value_; }
  T* operator->() { return &*value_; }
  const T* operator->() const { return &*value_; }
  // Empty when the input was accepted.
  const std::string& Reason() const { return reason_; }

 private:
  std::optional<T> value_;
  std::string reason_;
};

}  // namespace zelt20
