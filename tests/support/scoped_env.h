// Sets or removes an environment variable for one test and puts the old
// value back afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace zelt20::test {

class ScopedEnv {
 public:
  // value none: the variable is removed for the test.
  ScopedEnv(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) old_ = old;
    Set(value);
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
  ~ScopedEnv() { Set(old_); }

 private:
  void Set(const std::optional<std::string>& value) const {
    if (value) {
      ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace zelt20::test
