// korvindel-sim: its script language, its log, its game model and its pictures.
#include <gif_lib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "sim/Animation.h"
#include "sim/Log.h"
#include "sim/Painter.h"
#include "sim/Png.h"
#include "sim/Script.h"
#include "sim/Session.h"
#include "tests/support/FrameCalls.h"
#include "tests/support/SimSupport.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(SimScript, StopsAtTheFirstBadLineNamingItAndWhatIsWrong) {
  struct Case {
    std::string line;
    std::string message;
  };
  const std::string longWord(1'000'000, 'x');
  const Case cases[] = {
      {"jump 3", "line 2: unknown console variable 'jump'"},
      {"korvindel_xpos left", "line 2: 'left' is not a number"},
      {"korvindel_xpos +-3", "line 2: '+-3' is not a number"},
      {"korvindel_xpos 1e400",
       "line 2: '1e400' is outside the numbers the console takes, -1.8e308 to 1.8e308"},
      {"korvindel_show", "line 2: expected 'korvindel_show VALUE' or a command"},
      {"state lobby", "line 2: unknown game state 'lobby'"},
      {"balls -1", "line 2: ball count '-1' is outside 0 to 1000"},
      {"balls replay 2", "line 2: '2' is not 0 or 1"},
      {"balls kickoff 1", "line 2: unknown event 'kickoff'"},
      {"velocity 1 2", "line 2: expected 'velocity X Y Z'"},
      {"velocity 1 2 fast", "line 2: 'fast' is not a valid number"},
      {"velocity +-3 0 0", "line 2: '+-3' is not a valid number"},
      {"velocity 1e39 0 0", "line 2: '1e39' is outside the range of a 32-bit float, -3.4e38 to 3.4e38"},
      {"explosion", "line 2: expected 'explosion T'"},
      {"canvas 0 1080", "line 2: canvas width '0' is outside 1 to 8192"},
      {"canvas 1920 99999999999", "line 2: canvas height '99999999999' is outside 1 to 8192"},
      {"frame 0", "line 2: frame count '0' is outside 1 to 100000"},
      {"frame 1.5", "line 2: '1.5' is not a valid frame count"},
      {"snapshot", "line 2: expected 'snapshot FILE.png'"},
      {"load", "line 2: the plugin is already loaded"},
      {"unload extra", "line 2: expected 'unload'"},
      {"record", "line 2: expected 'record FILE.gif' or 'record stop'"},
      {"record stop", "line 2: 'record stop' without a 'record' before it"},
      // What a word holds is shown, never obeyed by the terminal, and never so long that the message is lost.
      {"\x1b[2J\x1b[31mred 1", R"(line 2: unknown console variable '\x1b[2J\x1b[31mred')"},
      {std::string("a\0b 1", 5), R"(line 2: unknown console variable 'a\x00b')"},
      {"caf\xc3\xa9 \xff\xc2\x9b", R"(line 2: unknown console variable 'café')"},
      // Invisible and direction-changing characters are shown, so that no name passes for another.
      {"\xef\xbb\xbfkorvindel_show 1", R"(line 2: unknown console variable '\ufeffkorvindel_show')"},
      {"korvindel_\xe2\x80\xaewohs 1", R"(line 2: unknown console variable 'korvindel_\u202ewohs')"},
      {"korvindel\xcd\x8f_show\xe3\x85\xa4 1",
       R"(line 2: unknown console variable 'korvindel\u034f_show\u3164')"},
      {"korvindel_show\xef\xb8\x8f\xf3\xa0\x84\x80 1",
       R"(line 2: unknown console variable 'korvindel_show\ufe0f\U000e0100')"},
      {longWord + " 1", "line 2: unknown console variable '" + std::string(40, 'x') + "...' (1000000 bytes)"},
      // A line without an end is read no further than its bound, whatever it holds.
      {std::string(sim::kMaxLineLength, 'x') + "y 1",
       "line 2: the line is longer than the 1048576 bytes a script line can have"},
      {"# " + std::string(sim::kMaxLineLength, 'x'), "line 2: the line is longer than the 1048576 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line.substr(0, 60));
    std::ostringstream out;
    std::optional<sim::SessionError> error = play("frame\n" + c.line + "\nframe\n", out);
    ASSERT_TRUE(error) << "no error";
    EXPECT_THAT(error->what(), HasSubstr(c.message));
    EXPECT_EQ(error->line(), 2u);
    EXPECT_EQ(error->status(), sim::Status::BadInput);
    EXPECT_EQ(lines(out.str()).size(), 1u) << "the frame before the error stays printed, none after it";
  }
}

