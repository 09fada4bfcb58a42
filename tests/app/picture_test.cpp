// The program's picture, exact to the pixel: the table the sweep computes,
// golden hashes of the framebuffer after the first three phases and after
// animation frames, and the facts that locate a difference quickly.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <vector>

#include "app/scene.h"
#include "display/screen_mode.h"
#include "gfx/builtin_data.h"
#include "tests/support/sha256.h"

using namespace qz;

namespace {

constexpr int kWidth = 1680, kHeight = 1050;

struct Picture {
  std::vector<std::uint32_t> pixels;  // after phases 1-3
  std::map<int, std::string> frame_hashes;
  LinkageTable table;
  std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * kWidth + std::size_t(x)]; }
};

std::string hash_rows(const std::uint8_t* frame, int first_row, int rows) {
  return sha256_hex(frame + std::size_t(first_row) * kWidth * 4, std::size_t(rows) * kWidth * 4);
}

// Keeps the actual picture next to the build when a golden hash fails.
std::string save_actual(const std::uint8_t* frame, const std::string& name) {
  std::string path = std::string(QZ_BINARY_DIR) + "/" + name + ".bgra";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(frame), std::streamsize(kWidth) * kHeight * 4);
  return path;
}

class ProgramPicture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("QZGFX", "null", 1);
    picture_ = new Picture;
    setup_scene(0, nullptr);
    ASSERT_NE(current_mode(), nullptr);
    const SceneConstants scene = make_scene_constants();
    compute_sweep(scene, picture_->table);
    draw_static_chart(scene, picture_->table);
    const std::uint8_t* frame = current_mode()->visible_framebuffer;
    picture_->pixels.resize(std::size_t(kWidth) * kHeight);
    std::memcpy(picture_->pixels.data(), frame, picture_->pixels.size() * 4);
    AnimationState state;
    for (int k = 1; k <= 172; ++k) {
      animation_frame(scene, picture_->table, state, false);
      if (k == 1 || k == 2 || k == 72 || k == 73 || k == 100 || k == 172) {
        picture_->frame_hashes[k] = hash_rows(frame, 0, kHeight);
        if (kFrameHashes.count(k) && picture_->frame_hashes[k] != kFrameHashes.at(k)) save_actual(frame, "actual-frame-" + std::to_string(k));
      }
    }
  }
  static void TearDownTestSuite() {
    gfx_screen_close();
    delete picture_;
  }
  static inline Picture* picture_ = nullptr;
  static inline const std::map<int, std::string> kFrameHashes = {
      {1, "e970e37cdcf6100543f2dfe19fc4b72047723f10c4e57331ab77bfadc8a75223"},
      {2, "93561b358c670d9e7be62e94e64d05604e2b878e11e9aacfce4630b5e7366040"},
      {72, "6513dc1fa5dfa941726d2caadb8281a3bc43895d76e772096e90d53534d22f1d"},
      {73, "6513dc1fa5dfa941726d2caadb8281a3bc43895d76e772096e90d53534d22f1d"},
  };
};

TEST_F(ProgramPicture, SceneConstants) {
  SceneConstants s = make_scene_constants();
  EXPECT_EQ(s.step_count, 72);
  EXPECT_EQ(s.model_crank_y, 933.0);
  EXPECT_EQ(s.crank_centre_y, 489.0);
  EXPECT_DOUBLE_EQ(s.scaled_crank_length, 166.8726823238566);
  EXPECT_EQ(nearest(2.5), 2);
  EXPECT_EQ(nearest(3.5), 4);
}

TEST_F(ProgramPicture, LinkageTableRows) {
  struct Row { int j; std::int64_t v[8]; };
  const Row rows[] = {
      {1, {950, 221, 700, 221, 1200, 221, 950, 322}},   {2, {943, 221, 694, 239, 1192, 203, 965, 323}},
      {10, {893, 246, 682, 342, 1104, 150, 1068, 371}}, {19, {869, 306, 705, 378, 1033, 234, 1117, 489}},
      {36, {943, 388, 908, 389, 978, 387, 965, 655}},   {37, {950, 388, 917, 388, 983, 388, 950, 656}},
      {55, {1031, 306, 867, 234, 1195, 378, 783, 489}}, {62, {1016, 258, 815, 162, 1217, 354, 813, 393}},
      {72, {957, 221, 708, 203, 1206, 239, 935, 323}},
  };
  const LinkageTable& t = picture_->table;
  for (const Row& r : rows) {
    std::int64_t got[8] = {t.mid_x[r.j], t.mid_y[r.j], t.left_joint_x[r.j], t.left_joint_y[r.j],
                           t.right_joint_x[r.j], t.right_joint_y[r.j], t.pin_x[r.j], t.pin_y[r.j]};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(got[i], r.v[i]) << "row " << r.j << " value " << i;
  }
  EXPECT_EQ(t.mid_x[0], 0);
  EXPECT_EQ(t.joint_sum_x[0], 0);
  EXPECT_EQ(t.joint_sum_x[1], 950);
  EXPECT_EQ(t.joint_sum_x[37], 950);
  EXPECT_EQ(t.joint_sum_x[19], 788);
  EXPECT_EQ(t.joint_sum_x[55], 1112);
  for (int j = 1; j <= 72; ++j) EXPECT_EQ(t.joint_sum_x[j], t.left_joint_x[j] + t.right_joint_x[j] - 950);
}

