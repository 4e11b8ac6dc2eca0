#include "sim/run_length_packer.h"

#include <algorithm>
#include <cstddef>

namespace zelt20::sim {
namespace {

constexpr std::size_t kMaxCount = 0x7F;
constexpr std::uint8_t kNoFurtherCopies = 0x80;  // a count the decoder skips
constexpr std::uint8_t kPad = 0x00;              // data, or a zero count taken as data

// The decoder's state as it reads what has been packed so far.
class DecoderMirror {
 public:
  explicit DecoderMirror(std::vector<std::uint8_t>& out) : out_(out) {}

  bool ExpectsCount() const { return run_ == 2; }
  std::uint8_t Previous() const { return prev_; }

  void PutData(std::uint8_t byte) {
    run_ = (!out_.empty() && byte == prev_) ? run_ + 1 : 0;
    prev_ = byte;
    out_.push_back(byte);
  }
  void PutCount(std::uint8_t count) {
    out_.push_back(count);
    run_ = 0;
  }

 private:
  std::vector<std::uint8_t>& out_;
  int run_ = 0;
  std::uint8_t prev_ = 0;
};

}  // namespace

std::vector<std::uint8_t> PackRunLength(std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> out;
  DecoderMirror decoder(out);
  std::size_t i = 0;
  while (i < data.size()) {
    if (decoder.ExpectsCount()) {
      std::size_t copies = 0;
      while (i + copies < data.size() && copies < kMaxCount &&
             data[i + copies] == decoder.Previous()) {
        ++copies;
      }
      decoder.PutCount(copies > 0 ? static_cast<std::uint8_t>(copies) : kNoFurtherCopies);
      i += copies;
      if (i == data.size()) break;
    }
    decoder.PutData(data[i++]);
  }
  // Where a count is due the pad is a zero count, which the decoder takes as
  // a data byte; anywhere else it is a data byte. Either way one byte.
  out.push_back(kPad);
  return out;
}

}  // namespace zelt20::sim