TEST(SimScript, ReadsScriptsAsAnyEditorWritesThem) {
  const char* scripts[] = {
      "\xEF\xBB\xBFstate freeplay\nkorvindel_show 1\nframe\n",
      "state freeplay\r\nkorvindel_show 1\r\nframe\r\n",
      "state freeplay\rkorvindel_show 1\rframe",
      "state freeplay  # the ball is ours\n\tkorvindel_show 1 #on\n  # a comment\nframe #once\n",
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    std::ostringstream out;
    EXPECT_FALSE(play(script, out));
    EXPECT_THAT(lines(out.str()), ElementsAre(HasSubstr(R"("text":"0.00 km/h")")));
  }
}

std::string quotedCalls(const Calls& calls) {
  std::string text;
  for (std::string_view call : calls) text += (text.empty() ? "\"" : ",\"") + std::string(call) + '"';
  return text;
}

TEST(SimSession, PlaysAScriptFrameByFrameAsJson) {
  std::ostringstream out;
  sim::Options withCalls = simOptions();
  withCalls.calls = true;
  EXPECT_FALSE(play(R"(
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
)",
                    out, withCalls));
  auto frames = lines(out.str());
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(frames[0], R"({"frame":1,"draws":[],"calls":[]})");
  EXPECT_EQ(
      frames[1],
      R"({"frame":2,"draws":[{"text":"36.00 km/h","color":[255,255,255,255],"position":[0,0],"scale":[1,1]}],)"
      R"("calls":[)" +
          quotedCalls(kDrawnFrameCalls) + "]}");
  EXPECT_THAT(frames[2],
              HasSubstr(R"("draws":[{"text":"36.00 km/h","color":[0,255,255,255],"position":[960,0],)"
                        R"("scale":[1.5,1.5]}])"));
  EXPECT_THAT(frames[3], HasSubstr(R"({"text":"111.84 mph")"));
  EXPECT_THAT(frames[4], HasSubstr(R"("draws":[],)"));
  EXPECT_THAT(frames[5], HasSubstr(R"({"frame":6,"draws":[],"calls":[]})"));
}

TEST(SimSession, PrintsAReadableLogWithWhatChangedTheGameAndWhyNothingIsDrawn) {
  std::ostringstream out;
  EXPECT_FALSE(
      play("# a goal\nstate  freeplay\nkorvindel_show 1\nvelocity 1000 0 0\nexplosion 1\nframe\n\n"
           "balls 0\nframe\nstate\nframe\nkorvindel_show 0\nstate replay\nframe\nunload\nframe\n",
           out, simOptions(false)));
  EXPECT_THAT(
      lines(out.str()),
      ElementsAre("# a goal", "> state  freeplay", "> korvindel_show 1", "> velocity 1000 0 0",
                  "> explosion 1", "frame  state                   drawn",
                  R"(    1  free play (exploding)   ""  rgba(255,255,255,255)  at (0,0)  scale 1x1)",
                  "> balls 0", "    2  free play               nothing drawn: this game state has no ball",
                  "> state", "    3  main menu               nothing drawn: the main menu has no ball",
                  "> korvindel_show 0", "> state replay",
                  "    4  replay (exploding)      nothing drawn: the readout is off (korvindel_show 0)",
                  "> unload", "    5  replay (exploding)      nothing drawn: the plugin is unloaded"));
}

