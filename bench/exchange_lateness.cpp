#include "bench/exchange_lateness.h"

#include <charconv>
#include <cstddef>
#include <string>

#include "sim/request_site.h"
#include "tests/support/run_times.h"

namespace zelt20::bench {
namespace {

using sim::RequestKind;

// One line of --timings: "12.345678 12.351002 segment last".
struct TimedExchange {
  RequestKind kind = RequestKind::kUnknown;
  bool last_chunk = false;
  double request_s = 0;
  std::optional<double> reply_s;  // none: no reply went out
};

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  while (!line.empty()) {
    const std::size_t end = line.find(' ');
    if (end != 0) words.push_back(line.substr(0, end));
    if (end == std::string_view::npos) break;
    line.remove_prefix(end + 1);
  }
  return words;
}

std::optional<double> Seconds(std::string_view word) {
  double seconds = 0;
  const auto [stop, failure] = std::from_chars(word.data(), word.data() + word.size(), seconds);
  if (failure != std::errc() || stop != word.data() + word.size()) return std::nullopt;
  return seconds;
}

// By the names the simulator's report uses.
std::optional<RequestKind> KindNamed(std::string_view name) {
  for (std::size_t i = 0; i < sim::kRequestKindCount; ++i) {
    const auto kind = static_cast<RequestKind>(i);
    if (name == sim::KindName(kind)) return kind;
  }
  return std::nullopt;
}

std::optional<TimedExchange> ParseLine(std::string_view line) {
  const std::vector<std::string_view> words = Words(line);
  if (words.size() < 3 || words.size() > 4 || (words.size() == 4 && words[3] != "last")) {
    return std::nullopt;
  }
  TimedExchange exchange;
  const std::optional<double> request = Seconds(words[0]);
  const std::optional<RequestKind> kind = KindNamed(words[2]);
  exchange.reply_s = Seconds(words[1]);
  if (!request || !kind || (!exchange.reply_s && words[1] != "-")) return std::nullopt;
  exchange.request_s = *request;
  exchange.kind = *kind;
  exchange.last_chunk = words.size() == 4;
  return exchange;
}

std::optional<std::vector<TimedExchange>> ParseTimings(std::string_view text) {
  std::vector<TimedExchange> exchanges;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::optional<TimedExchange> exchange = ParseLine(text.substr(0, end));
    if (!exchange) return std::nullopt;
    exchanges.push_back(*exchange);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return exchanges;
}

// Sent as soon as the read before it has ended.
bool FollowsAtOnce(RequestKind kind) {
  return kind == RequestKind::kHeaderChunk || kind == RequestKind::kFullpackChunk ||
         kind == RequestKind::kSegmentChunk || kind == RequestKind::kWriteProm;
}

// The interval time-out of the installer's read of the reply to a request
// that one of those follows, as the protocol is written (the test support's
// figures, not the installer's own table); none for any other request.
std::optional<test::Ms> ReplyReadInterval(const TimedExchange& exchange) {
  switch (exchange.kind) {
    case RequestKind::kFullpackVersion: return test::kQueryRead;
    case RequestKind::kHeaderChunk:
    case RequestKind::kFullpackChunk: return test::kChunkRead;
    case RequestKind::kSegmentChunk:  // the block's time-out, cut before its last chunk
      return exchange.last_chunk ? test::kChunkRead : test::kSegmentChunkRead;
    default: return std::nullopt;
  }
}

}  // namespace

std::optional<std::vector<ExchangeGap>> GapsAtStation(std::string_view timings) {
  const auto exchanges = ParseTimings(timings);
  if (!exchanges) return std::nullopt;
  std::vector<ExchangeGap> gaps;
  for (std::size_t i = 1; i < exchanges->size(); ++i) {
    const TimedExchange& answered = (*exchanges)[i - 1];
    const std::optional<test::Ms> interval = ReplyReadInterval(answered);
    if (!answered.reply_s || !interval || !FollowsAtOnce((*exchanges)[i].kind)) continue;
    const test::Ms gap{((*exchanges)[i].request_s - *answered.reply_s) * 1000.0};
    gaps.push_back({(gap - *interval).count(), answered.last_chunk});
  }
  return gaps;
}

}  // namespace zelt20::bench