TEST_F(ProgramPicture, GoldenHashAfterSweepAndChart) {
  const auto* frame = reinterpret_cast<const std::uint8_t*>(picture_->pixels.data());
  const char* bands[21] = {"bd929dab", "ea280ec9", "043eb00e", "d2ca5a10", "bd4f5a73", "1ec447c6", "8548db94",
                           "96d3cbee", "c4c11685", "c7fcb10c", "9a785753", "3a547535", "8ed7078e", "635e908e",
                           "afb4e303", "7b48bd50", "0c247f99", "a0654c28", "0dc1689f", "bd929dab", "bd929dab"};
  std::string whole = hash_rows(frame, 0, kHeight);
  if (whole != "500c4478494bbc68603205c8d54ec7c81e17abe453b2ff143b8ebb1ce534ffcb")
    ADD_FAILURE() << "picture differs; actual kept in " << save_actual(frame, "actual-phases-1-3");
  for (int b = 0; b < 21; ++b) EXPECT_EQ(hash_rows(frame, b * 50, 50).substr(0, 8), bands[b]) << "rows " << b * 50 << "-" << b * 50 + 49;
}

TEST_F(ProgramPicture, GoldenHashesAfterAnimationFrames) {
  for (const auto& [k, expected] : kFrameHashes)
    EXPECT_EQ(picture_->frame_hashes.at(k), expected) << "after " << k << " frames (actual kept as actual-frame-" << k << ".bgra)";
}

// After its first cycle the animation repeats every cycle: the snapshot
// tool relies on it to answer any frame count at once.
TEST_F(ProgramPicture, AnimationRepeatsAfterItsFirstCycle) {
  EXPECT_EQ(picture_->frame_hashes.at(100), picture_->frame_hashes.at(172));
}

TEST_F(ProgramPicture, LandmarksOfTheChart) {
  const Picture& p = *picture_;
  // The rays start at (950, 304.5), which becomes row 305.
  EXPECT_EQ(p.at(940, 305), 0xFFFFFFFFu);
  // Highlight boxes: left edges on columns 1118 (blue) and 773 (red).
  EXPECT_EQ(p.at(1118, 547), 0xFF0000FFu);
  EXPECT_EQ(p.at(1190, 547), 0xFF0000FFu);
  EXPECT_NE(p.at(1117, 547), 0xFF0000FFu);
  EXPECT_EQ(p.at(773, 807), 0xFFFF0000u);
  EXPECT_EQ(p.at(845, 807), 0xFFFF0000u);
  EXPECT_NE(p.at(772, 807), 0xFFFF0000u);
  // The thick bar: black on columns 949 and 951, the guide line on 950.
  for (int y : {323, 400, 535}) {
    EXPECT_EQ(p.at(949, y), 0xFF000000u) << y;
    EXPECT_EQ(p.at(951, y), 0xFF000000u) << y;
    EXPECT_EQ(p.at(950, y), kGuideColour) << y;
  }
  EXPECT_NE(p.at(949, 537), 0xFF000000u);
}

TEST_F(ProgramPicture, PivotLabelStaysInItsCells) {
  const FontRecord& font = builtin_font(0);
  int glyph_bits = 0;
  for (unsigned char ch : std::string("PIVOT"))
    for (int r = 0; r < 8; ++r) glyph_bits += __builtin_popcount(font.glyphs[ch * 8 + r]);
  int label_pixels = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      if (picture_->at(x, y) == 0x00000000u) {
        ++label_pixels;
        EXPECT_TRUE(x >= 932 && x <= 971 && y >= 80 && y <= 87) << x << "," << y;
      }
  EXPECT_EQ(label_pixels, glyph_bits);
}

}  // namespace
