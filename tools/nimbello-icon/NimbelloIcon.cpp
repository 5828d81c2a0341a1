// nimbello-icon: draws the tray's usage-graph icon with the applet's own renderer, one picture per
// percentage and all with one renderer, so the history and the grid phase carry over exactly as
// they do in the applet, and writes the pictures as 8-bit RGB PNG files.
#include <png.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/base/Text.h"
#include "tray/CustomTrayIconImage.h"

namespace {

constexpr const char* Usage =
    "usage: nimbello-icon [--size W | --size WxH] [--background NAME] [--grid NAME] [--bar NAME]\n"
    "                     --out DIR [--strip FILE [--scale N]] P1 [P2 ...]\n";

constexpr const char* Help =
    "Draws the tray applet's usage-graph icon for the memory-use percentages P1, P2, ... in "
    "order,\n"
    "with one renderer (the bar history and the moving grid carry over from picture to picture),\n"
    "and writes DIR/0001.png, DIR/0002.png, ... as 8-bit RGB PNG files of the picture's size.\n"
    "\n"
    "  --size W, --size WxH  the small-icon metrics (default 16, that is 16x16); either one above\n"
    "                        64 gives a 64x64 picture (72x16 gives 64x64), less than 4x3 gives "
    "4x3\n"
    "  --background NAME     background colour (default clBlack)\n"
    "  --grid NAME           grid colour (default clGreen)\n"
    "  --bar NAME            bar colour (default clLime)\n"
    "  --out DIR             folder for the pictures (made when missing)\n"
    "  --strip FILE          also write all pictures side by side into one PNG file\n"
    "  --scale N             enlarge every picture of the strip N times (1 to 64, default 1)\n"
    "  --help                this text\n"
    "\n"
    "Colours are what the applet's settings hold: one of the 52 names (clBlack, clLime, "
    "clBtnFace,\n"
    "... in any letter case) or a number in decimal or hexadecimal ($, x, 0x) read as 0x00BBGGRR.\n"
    "System colours (clBtnFace, $FF00000F, ...) are drawn in the classic Windows default scheme:\n"
    "\n"
    "%s"
    "\n"
    "Other system colour indexes give black, as GetSysColor does for an index it does not know.\n"
    "Exit codes: 0 done, 1 a colour the renderer rejects or a file that cannot be written (no "
    "file\n"
    "is written for a rejected colour), 2 a usage error.\n";

struct SchemeColor {
  int32_t index;
  const char* name;
  uint8_t red, green, blue;
};

// The classic Windows default scheme ("Windows Standard"), by GetSysColor index.
constexpr SchemeColor ClassicScheme[] = {
    {0, "clScrollBar", 212, 208, 200},
    {1, "clBackground", 58, 110, 165},
    {2, "clActiveCaption", 10, 36, 106},
    {3, "clInactiveCaption", 128, 128, 128},
    {4, "clMenu", 212, 208, 200},
    {5, "clWindow", 255, 255, 255},
    {6, "clWindowFrame", 0, 0, 0},
    {7, "clMenuText", 0, 0, 0},
    {8, "clWindowText", 0, 0, 0},
    {9, "clCaptionText", 255, 255, 255},
    {10, "clActiveBorder", 212, 208, 200},
    {11, "clInactiveBorder", 212, 208, 200},
    {12, "clAppWorkSpace", 128, 128, 128},
    {13, "clHighlight", 10, 36, 106},
    {14, "clHighlightText", 255, 255, 255},
    {15, "clBtnFace", 212, 208, 200},
    {16, "clBtnShadow", 128, 128, 128},
    {17, "clGrayText", 128, 128, 128},
    {18, "clBtnText", 0, 0, 0},
    {19, "clInactiveCaptionText", 212, 208, 200},
    {20, "clBtnHighlight", 255, 255, 255},
    {21, "cl3DDkShadow", 64, 64, 64},
    {22, "cl3DLight", 212, 208, 200},
    {23, "clInfoText", 0, 0, 0},
    {24, "clInfoBk", 255, 255, 225},
    {25, "(no name)", 181, 181, 181},
    {26, "clHotLight", 0, 0, 128},
    {27, "clGradientActiveCaption", 166, 202, 240},
    {28, "clGradientInactiveCaption", 192, 192, 192},
    {29, "clMenuHighlight", 10, 36, 106},
    {30, "clMenuBar", 212, 208, 200},
};

std::string SchemeTable() {
  std::string table;
  char line[96];
  for (const auto& c : ClassicScheme) {
    std::snprintf(line, sizeof line, "    %2d  %-26s %3d, %3d, %3d\n", c.index, c.name, c.red,
                  c.green, c.blue);
    table += line;
  }
  return table;
}

// The platform as the preview needs it: fixed metrics, the classic scheme, and icons that are
// just the pictures, kept for writing.
class PreviewIconFactory : public IconFactoryPort {
 public:
  explicit PreviewIconFactory(SmallIconMetrics metrics) : metrics_(metrics) {}

