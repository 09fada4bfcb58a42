#include "bench/opencv_draw.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

namespace {

// 0xAARRGGBB in memory is B, G, R, A: channel order of an 8UC4 matrix.
cv::Scalar bgra(std::uint32_t c) {
  return cv::Scalar(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, c >> 24);
}

// Its fill takes one- or three-channel images only; a 32-bit integer view of
// the same pixels fills whole pixels.
cv::Scalar whole_pixel(std::uint32_t c) { return cv::Scalar(static_cast<double>(static_cast<std::int32_t>(c))); }

}  // namespace

void opencv_draw(std::uint8_t* frame, const Workload& workload) {
  cv::Mat pixels(kFrameHeight, kFrameWidth, CV_8UC4, frame, std::size_t(kFrameWidth) * 4);
  cv::Mat words(kFrameHeight, kFrameWidth, CV_32SC1, frame, std::size_t(kFrameWidth) * 4);
  int radius = static_cast<int>(workload.radius);
  for (const WorkloadItem& it : workload.items) {
    cv::Point a(it.x0, it.y0), b(it.x1, it.y1);
    switch (workload.kind) {
      case WorkloadKind::kBox: cv::rectangle(pixels, a, b, bgra(it.colour), cv::FILLED, cv::LINE_8); break;
      case WorkloadKind::kLines: cv::line(pixels, a, b, bgra(it.colour), 1, cv::LINE_8); break;
      case WorkloadKind::kCircles: cv::circle(pixels, a, radius, bgra(it.colour), 1, cv::LINE_8); break;
      case WorkloadKind::kFilledCircles: cv::circle(pixels, a, radius, bgra(it.colour), cv::FILLED, cv::LINE_8); break;
      case WorkloadKind::kRings: cv::circle(pixels, a, radius, bgra(it.border), 1, cv::LINE_8); break;
      case WorkloadKind::kRingsAndFills:
        cv::circle(pixels, a, radius, bgra(it.border), 1, cv::LINE_8);
        cv::floodFill(words, a, whole_pixel(it.colour));
        break;
      case WorkloadKind::kFill: cv::floodFill(words, a, whole_pixel(it.colour)); break;
    }
  }
}
