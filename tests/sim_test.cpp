// korvindel-sim: its script language, its frame output and its snapshots.
#include <gif_lib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Animation.h"
#include "Session.h"
#include "Snapshot.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

sim::Options options(bool json = true) {
  sim::Options result;
  result.plugin = KORVINDEL_MODULE;
  result.font = KORVINDEL_FONT;
  result.json = json;
  return result;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) result.push_back(line);
  return result;
}

TEST(SimScript, StopsAtTheFirstBadLineNamingItAndWhatIsWrong) {
  struct Case {
    const char* line;
    const char* message;
  };
  const Case cases[] = {
      {"jump 3", "line 2: unknown console variable 'jump'"},
      {"korvindel_xpos left", "line 2: 'left' is not a number"},
      {"korvindel_show", "line 2: expected 'korvindel_show VALUE' or a command"},
      {"state lobby", "line 2: unknown game state 'lobby'"},
      {"balls -1", "line 2: ball count -1 is outside 0 to 1000"},
      {"balls replay 2", "line 2: '2' is not 0 or 1"},
      {"balls kickoff 1", "line 2: unknown event 'kickoff'"},
      {"velocity 1 2", "line 2: expected 'velocity X Y Z'"},
      {"velocity 1 2 fast", "line 2: 'fast' is not a valid number"},
      {"explosion", "line 2: expected 'explosion T'"},
      {"canvas 0 1080", "line 2: canvas width 0 is outside 1 to 8192"},
      {"canvas 1920 99999999999", "line 2: '99999999999' is not a valid canvas height"},
      {"frame 0", "line 2: frame count 0 is outside 1 to 100000"},
      {"frame 1.5", "line 2: '1.5' is not a valid frame count"},
      {"snapshot", "line 2: expected 'snapshot FILE.png'"},
      {"snapshot /nonexistent/dir/x.png", "line 2: cannot write /nonexistent/dir/x.png"},
      {"load", "line 2: the plugin is already loaded"},
      {"unload extra", "line 2: expected 'unload'"},
      {"record", "line 2: expected 'record FILE.gif' or 'record stop'"},
      {"record stop", "line 2: 'record stop' without a 'record' before it"},
      {"record /nonexistent/dir/x.gif", "line 2: cannot write /nonexistent/dir/x.gif"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::ostringstream out;
    sim::Session session(options(), out);
    std::istringstream script(std::string("frame\n") + c.line + "\nframe\n");
    try {
      session.run(script);
      ADD_FAILURE() << "no error";
    } catch (const sim::SessionError& error) {
      EXPECT_THAT(error.what(), HasSubstr(c.message));
      EXPECT_EQ(error.line(), 2u);
    }
    EXPECT_EQ(lines(out.str()).size(), 1u) << "the frame before the error stays printed, none after it";
  }
}

TEST(SimSession, PlaysAScriptFrameByFrameAsJson) {
  std::ostringstream out;
  sim::Options withCalls = options();
  withCalls.calls = true;
  sim::Session session(withCalls, out);
  std::istringstream script(R"(
# comments and blank lines are skipped
state freeplay
velocity 1000 0 0
frame
korvindel_show 1
frame
explosion nan
velocity 3000 4000 0
korvindel_mph 1
korvindel_r 256
korvindel_xpos 0.5
korvindel_textsize 1.5
frame
explosion -0
frame
state replay
balls replay 0
frame
unload
load
korvindel_show 0
state spectate
frame
)");
  session.run(script);
  auto frames = lines(out.str());
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames[0], R"({"frame":1,"draws":[],"calls":[]})");
  EXPECT_EQ(
      frames[1],
      R"({"frame":2,"draws":[{"text":"36.00 km/h","color":[255,255,255,255],"position":[0,0],"scale":[1,1]}],)"
      R"("calls":["IsInFreeplay","GetGameEventAsServer","GetGameBalls","Count","GetGameEventAsServer",)"
      R"("GetGameBalls","Get","IsNull","GetRBState","GetExplosionTime","SetColor","GetSize","GetSize",)"
      R"("SetPosition","DrawString"]})");
  EXPECT_THAT(frames[2],
              HasSubstr(R"("draws":[{"text":"36.00 km/h","color":[0,255,255,255],"position":[960,0],)"
                        R"("scale":[1.5,1.5]}])"));
  EXPECT_THAT(frames[3], HasSubstr(R"({"text":"111.84 mph")"));
  EXPECT_THAT(frames[4], HasSubstr(R"("draws":[],)"));
  EXPECT_THAT(frames[5], HasSubstr(R"({"frame":6,"draws":[],"calls":[]})"));
}

TEST(SimSession, PrintsAReadableLogWithWhatChangedTheGame) {
  std::ostringstream out;
  sim::Session session(options(false), out);
  std::istringstream script(
      "# a goal\nstate  freeplay\nkorvindel_show 1\nvelocity 1000 0 0\nexplosion 1\nframe\n\nstate\nframe\n");
  session.run(script);
  EXPECT_THAT(lines(out.str()),
              ElementsAre("# a goal", "> state  freeplay", "> korvindel_show 1", "> velocity 1000 0 0",
                          "> explosion 1", "frame  state                 drawn",
                          R"(    1  freeplay (exploding)  ""  rgba(255,255,255,255)  at (0,0)  scale 1x1)",
                          "> state", "    2  menu                  nothing drawn"));
}