  SmallIconMetrics GetSmallIconMetrics() override { return metrics_; }
  uint32_t GetSysColor(int32_t index) override {
    for (const auto& c : ClassicScheme) {
      if (c.index == index) {
        return c.red | uint32_t{c.green} << 8 | uint32_t{c.blue} << 16;
      }
    }
    return 0;
  }
  IconHandle CreateIcon(const IconPicture& picture) override {
    pictures.push_back(picture);
    return &pictures.back();
  }
  void DestroyIcon(IconHandle) override {}

  std::vector<IconPicture> pictures;

 private:
  SmallIconMetrics metrics_;
};

struct Options {
  SmallIconMetrics metrics{16, 16};
  std::string background = "clBlack";
  std::string grid = "clGreen";
  std::string bar = "clLime";
  std::string out;
  std::string strip;
  int32_t scale = 1;
  std::vector<int32_t> percents;
};

struct UsageError {
  std::string message;
};

std::optional<int32_t> ParseInt32(std::string_view text) {
  int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) {
    return std::nullopt;
  }
  return value;
}

SmallIconMetrics ParseSize(const std::string& text) {
  const size_t x = text.find_first_of("xX");
  const auto cx = ParseInt32(std::string_view(text).substr(0, x));
  const auto cy = x == std::string::npos ? cx : ParseInt32(std::string_view(text).substr(x + 1));
  if (!cx || !cy || *cx < 1 || *cy < 1) {
    throw UsageError{"--size wants W or WxH with positive whole numbers, not \"" + text + "\""};
  }
  return {*cx, *cy};
}

Options ParseArguments(int argc, char** argv) {
  Options options;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (optionsEnded || !arg.starts_with("--")) {
      const auto percent = ParseInt32(arg);
      if (!percent) {
        throw UsageError{"\"" + arg + "\" is not a whole-number percentage"};
      }
      options.percents.push_back(*percent);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string value;
    bool hasValue = false;
    if (const size_t eq = arg.find('='); eq != std::string::npos) {
      value = arg.substr(eq + 1);
      arg.resize(eq);
      hasValue = true;
    }
    const auto takeValue = [&]() -> std::string {
      if (hasValue) {
        return value;
      }
      if (i + 1 >= argc) {
        throw UsageError{arg + " wants a value"};
      }
      return argv[++i];
    };
    if (arg == "--size") {
      options.metrics = ParseSize(takeValue());
    } else if (arg == "--background") {
      options.background = takeValue();
    } else if (arg == "--grid") {
      options.grid = takeValue();
    } else if (arg == "--bar") {
      options.bar = takeValue();
    } else if (arg == "--out") {
      options.out = takeValue();
    } else if (arg == "--strip") {
      options.strip = takeValue();
    } else if (arg == "--scale") {
      const std::string text = takeValue();
      const auto scale = ParseInt32(text);
      if (!scale || *scale < 1 || *scale > 64) {
        throw UsageError{"--scale wants a whole number from 1 to 64, not \"" + text + "\""};
      }
      options.scale = *scale;
    } else {
      throw UsageError{"unknown option " + arg};
    }
  }
  if (options.out.empty()) {
    throw UsageError{"--out DIR is required"};
  }
  if (options.percents.empty()) {
    throw UsageError{"give at least one percentage"};
  }
  return options;
}

// An 8-bit RGB image, row by row from the top.
struct RgbImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<png_byte> bytes;
};

RgbImage RgbOf(const IconPicture& picture) {
  RgbImage image{
      static_cast<uint32_t>(picture.Width()), static_cast<uint32_t>(picture.Height()), {}};
  image.bytes.reserve(picture.Pixels().size() * 3);
  for (const uint32_t color : picture.Pixels()) {
    image.bytes.push_back(RedOf(color));
    image.bytes.push_back(GreenOf(color));
    image.bytes.push_back(BlueOf(color));
  }
  return image;
}

