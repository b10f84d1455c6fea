#include "app/scene.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>

#include "app/font.h"

namespace halvex {
namespace demo {
namespace {

constexpr Rgb kBarColours[] = {
    {191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
    {191, 0, 191},   {191, 0, 0},   {0, 0, 191},
};
constexpr int kBarCount = static_cast<int>(sizeof(kBarColours) / sizeof(kBarColours[0]));

constexpr Rgb kBlack = {0, 0, 0};
constexpr Rgb kWhite = {255, 255, 255};

// The square crosses the picture and comes back once in this many seconds.
constexpr double kSquareRoundTripSeconds = 2.0;

double SecondsAt(int64_t frame_index, double fps) {
  return fps > 0 ? static_cast<double>(frame_index) / fps : 0.0;
}

void DrawBarsAndRamp(Image& image, int bars_bottom, bool flash) {
  const int width = image.width();
  for (int bar = 0; bar < kBarCount; ++bar) {
    const int left = static_cast<int>(static_cast<int64_t>(width) * bar / kBarCount);
    const int right = static_cast<int>(static_cast<int64_t>(width) * (bar + 1) / kBarCount);
    image.FillRect(left, 0, right - left, bars_bottom, kBarColours[bar]);
  }
  if (flash) {
    image.FillRect(0, bars_bottom, width, image.height() - bars_bottom, kWhite);
    return;
  }
  const int ramp_span = std::max(width - 1, 1);
  for (int x = 0; x < width; ++x) {
    const uint8_t level = static_cast<uint8_t>(static_cast<int64_t>(x) * 255 / ramp_span);
    image.FillRect(x, bars_bottom, 1, image.height() - bars_bottom, Rgb{level, level, level});
  }
}

int LabelScale(const Image& image) {
  return std::max(1, image.height() / 180);
}

// Height of the black box behind the two label lines: a margin, a line, a gap, a line, a margin.
int LabelBoxHeight(int scale) {
  return 2 * TextHeight(scale) + 6 * scale;
}

// The square stays below the labels, which would hide it in small frames.
void DrawMovingSquare(Image& image, int bars_bottom, int labels_bottom, double seconds) {
  const int side = std::max(2, image.height() / 5);
  const int travel = std::max(image.width() - side, 0);
  const double phase = std::fmod(seconds / kSquareRoundTripSeconds, 1.0);
  const double across = phase < 0.5 ? phase * 2.0 : (1.0 - phase) * 2.0;
  const int left = static_cast<int>(std::lround(across * travel));
  const int top = std::max({(bars_bottom - side) / 2, labels_bottom, 0});
  const int border = std::max(1, side / 8);
  image.FillRect(left, top, side, side, kWhite);
  image.FillRect(left + border, top + border, side - 2 * border, side - 2 * border, kBlack);
}

void DrawLabels(Image& image, int64_t frame_index, double fps) {
  const int scale = LabelScale(image);
  const std::string frame_text = FrameLabel(frame_index);
  const std::string time_text = TimeLabel(frame_index, fps);
  const int margin = 2 * scale;
  const int line_gap = 2 * scale;
  const int box_width =
      std::max(TextWidth(frame_text, scale), TextWidth(time_text, scale)) + 2 * margin;
  image.FillRect(0, 0, box_width, LabelBoxHeight(scale), kBlack);
  DrawText(image, margin, margin, frame_text, scale, kWhite);
  DrawText(image, margin, margin + TextHeight(scale) + line_gap, time_text, scale, kWhite);
}

// Odd half seconds (0.5 s, 1.5 s, ...) reached by frame `frame_index`'s time.
int64_t FlashMarksReached(int64_t frame_index, double fps) {
  const auto halves = static_cast<int64_t>(std::floor(SecondsAt(frame_index, fps) * 2.0));
  return (halves + 1) / 2;
}

}  // namespace

bool IsFlashFrame(int64_t frame_index, double fps) {
  if (frame_index <= 0 || !(fps > 0)) {
    return false;
  }
  return FlashMarksReached(frame_index, fps) > FlashMarksReached(frame_index - 1, fps);
}

std::string FrameLabel(int64_t frame_index) {
  char text[32];
  std::snprintf(text, sizeof(text), "FRAME %04" PRId64, frame_index);
  return text;
}

std::string TimeLabel(int64_t frame_index, double fps) {
  const int64_t milliseconds = std::llround(SecondsAt(frame_index, fps) * 1000.0);
  char text[48];
  std::snprintf(text, sizeof(text), "%02" PRId64 ":%02" PRId64 ".%03" PRId64, milliseconds / 60000,
                (milliseconds / 1000) % 60, milliseconds % 1000);
  return text;
}

Image DrawTestScene(int width, int height, int64_t frame_index, double fps) {
  Image image(width, height);
  if (image.empty()) {
    return image;
  }
  const int bars_bottom = height * 2 / 3;
  DrawBarsAndRamp(image, bars_bottom, IsFlashFrame(frame_index, fps));
  DrawMovingSquare(image, bars_bottom, LabelBoxHeight(LabelScale(image)),
                   SecondsAt(frame_index, fps));
  DrawLabels(image, frame_index, fps);
  return image;
}

}  // namespace demo
}  // namespace halvex
