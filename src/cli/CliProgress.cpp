#include "cli/CliProgress.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace veltrane::cli {

namespace {

constexpr std::chrono::milliseconds RedrawInterval{200};

std::string Duration(double ASeconds) {
  const long total = std::lround(ASeconds);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, (total / 60) % 60,
                  total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

}  // namespace

std::string FormatProgress(long ADone, long ATotal, double AElapsedSeconds,
                           const std::string& AUnit) {
  if (ATotal > 0 && ADone > ATotal) ADone = ATotal;
  std::string text =
      (ATotal > 0 ? std::to_string(ADone) + "/" + std::to_string(ATotal) : std::to_string(ADone)) +
      " " + AUnit;
  if (AElapsedSeconds <= 0.0 || ADone <= 0) return text;
  const double rate = static_cast<double>(ADone) / AElapsedSeconds;
  text += "  " + std::to_string(std::lround(rate)) + "/s";
  if (ATotal > 0 && ADone < ATotal) {
    text += "  " + Duration(static_cast<double>(ATotal - ADone) / rate) + " left";
  }
  return text;
}

TCliProgress::TCliProgress(bool AEnabled, long ATotal, std::string AUnit, std::FILE* AStream)
    : FEnabled(AEnabled),
      FTotal(ATotal),
      FUnit(std::move(AUnit)),
      FStream(AStream),
      FStart(std::chrono::steady_clock::now()),
      FLastDraw(FStart) {}

TCliProgress::~TCliProgress() { Finish(); }

bool TCliProgress::WantedOnStderr(bool AQuiet) { return !AQuiet && ::isatty(STDERR_FILENO) == 1; }

void TCliProgress::Step() { Reach(FDone + 1); }

void TCliProgress::Reach(long ADone) {
  if (ADone <= FDone) return;
  FDone = FTotal > 0 ? std::min(ADone, FTotal) : ADone;
  if (!FEnabled) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - FLastDraw >= RedrawInterval) {
    FLastDraw = now;
    Draw();
  }
}

void TCliProgress::Finish() {
  if (FFinished) return;
  FFinished = true;
  // A merge that was over before the first redraw leaves no line behind.
  if (!FEnabled || !FDrawn) return;
  Draw();
  std::fputc('\n', FStream);
  std::fflush(FStream);
}

void TCliProgress::Draw() {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
  // "\r" and the erase-to-end sequence redraw the line in place on a terminal.
  std::fprintf(FStream, "\r%s\x1b[K", FormatProgress(FDone, FTotal, elapsed, FUnit).c_str());
  std::fflush(FStream);
  FDrawn = true;
}

}  // namespace veltrane::cli