// Every picture enlarged `scale` times (each pixel a scale × scale square), left to right.
RgbImage StripOf(const std::vector<IconPicture>& pictures, int32_t scale) {
  RgbImage strip;
  for (const auto& p : pictures) {
    strip.width += static_cast<uint32_t>(p.Width() * scale);
    strip.height = std::max(strip.height, static_cast<uint32_t>(p.Height() * scale));
  }
  strip.bytes.assign(size_t{strip.width} * strip.height * 3, 0);
  size_t left = 0;
  for (const auto& p : pictures) {
    for (uint32_t y = 0; y < static_cast<uint32_t>(p.Height() * scale); ++y) {
      for (uint32_t x = 0; x < static_cast<uint32_t>(p.Width() * scale); ++x) {
        const uint32_t color =
            p.Pixel(static_cast<int32_t>(x) / scale, static_cast<int32_t>(y) / scale);
        png_byte* out = &strip.bytes[(size_t{y} * strip.width + left + x) * 3];
        out[0] = RedOf(color);
        out[1] = GreenOf(color);
        out[2] = BlueOf(color);
      }
    }
    left += static_cast<size_t>(p.Width() * scale);
  }
  return strip;
}

// libpng reports errors by longjmp; this function holds no object with a destructor across it.
bool WritePngFile(FILE* file, const RgbImage& image, png_bytep* rows) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) {
    return false;
  }
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WritePng(const std::filesystem::path& path, const RgbImage& image) {
  std::vector<png_bytep> rows;
  for (uint32_t y = 0; y < image.height; ++y) {
    rows.push_back(const_cast<png_bytep>(&image.bytes[size_t{y} * image.width * 3]));
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "nimbello-icon: cannot write %s: %s\n", path.c_str(),
                 std::strerror(errno));
    return false;
  }
  const bool written = WritePngFile(file, image, rows.data());
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::fprintf(stderr, "nimbello-icon: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

int Run(const Options& options) {
  // Every colour is checked before anything is drawn or written, so a rejected one leaves no
  // file behind.
  const std::pair<const char*, const std::string*> colours[] = {
      {"--background", &options.background}, {"--grid", &options.grid}, {"--bar", &options.bar}};
  for (const auto& [option, name] : colours) {
    if (!ColorFromName(FromUtf8(*name))) {
      std::fprintf(stderr, "nimbello-icon: %s \"%s\" is not a colour name or number (try --help)\n",
                   option, name->c_str());
      return 1;
    }
  }

  PreviewIconFactory factory(options.metrics);
  CustomTrayIconImage renderer(factory);
  const std::u16string background = FromUtf8(options.background);
  const std::u16string grid = FromUtf8(options.grid);
  const std::u16string bar = FromUtf8(options.bar);
  std::vector<IconPicture> pictures;
  for (const int32_t percent : options.percents) {
    if (renderer.RenderUsageIcon(background, grid, bar, percent) == nullptr) {
      std::fprintf(stderr, "nimbello-icon: the renderer drew no picture for %d %%\n", percent);
      return 1;
    }
    renderer.ReleaseUsageIcon();
    pictures.push_back(factory.pictures.back());
  }

  std::error_code error;
  std::filesystem::create_directories(options.out, error);
  if (error) {
    std::fprintf(stderr, "nimbello-icon: cannot make %s: %s\n", options.out.c_str(),
                 error.message().c_str());
    return 1;
  }
  for (size_t i = 0; i < pictures.size(); ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%04zu.png", i + 1);
    if (!WritePng(std::filesystem::path(options.out) / name, RgbOf(pictures[i]))) {
      return 1;
    }
  }
  if (!options.strip.empty() && !WritePng(options.strip, StripOf(pictures, options.scale))) {
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::printf(Help, SchemeTable().c_str());
      std::printf("\n%s", Usage);
      return 0;
    }
    if (std::strcmp(argv[i], "--") == 0) {
      break;
    }
  }
  try {
    return Run(ParseArguments(argc, argv));
  } catch (const UsageError& e) {
    std::fprintf(stderr, "nimbello-icon: %s\n%s", e.message.c_str(), Usage);
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "nimbello-icon: %s\n", e.what());
    return 1;
  }
}
