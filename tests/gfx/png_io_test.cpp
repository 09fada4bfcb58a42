// The PNG loader and saver against crafted files: every format becomes
// 0xAARRGGBB, headers and chunks that claim gigabytes cost nothing, only
// regular files are read, and a failure is one line with the reason and
// nothing on stderr.

#if defined(QZ_HAVE_PNG)

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <qzgfx/qzgfx.h>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(std::uint8_t(v >> shift));
}

// A chunk whose length field says `claimed` (its data's size when 0).
Bytes chunk(const char* type, const Bytes& data, std::uint32_t claimed = 0) {
  Bytes out;
  out.reserve(12 + data.size());
  put32(out, claimed ? claimed : std::uint32_t(data.size()));
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(type[i]));
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  crc = crc32(crc, data.data(), uInt(data.size()));
  put32(out, std::uint32_t(crc));
  return out;
}

Bytes png(std::uint32_t width, std::uint32_t height, std::uint8_t depth, std::uint8_t colour_type,
          std::uint8_t interlace = 0) {
  Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes header;
  put32(header, width);
  put32(header, height);
  header.insert(header.end(), {depth, colour_type, 0, 0, interlace});
  const Bytes ihdr = chunk("IHDR", header);
  out.insert(out.end(), ihdr.begin(), ihdr.end());
  return out;
}

void add(Bytes& file, const Bytes& more) { file.insert(file.end(), more.begin(), more.end()); }

// The image data chunk of the filtered rows `raw`, and the end.
void finish(Bytes& file, const Bytes& raw) {
  Bytes packed(compressBound(uLong(raw.size())));
  uLongf size = uLongf(packed.size());
  compress(packed.data(), &size, raw.data(), uLong(raw.size()));
  packed.resize(size);
  add(file, chunk("IDAT", packed));
  add(file, chunk("IEND", {}));
}

class PngIo : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("qz-png-" + std::to_string(getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string& name, const Bytes& bytes) const {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }

  fs::path dir_;
};

// Read from the rows themselves: the loader decodes into them.
std::vector<std::uint32_t> pixels_of(qz_image* image) {
  std::vector<std::uint32_t> out;
  const auto* bytes = static_cast<const std::uint8_t*>(qz_image_pixels(image));
  for (int y = 0; y < qz_image_height(image); ++y)
    for (int x = 0; x < qz_image_width(image); ++x) {
      std::uint32_t p;
      std::memcpy(&p, bytes + std::size_t(y) * std::size_t(qz_image_pitch(image)) + std::size_t(x) * 4, 4);
      out.push_back(p);
    }
  return out;
}

