#pragma once

// TCliProgress: the progress line of a long merge on stderr ("1200/5000 records  310/s  0:12
// left"), redrawn in place at most a few times a second. It is silent when stderr is no
// terminal or when the user asked for quiet, so that logs and pipes get only errors.

#include <chrono>
#include <cstdio>
#include <string>

namespace veltrane::cli {

// The text of one progress line: done/total, the rate since the start and the time left at
// that rate. A total of 0 or less means unknown: only the count and the rate are shown. A count
// above the total shows as the total.
std::string FormatProgress(long ADone, long ATotal, double AElapsedSeconds,
                           const std::string& AUnit);

class TCliProgress {
 public:
  // AEnabled false makes every call a no-op; AStream is where the line goes (stderr in the
  // command, a temporary file in tests).
  TCliProgress(bool AEnabled, long ATotal, std::string AUnit, std::FILE* AStream = stderr);
  ~TCliProgress();
  TCliProgress(const TCliProgress&) = delete;
  TCliProgress& operator=(const TCliProgress&) = delete;

  // One more unit done; redraws when the last drawing is older than the redraw interval.
  void Step();
  // ADone units done, when that is more than before (never more than the total).
  void Reach(long ADone);
  // Draws the final count and ends the line; called by the destructor when still open.
  void Finish();

  long GetDone() const { return FDone; }
  // True when stderr is a terminal and AQuiet is false.
  static bool WantedOnStderr(bool AQuiet);

 private:
  void Draw();

  bool FEnabled;
  long FTotal;
  std::string FUnit;
  std::FILE* FStream;
  long FDone = 0;
  bool FDrawn = false;
  bool FFinished = false;
  std::chrono::steady_clock::time_point FStart;
  std::chrono::steady_clock::time_point FLastDraw;
};

}  // namespace veltrane::cli
