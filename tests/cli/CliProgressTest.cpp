#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cli/CliProgress.h"

namespace {

using veltrane::cli::FormatProgress;
using veltrane::cli::TCliProgress;

TEST(CliProgressTest, LineShowsCountRateAndTimeLeft) {
  const struct {
    long Done, Total;
    double Seconds;
    const char* Expected;
  } rows[] = {
      {0, 500, 0.0, "0/500 records"},
      {100, 500, 2.0, "100/500 records  50/s  0:08 left"},
      {500, 500, 10.0, "500/500 records  50/s"},
      {10, 100000, 1.0, "10/100000 records  10/s  2:46:39 left"},
      {42, 0, 2.0, "42 records  21/s"},
      {1, 3, 0.0, "1/3 records"},
      {20012, 20000, 10.0, "20000/20000 records  2000/s"},  // never more than the total
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Expected);
    EXPECT_EQ(FormatProgress(row.Done, row.Total, row.Seconds, "records"), row.Expected);
  }
}

std::string Captured(std::FILE* AFile) {
  std::fflush(AFile);
  std::rewind(AFile);
  std::string text;
  for (int c = std::fgetc(AFile); c != EOF; c = std::fgetc(AFile)) text += static_cast<char>(c);
  return text;
}

TEST(CliProgressTest, DisabledOrShortRunsLeaveNothingBehind) {
  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  {
    TCliProgress disabled(false, 10, "records", file);
    for (int i = 0; i < 10; ++i) disabled.Step();
    EXPECT_EQ(disabled.GetDone(), 10);
  }
  {
    // Enabled, but over before the first redraw: no stray empty line.
    TCliProgress quick(true, 10, "records", file);
    quick.Step();
  }
  EXPECT_EQ(Captured(file), "");
  std::fclose(file);
}

TEST(CliProgressTest, ReachedCountsOnlyGrowAndStopAtTheTotal) {
  TCliProgress progress(false, 5, "records");
  const struct { long Reached, Done; } rows[] = {{2, 2}, {1, 2}, {4, 4}, {9, 5}};
  for (const auto& row : rows) {
    progress.Reach(row.Reached);
    EXPECT_EQ(progress.GetDone(), row.Done) << row.Reached;
  }
  progress.Step();
  EXPECT_EQ(progress.GetDone(), 5);
}

}  // namespace