std::pair<std::uint32_t, std::uint32_t> pngSize(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  unsigned char header[24] = {};
  file.read(reinterpret_cast<char*>(header), sizeof header);
  auto big = [&](int at) {
    return std::uint32_t{header[at]} << 24 | std::uint32_t{header[at + 1]} << 16 |
           std::uint32_t{header[at + 2]} << 8 | header[at + 3];
  };
  EXPECT_EQ(std::string(reinterpret_cast<char*>(header) + 1, 3), "PNG");
  return {big(16), big(20)};
}

TEST(SimSnapshot, WritesThePictureOfTheLastFrameInTheCanvasSize) {
  auto path = std::filesystem::temp_directory_path() / "korvindel-sim-test.png";
  std::ostringstream out;
  sim::Session session(options(), out);
  std::istringstream script("canvas 320 200\nstate freeplay\nkorvindel_show 1\nframe\nsnapshot " +
                            path.string() + "\n");
  session.run(script);
  EXPECT_EQ(pngSize(path), std::make_pair(320u, 200u));
  std::filesystem::remove(path);
}

TEST(SimSnapshot, PaintsTheTextInItsColourWhereItIsDrawn) {
  standin::DrawnText text{"88.88 km/h", {255, 0, 0, 255}, {100, 50}, 2.0f, 2.0f};
  sim::Image image = sim::paint({400, 200}, {text}, KORVINDEL_FONT);
  auto isRed = [&](std::int32_t x, std::int32_t y) {
    const std::uint8_t* p = image.pixel(x, y);
    return p[0] == 255 && p[1] == 0 && p[2] == 0;
  };
  int inside = 0;
  int outside = 0;
  for (std::int32_t y = 0; y < image.height; ++y) {
    for (std::int32_t x = 0; x < image.width; ++x) {
      bool inBox = x >= 100 && y >= 50 && y < 50 + 2 * sim::kBasePixelSize + 8;
      (inBox ? inside : outside) += isRed(x, y);
    }
  }
  EXPECT_GT(inside, 200);
  EXPECT_EQ(outside, 0);
  const std::uint8_t* corner = image.pixel(0, 0);
  EXPECT_THAT(std::vector<int>(corner, corner + 3), ElementsAre(0x3c, 0x40, 0x46));

  // Half-transparent text blends with the backdrop; far-off or zero-sized text paints nothing.
  text.color[3] = 128;
  sim::Image blended = sim::paint({400, 200}, {text}, KORVINDEL_FONT);
  EXPECT_EQ(std::count(blended.rgb.begin(), blended.rgb.end(), 255), 0);
  EXPECT_NE(blended.rgb, sim::paint({400, 200}, {}, KORVINDEL_FONT).rgb);
  standin::DrawnText offscreen{"1", {255, 0, 0, 255}, {INT32_MIN, INT32_MAX}, 20.0f, 20.0f};
  standin::DrawnText empty{"1", {255, 0, 0, 255}, {10, 10}, 0.0f, 0.0f};
  sim::Image blank = sim::paint({64, 64}, {offscreen, empty}, KORVINDEL_FONT);
  EXPECT_EQ(blank.rgb, sim::paint({64, 64}, {}, KORVINDEL_FONT).rgb);
}

// An animated GIF decoded with giflib: each frame as it shows, after the images before it are painted over.
struct DecodedGif {
  int width = 0;
  int height = 0;
  bool loops = false;
  std::vector<int> delays;
  std::vector<sim::Image> frames;
};

DecodedGif decodeGif(const std::filesystem::path& path) {
  DecodedGif result;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.string().c_str(), &error);
  if (gif == nullptr) {
    ADD_FAILURE() << "cannot open " << path << ": " << GifErrorString(error);
    return result;
  }
  EXPECT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
  result.width = gif->SWidth;
  result.height = gif->SHeight;
  sim::Image screen{gif->SWidth, gif->SHeight,
                    std::vector<std::uint8_t>(std::size_t(gif->SWidth) * gif->SHeight * 3)};
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& image = gif->SavedImages[i];
    for (int e = 0; e + 1 < image.ExtensionBlockCount; ++e) {
      const ExtensionBlock& block = image.ExtensionBlocks[e];
      if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
          std::string(reinterpret_cast<char*>(block.Bytes), 11) == "NETSCAPE2.0") {
        const ExtensionBlock& loop = image.ExtensionBlocks[e + 1];
        result.loops = loop.ByteCount == 3 && loop.Bytes[0] == 1 && loop.Bytes[1] == 0 && loop.Bytes[2] == 0;
      }
    }
    GraphicsControlBlock control{};
    EXPECT_EQ(DGifSavedExtensionToGCB(gif, i, &control), GIF_OK);
    result.delays.push_back(control.DelayTime);
    const GifImageDesc& desc = image.ImageDesc;
    const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
    for (int y = 0; y < desc.Height; ++y) {
      for (int x = 0; x < desc.Width; ++x) {
        const GifColorType& colour = map->Colors[image.RasterBits[y * desc.Width + x]];
        auto* pixel = &screen.rgb[(std::size_t(desc.Top + y) * screen.width + desc.Left + x) * 3];
        pixel[0] = colour.Red;
        pixel[1] = colour.Green;
        pixel[2] = colour.Blue;
      }
    }
    result.frames.push_back(screen);
  }
  DGifCloseFile(gif, &error);
  return result;
}