TEST_F(PngIo, EveryFormatBecomesArgbInTheImagesRows) {
  // What the saver writes comes back as it was, alpha included.
  qz_image* saved = qz_image_create(3, 2, 4);
  ASSERT_NE(saved, nullptr);
  const std::vector<std::uint32_t> colours = {0x00000000u, 0xFF102030u, 0x80FFFFFFu,
                                              0x12345678u, 0xFEDCBA98u, 0x7F00FF00u};
  std::memcpy(qz_image_pixels(saved), colours.data(), 3 * 4);
  std::memcpy(static_cast<std::uint8_t*>(qz_image_pixels(saved)) + qz_image_pitch(saved), colours.data() + 3, 3 * 4);
  const std::string round_trip = (dir_ / "saved.png").string();
  ASSERT_EQ(qz_image_save_png(saved, round_trip.c_str()), 0) << qz_error_message();
  qz_image_free(saved);

  // Palette with transparency, interlaced: the 3 x 2 passes hold (0,0),
  // then (2,0), then (1,0), then the second row.
  Bytes palette_file = png(3, 2, 8, 3, 1);
  add(palette_file, chunk("PLTE", {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 8, 7, 255, 255, 255}));
  add(palette_file, chunk("tRNS", {0, 0x40}));
  finish(palette_file, {0, 0, 0, 2, 0, 1, 0, 3, 4, 5});

  // Grey and alpha of 16 bits, after a text chunk of 2 MB that is skipped.
  Bytes grey_file = png(2, 1, 16, 4);
  add(grey_file, chunk("tEXt", Bytes(2 << 20, 'x')));
  finish(grey_file, {0, 0x12, 0x99, 0xFF, 0xFF, 0xAB, 0x00, 0x80, 0x00});

  struct Case {
    const char* what;
    std::string path;
    std::vector<std::uint32_t> expected;
  };
  const Case cases[] = {
      {"saved by the library", round_trip, colours},
      {"palette, transparency, interlaced", write("palette.png", palette_file),
       {0x00000000u, 0x40FF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFF090807u, 0xFFFFFFFFu}},
      {"16-bit grey and alpha", write("grey.png", grey_file), {0xFF121212u, 0x80ABABABu}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    qz_image* image = qz_image_load_png(c.path.c_str());
    ASSERT_NE(image, nullptr) << qz_error_message();
    EXPECT_EQ(qz_image_bytes_per_pixel(image), 4);
    EXPECT_EQ(pixels_of(image), c.expected);
    qz_image_free(image);
  }
}

// What loading a file did in a process of its own: a load that blocks or
// allocates what a header claims cannot hang or swell the test itself.
struct ChildLoad {
  bool finished = false;  // false: still waiting after the deadline
  bool loaded = false;
  long grew_kb = 0;  // the peak resident size's growth during the load
  std::string message;
};

ChildLoad load_in_child(const std::string& path) {
  int out[2];
  if (pipe(out) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    close(out[0]);
    alarm(5);  // a load that blocks ends here
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    qz_image* image = qz_image_load_png(path.c_str());
    getrusage(RUSAGE_SELF, &after);
    const std::string report = std::to_string(image != nullptr) + " " +
                               std::to_string(after.ru_maxrss - before.ru_maxrss) + " " + qz_error_message();
    if (write(out[1], report.data(), report.size()) < 0) _exit(2);
    _exit(0);
  }
  close(out[1]);
  std::string report;
  char buffer[512];
  for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) report.append(buffer, std::size_t(n));
  close(out[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  ChildLoad result;
  result.finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (result.finished) {
    std::size_t end_flag = 0, end_kb = 0;
    result.loaded = std::stoi(report, &end_flag) != 0;
    result.grew_kb = std::stol(report.substr(end_flag), &end_kb);
    result.message = report.substr(end_flag + end_kb + 1);
  }
  return result;
}

TEST_F(PngIo, ClaimsInTinyFilesCostNeitherMemoryNorTime) {
  constexpr long kMostGrowthKb = 16 * 1024;

  Bytes huge_header = png(16384, 16384, 8, 0);  // 68 bytes of header, 1 GiB claimed
  finish(huge_header, Bytes(8, 0));
  Bytes text_claim = png(1, 1, 8, 0);  // 640 MB of international text claimed
  add(text_claim, chunk("iTXt", {'k', 0, 0, 0, 0, 0, 0}, 640'000'000));
  Bytes palette_claim = png(1, 1, 8, 0);  // 1.1 GB of suggested palette claimed
  add(palette_claim, chunk("sPLT", {'p', 0, 8, 0, 0, 0, 0, 0}, 1'100'000'000));
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);

  struct Case {
    const char* what;
    std::string path;
    const char* reason;
  };
  const Case cases[] = {
      {"16384 x 16384 header", write("huge.png", huge_header), "more than QZ_IMAGE_MAX_PIXELS"},
      {"iTXt of 640 MB", write("itxt.png", text_claim), "Read Error"},
      {"sPLT of 1.1 GB", write("splt.png", palette_claim), "Read Error"},
      {"FIFO nobody writes", (dir_ / "fifo").string(), "not a regular file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto start = std::chrono::steady_clock::now();
    const ChildLoad load = load_in_child(c.path);
    ASSERT_TRUE(load.finished) << "the load blocked or crashed";
    EXPECT_FALSE(load.loaded);
    EXPECT_LT(load.grew_kb, kMostGrowthKb);
    EXPECT_NE(load.message.find(c.reason), std::string::npos) << load.message;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  }

  // A valid file far smaller than its pixels is decoded into the image's
  // own memory once: no second copy of the 16 MiB.
  qz_image* blank = qz_image_create(2048, 2048, 4);
  ASSERT_NE(blank, nullptr);
  const std::string bomb = (dir_ / "bomb.png").string();
  ASSERT_EQ(qz_image_save_png(blank, bomb.c_str()), 0) << qz_error_message();
  qz_image_free(blank);
  const ChildLoad load = load_in_child(bomb);
  ASSERT_TRUE(load.finished);
  EXPECT_TRUE(load.loaded) << load.message;
#if !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)  // their shadow memory counts as resident
  EXPECT_LT(load.grew_kb, 24 * 1024);
#endif

  // Images are refused above the same limit, however they are made.
  EXPECT_EQ(qz_image_create(8193, 8192, 1), nullptr);
  EXPECT_NE(std::string(qz_error_message()).find("QZ_IMAGE_MAX_PIXELS"), std::string::npos);
  qz_image* longest = qz_image_create(65535, 1, 4);
  EXPECT_NE(longest, nullptr);
  qz_image_free(longest);
}

TEST_F(PngIo, FailuresSayWhyOnOneLineAndPrintNothing) {
  Bytes bad_filter = png(1, 1, 8, 0);
  finish(bad_filter, {7, 0});  // filter type 7 does not exist
  const std::string not_png = write("text.png", Bytes(64, 'a'));
  const std::string bad = write("filter.png", bad_filter);
  const std::string odd_name = (dir_ / "line\nbreak\x01.png").string();
  const std::string long_name = (dir_ / (std::string(200, 'n') + ".png")).string();

  struct Case {
    const char* what;
    std::string path;
    const char* reason;  // how the message ends
    const char* also = "";
  };
  const Case cases[] = {
      {"not a PNG", not_png, "Not a PNG file"},
      {"damaged rows", bad, "bad adaptive filter value"},
      {"missing file", (dir_ / "missing.png").string(), "No such file or directory"},
      {"control bytes in the name", odd_name, "line\\nbreak\\x01.png: No such file or directory"},
      {"a name longer than the message", long_name, "n.png: No such file or directory", "n...n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::testing::internal::CaptureStderr();
    qz_image* image = qz_image_load_png(c.path.c_str());
    const std::string printed = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(image, nullptr);
    const std::string message = qz_error_message();
    EXPECT_EQ(message.rfind("qz_image_load_png: ", 0), 0u) << message;
    EXPECT_TRUE(message.ends_with(c.reason)) << message;
    EXPECT_NE(message.find(c.also), std::string::npos) << message;
    EXPECT_EQ(message.find_first_of("\n\r"), std::string::npos) << message;
    EXPECT_EQ(printed, "");
  }

  qz_image* image = qz_image_create(2, 2, 4);
  const std::string nowhere = (dir_ / "missing" / "out.png").string();
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(qz_image_save_png(image, nowhere.c_str()), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(std::string(qz_error_message()), "qz_image_save_png: " + nowhere + ": No such file or directory");
  qz_image_free(image);
}

}  // namespace

#endif