TEST(SimSession, GivesEveryBallTheGamesVelocityAndExplosionTimeEvenBallsAddedLater) {
  struct Case {
    const char* script;
    const char* readout;
  };
  const Case cases[] = {
      {"state freeplay\nvelocity 1000 0 0\nballs 0\nballs 2\nframe\n", "36.00 km/h"},
      {"state replay\nvelocity 1000 0 0\nballs replay 0\nballs replay 1\nframe\n", "36.00 km/h"},
      {"state spectate\nvelocity 1000 0 0\nballs online 0\nballs online 1\nframe\n", "36.00 km/h"},
      // Exploding from its first frame, the new ball holds the readout at what was measured before: nothing.
      {"state freeplay\nexplosion 1\nballs 0\nballs 1\nframe\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    std::ostringstream out;
    EXPECT_FALSE(play(std::string("korvindel_show 1\n") + c.script, out));
    EXPECT_THAT(out.str(), HasSubstr(std::string(R"("text":")") + c.readout + '"'));
  }
}

TEST(SimSession, ReportsAPluginThatCannotBeLoadedAgainAsThePluginsFailure) {
  TempFolder folder;
  std::filesystem::path copy = folder / "Korvindel.so";
  std::filesystem::copy_file(KORVINDEL_MODULE, copy);
  sim::Options options = simOptions();
  options.plugin = copy;
  std::ostringstream out;
  sim::Session session(options, out);
  std::istringstream unload("unload\n");
  session.run(unload);
  std::filesystem::remove(copy);
  std::istringstream load("frame\nload\n");
  try {
    session.run(load);
    ADD_FAILURE() << "loaded";
  } catch (const sim::SessionError& error) {
    EXPECT_EQ(error.status(), sim::Status::PluginFailed);
    EXPECT_EQ(error.line(), 2u);
    EXPECT_THAT(error.what(), HasSubstr("no such file"));
  }
}

TEST(SimLog, ShowsWhatThePluginDrawsAsSafelyAsAnyOutsideText) {
  struct Case {
    std::string drawn;
    std::string shown;
  };
  const Case cases[] = {
      {"caf\xc3\xa9 \"1\" \\", R"("café \"1\" \\")"},
      {"\x1b[2J\x7f\n", R"("\u001b[2J\u007f\u000a")"},
      {"\xc2\x9b"
       "31m",
       R"("\u009b31m")"},
      {"\xe2\x80\xae"
       "olleh\xe2\x81\xa6",
       R"("\u202eolleh\u2066")"},
      {"\xcd\x8f\xef\xb8\x8f\xf3\xa0\x84\x80", R"("\u034f\ufe0f\udb40\udd00")"},
      // Not UTF-8, which no JSON reader takes: the replacement character.
      {"\xff\xc3(\xed\xa0\x80", R"("\ufffd\ufffd(\ufffd\ufffd\ufffd")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    sim::FrameReport report;
    report.number = 1;
    report.state = "free play";
    report.draws = {{c.drawn, {255, 255, 255, 255}, {0, 0}, 1.0f, 1.0f}};
    for (bool json : {false, true}) {
      std::ostringstream out;
      sim::makeLog(out, json, false)->frame(report);
      EXPECT_THAT(out.str(), HasSubstr(c.shown));
    }
  }
}

TEST(SimSession, FailsWhenItsLogCannotBeWritten) {
  std::ostream broken(nullptr);
  std::optional<sim::SessionError> error = play("frame\n", broken, simOptions(false));
  ASSERT_TRUE(error);
  EXPECT_EQ(error->status(), sim::Status::OutputFailed);
  EXPECT_STREQ(error->what(), "line 1: cannot write the log to its output");
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
        int index = image.RasterBits[y * desc.Width + x];
        if (index == control.TransparentColor) continue;
        const GifColorType& colour = map->Colors[index];
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

TEST(SimPicture, PaintsTheTextInItsColourWhereItIsDrawn) {
  sim::Painter painter(KORVINDEL_FONT);
  standin::DrawnText text{"88.88 km/h", {255, 0, 0, 255}, {100, 50}, 2.0f, 2.0f};
  sim::Image image = painter.paint({400, 200}, {text});
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
  sim::Image blended = painter.paint({400, 200}, {text});
  EXPECT_EQ(std::count(blended.rgb.begin(), blended.rgb.end(), 255), 0);
  EXPECT_NE(blended.rgb, painter.paint({400, 200}, {}).rgb);
  standin::DrawnText offscreen{"1", {255, 0, 0, 255}, {INT32_MIN, INT32_MAX}, 20.0f, 20.0f};
  standin::DrawnText empty{"1", {255, 0, 0, 255}, {10, 10}, 0.0f, 0.0f};
  standin::DrawnText belowTheCanvas{"8", {255, 0, 0, 255}, {10, 60}, 5.0f, 5.0f};
  sim::Image blank = painter.paint({64, 64}, {offscreen, empty});
  EXPECT_EQ(blank.rgb, painter.paint({64, 64}, {}).rgb);

  // The caption band is added below and never reaches into the canvas, whatever the canvas holds.
  sim::Image captioned = painter.caption(painter.paint({64, 64}, {belowTheCanvas}), {"frame 1", "x"});
  EXPECT_EQ(captioned.height, 64 + sim::captionHeight(2));
  EXPECT_TRUE(std::equal(captioned.rgb.begin(), captioned.rgb.begin() + 64 * 64 * 3,
                         painter.paint({64, 64}, {belowTheCanvas}).rgb.begin()));
  EXPECT_NE(captioned.rgb, painter.caption(painter.paint({64, 64}, {belowTheCanvas}), {"frame 2", "x"}).rgb);

  // Text is UTF-8: "é" is one letter, as wide as "e", not the two of "Ã©".
  auto inkWidth = [&](const std::string& word) {
    sim::Image ink = painter.paint({200, 40}, {{word, {255, 0, 0, 255}, {10, 0}, 1.0f, 1.0f}});
    std::int32_t right = 0;
    for (std::int32_t y = 0; y < ink.height; ++y) {
      for (std::int32_t x = 0; x < ink.width; ++x) {
        if (ink.pixel(x, y)[0] > 200) right = std::max(right, x);
      }
    }
    return right;
  };
  EXPECT_EQ(inkWidth("caf\xc3\xa9"), inkWidth("cafe"));
}

TEST(SimPicture, RecordsEveryDrawnFrameExactlyAsPaintedWithACaptionSayingWhatItShows) {
  TempFolder folder;
  std::ostringstream out;
  EXPECT_FALSE(play("canvas 320 200\nstate freeplay\nrecord " + (folder / "r.gif").string() +
                        "\nframe\nkorvindel_show 1\nkorvindel_g 0\nkorvindel_b 0\nkorvindel_textsize 2\n"
                        "korvindel_xpos 0.25\nvelocity 1000 0 0\nframe\nexplosion 1\nframe\nstate\nframe\n"
                        "record stop\nsnapshot " +
                        (folder / "s.png").string() + "\n",
                    out));
  DecodedGif gif = decodeGif(folder / "r.gif");
  std::int32_t height = 200 + sim::captionHeight(2);
  EXPECT_EQ(gif.width, 320);
  EXPECT_EQ(gif.height, height);
  EXPECT_TRUE(gif.loops);
  EXPECT_THAT(gif.delays, ElementsAre(10, 10, 10, 10));
  ASSERT_EQ(gif.frames.size(), 4u);

  sim::Painter painter(KORVINDEL_FONT);
  sim::Image backdrop = painter.paint({320, 200}, {});
  sim::Image readout = painter.paint({320, 200}, {{"36.00 km/h", {255, 0, 0, 255}, {80, 0}, 2.0f, 2.0f}});
  const sim::Image expected[] = {
      painter.caption(backdrop,
                      {"frame 1   |   free play   |   nothing drawn: the readout is off (korvindel_show 0)",
                       "last change: state freeplay"}),
      painter.caption(readout, {"frame 2   |   free play   |   readout follows the ball",
                                "last change: velocity 1000 0 0"}),
      painter.caption(readout, {"frame 3   |   free play   |   readout held: ball exploding",
                                "last change: explosion 1"}),
      painter.caption(backdrop, {"frame 4   |   main menu   |   nothing drawn: the main menu has no ball",
                                 "last change: state"}),
  };
  for (std::size_t i = 0; i < gif.frames.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(gif.frames[i].rgb == expected[i].rgb) << "painted exactly as expected, caption included";
  }
  int redPixels = 0;
  for (std::int32_t y = 0; y < 60; ++y) {
    for (std::int32_t x = 80; x < 320; ++x) {
      const std::uint8_t* p = gif.frames[1].pixel(x, y);
      redPixels += p[0] == 255 && p[1] == 0 && p[2] == 0;
    }
  }
  EXPECT_GT(redPixels, 100) << "the text colour where the text is drawn";
  EXPECT_THAT(readFile(folder / "s.png").substr(1, 3), "PNG");
}

TEST(SimPicture, CoarsensAFrameOfMoreThan256ColoursToFitAGifImage) {
  TempFolder folder;
  sim::Image gradient{64, 64, {}};
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      gradient.rgb.insert(gradient.rgb.end(), {std::uint8_t(x * 4), std::uint8_t(y * 4), 128});
    }
  }
  sim::Image shifted = gradient;
  for (std::uint8_t& channel : shifted.rgb) channel ^= 0x10;
  {
    sim::Animation animation(folder / "colours.gif", {});
    animation.add(gradient);
    animation.add(shifted);
    animation.finish();
    EXPECT_THROW(animation.finish(), std::invalid_argument) << "a finished recording stays finished";
  }
  DecodedGif gif = decodeGif(folder / "colours.gif");
  ASSERT_EQ(gif.frames.size(), 2u);
  for (std::size_t frame = 0; frame < 2; ++frame) {
    const sim::Image& original = frame == 0 ? gradient : shifted;
    int worst = 0;
    for (std::size_t i = 0; i < original.rgb.size(); ++i) {
      worst = std::max(worst, std::abs(int{gif.frames[frame].rgb[i]} - int{original.rgb[i]}));
    }
    EXPECT_LE(worst, 8) << "4096 colours fit in 256 with four bits of each channel dropped";
  }
}

TEST(SimRecording, EndsARecordingAtTheEndOfTheScriptOrSaysWhyNot) {
  TempFolder folder;
  std::string path = (folder / "unended.gif").string();
  struct Case {
    std::string script;
    std::size_t frames;
    std::size_t errorLine;
    const char* message;
  };
  const Case cases[] = {
      {"record " + path + "\nframe 3\n", 3, 0, ""},
      {"record " + path + "\n", 0, 1, "no frame was drawn while recording into"},
      {"frame\nrecord " + path + "\nframe\ncanvas 100 100\nframe\n", 0, 5,
       "the canvas changed size while recording"},
      {"record " + path + "\nrecord " + path + "\n", 0, 2, "already recording into"},
      {"canvas 8192 8192\nrecord " + path + "\nframe 15\n", 0, 3,
       "would pass its bound of 10000 frames or 1000000000 pixels in all"},
      {"canvas 1 1\nrecord " + path + "\nframe\nframe 10000\n", 0, 4, "would pass its bound"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    std::ostringstream out;
    std::optional<sim::SessionError> error = play(c.script, out);
    if (c.errorLine == 0) {
      EXPECT_FALSE(error);
      EXPECT_EQ(decodeGif(path).frames.size(), c.frames);
    } else {
      ASSERT_TRUE(error);
      EXPECT_EQ(error->line(), c.errorLine);
      EXPECT_EQ(error->status(), sim::Status::BadInput);
      EXPECT_THAT(error->what(), HasSubstr(c.message));
      EXPECT_THAT(folder.names(), ElementsAre()) << "nothing of the recording is left behind";
    }
    std::filesystem::remove(path);
  }
}

}  // namespace