TEST(SimRecording, WritesEveryDrawnFrameAsItPaintsIntoALoopingGif) {
  auto path = std::filesystem::temp_directory_path() / "korvindel-sim-test.gif";
  std::ostringstream out;
  sim::Session session(options(), out);
  std::istringstream script("canvas 320 200\nstate freeplay\nrecord " + path.string() +
                            "\nframe\nkorvindel_show 1\nkorvindel_g 0\nkorvindel_b 0\nkorvindel_textsize 2\n"
                            "korvindel_xpos 0.25\nvelocity 1000 0 0\nframe 2\nstate\nframe\nrecord stop\n");
  session.run(script);
  DecodedGif gif = decodeGif(path);
  EXPECT_EQ(gif.width, 320);
  EXPECT_EQ(gif.height, 200);
  EXPECT_TRUE(gif.loops);
  EXPECT_THAT(gif.delays, ElementsAre(10, 10, 10, 10));
  ASSERT_EQ(gif.frames.size(), 4u);
  sim::Image backdrop = sim::paint({320, 200}, {}, KORVINDEL_FONT);
  sim::Image readout =
      sim::paint({320, 200}, {{"36.00 km/h", {255, 0, 0, 255}, {80, 0}, 2.0f, 2.0f}}, KORVINDEL_FONT);
  EXPECT_EQ(gif.frames[0].rgb, backdrop.rgb) << "nothing drawn: the empty backdrop";
  EXPECT_EQ(gif.frames[1].rgb, readout.rgb) << "painted exactly as a snapshot paints it";
  EXPECT_EQ(gif.frames[2].rgb, readout.rgb);
  EXPECT_EQ(gif.frames[3].rgb, backdrop.rgb);
  int redPixels = 0;
  for (std::int32_t y = 0; y < 60; ++y) {
    for (std::int32_t x = 80; x < 320; ++x) {
      const std::uint8_t* p = gif.frames[1].pixel(x, y);
      redPixels += p[0] == 255 && p[1] == 0 && p[2] == 0;
    }
  }
  EXPECT_GT(redPixels, 100) << "the text colour where the text is drawn";
  std::filesystem::remove(path);
}

TEST(SimRecording, CoarsensAFrameOfMoreThan256ColoursToFitAGifImage) {
  auto path = std::filesystem::temp_directory_path() / "korvindel-sim-colours.gif";
  sim::Image gradient{64, 64, {}};
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      gradient.rgb.insert(gradient.rgb.end(), {std::uint8_t(x * 4), std::uint8_t(y * 4), 128});
    }
  }
  {
    sim::Animation animation(path);
    animation.add(gradient);
    animation.finish();
  }
  DecodedGif gif = decodeGif(path);
  ASSERT_EQ(gif.frames.size(), 1u);
  int worst = 0;
  for (std::size_t i = 0; i < gradient.rgb.size(); ++i) {
    worst = std::max(worst, std::abs(int{gif.frames[0].rgb[i]} - int{gradient.rgb[i]}));
  }
  EXPECT_LE(worst, 8) << "4096 colours fit in 256 with four bits of each channel dropped";
  std::filesystem::remove(path);
}

TEST(SimRecording, EndsARecordingAtTheEndOfTheScriptOrSaysWhyNot) {
  auto path = std::filesystem::temp_directory_path() / "korvindel-sim-unended.gif";
  struct Case {
    std::string script;
    std::size_t frames;
    std::size_t errorLine;
    const char* message;
  };
  const Case cases[] = {
      {"record " + path.string() + "\nframe 3\n", 3, 0, ""},
      {"record " + path.string() + "\n", 0, 1, "no frame was drawn while recording into"},
      {"frame\nrecord " + path.string() + "\nframe\ncanvas 100 100\nframe\n", 1, 5,
       "the canvas changed size while recording"},
      {"record " + path.string() + "\nrecord " + path.string() + "\n", 0, 2, "already recording into"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    std::ostringstream out;
    std::istringstream script(c.script);
    try {
      sim::Session session(options(), out);
      session.run(script);
      EXPECT_EQ(c.errorLine, 0u) << "no error";
    } catch (const sim::SessionError& error) {
      EXPECT_EQ(error.line(), c.errorLine);
      EXPECT_THAT(error.what(), HasSubstr(c.message));
    }
    if (c.frames > 0) {
      EXPECT_EQ(decodeGif(path).frames.size(), c.frames);
    } else {
      EXPECT_FALSE(std::filesystem::exists(path)) << "no empty animation is left behind";
    }
    std::filesystem::remove(path);
  }
}

}  // namespace
