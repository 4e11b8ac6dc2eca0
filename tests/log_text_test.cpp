#include <gtest/gtest.h>

#include <string>

#include "tests/support/recording_run.h"
#include "core/cp1251.h"
#include "core/log_text.h"
#include "core/message_log.h"

namespace zelt20 {
namespace {

// The most characters the log holds.
constexpr std::size_t kLogCapacity = 64003;

TEST(OperatorText, LiteralsAreWindows1251AndConvertBack) {
  const std::string word = "Ошибка:"_cp1251;
  EXPECT_EQ(word, "\xCE\xF8\xE8\xE1\xEA\xE0:");
  EXPECT_EQ(Cp1251ToUtf8(word), "Ошибка:");
  EXPECT_EQ(Cp1251ToUtf8("\xA8\xB8\xB9"), "Ёё№");
  EXPECT_EQ(Utf8ToCp1251("COM Ёж №5 ✓"), "COM \xA8\xE6 \xB9" "5 ?");
  EXPECT_EQ(Cp1251ToUtf16("\xC0\xFF"), u"Ая");
}

TEST(LogText, AppendsExactlyWhatItIsGiven) {
  LogText log;
  std::string seen;
  log.SetObserver([&](std::string_view piece) { seen += piece; });
  log.Append("a\r\n");
  log.Append("");
  log.Append("b ");
  EXPECT_EQ(log.Text(), "a\r\nb ");
  EXPECT_EQ(seen, "a\r\nb ");
  EXPECT_EQ(log.Text().data()[log.Text().size()], '\0');
}

TEST(LogText, DropsOldestWholeLinesWhenFull) {
  LogText log;
  const std::string line(98, 'x');
  std::size_t lines = 0;
  while (log.Text().size() + 100 <= kLogCapacity) {
    log.Append(std::to_string(lines++ % 10).append(line, 1).append("\r\n").c_str());
  }
  const std::size_t before = log.Text().size();
  log.Append("tail of the run\r\n");
  EXPECT_LE(log.Text().size(), kLogCapacity);
  EXPECT_LT(log.Text().size(), before + 17);
  // What remains starts at a line start and ends with the newest text.
  EXPECT_EQ(log.Text().size() % 100, 17u);
  EXPECT_TRUE(log.Text().ends_with("tail of the run\r\n"));
  EXPECT_EQ(log.Text()[0], '1');
}

TEST(LogText, FillsToTheLastByteAndKeepsTheTailOfAHugeText) {
  LogText log;
  log.Append(std::string(kLogCapacity, 'a').c_str());
  EXPECT_EQ(log.Text().size(), kLogCapacity);
  std::string huge(kLogCapacity + 500, 'b');
  huge.back() = 'z';
  log.Append(huge.c_str());
  EXPECT_EQ(log.Text().size(), kLogCapacity);
  EXPECT_EQ(log.Text().back(), 'z');
  EXPECT_EQ(log.Text().front(), 'b');
}

TEST(MessageLog, ErrorReportsUseTheFourHeadings) {
  test::RecordingRun run;
  MessageLog log(run);
  log.ReportError(ErrorHeading::kNewLine, "m1");
  log.ReportError(ErrorHeading::kNewLineNoBlank, "m2");
  log.ReportErrorf(ErrorHeading::kBlankNewLine, " %s\r\n", "m3");
  log.ReportErrorf(ErrorHeading::kSameLine, "%s %c\r\n", "m4", 'x');
  const std::vector<std::string> expected = {"\r\nОшибка: ", "m1\r\n", "\r\nОшибка:", "m2\r\n",
                                             " \r\nОшибка: ", " m3\r\n", "Ошибка: ", "m4 x\r\n"};
  EXPECT_EQ(run.AppendsUtf8(), expected);
}

TEST(MessageLog, LinesLongerThanTheBufferAreCutNeverOverrun) {
  test::RecordingRun run;
  MessageLog log(run);
  const std::string long_path(120, '7');
  log.Log("%s %s\r\n", "port", long_path.c_str());
  ASSERT_EQ(run.Appends().size(), 1u);
  EXPECT_EQ(run.Appends()[0].size(), MessageLog::kBufferSize - 1);
  EXPECT_TRUE(FitsMessageBuffer("%s", std::string(79, 'a').c_str()));
  EXPECT_FALSE(FitsMessageBuffer("%s", std::string(80, 'a').c_str()));
}

}  // namespace
}  // namespace zelt20
