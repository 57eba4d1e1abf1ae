// tavro-cli compare and export, with their output parsed back.

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>

#include "CliRunner.h"
#include "io/QcifFormat.h"
#include "playback/DitherDisplay.h"
#include "playback/FramePictures.h"
#include "support/TestFiles.h"

namespace {

std::vector<uint8_t> Frames(std::initializer_list<uint8_t> fills) {
    std::vector<uint8_t> out;
    for (uint8_t f : fills) {
        out.insert(out.end(), QCIF_FRAME_BYTES, f);
    }
    return out;
}

struct Picture {
    uint32_t nWidth = 0, nHeight = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(uint32_t x, uint32_t y) const { return &rgb[(y * nWidth + x) * 3]; }
};

Picture ReadPng(const std::string& strPath) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Picture pic;
    if (!png_image_begin_read_from_file(&image, strPath.c_str())) {
        ADD_FAILURE() << "not a PNG: " << strPath << ": " << image.message;
        return pic;
    }
    image.format = PNG_FORMAT_RGB;
    pic.nWidth = image.width;
    pic.nHeight = image.height;
    pic.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pic.rgb.data(), 0, nullptr)) {
        ADD_FAILURE() << "PNG decoding failed: " << image.message;
    }
    return pic;
}

TEST(CliCompare, HumanLinesFollowTheMatchRules) {
    CTempDir dir;
    std::vector<uint8_t> ref = Frames({10, 20, 30});
    std::vector<uint8_t> in = ref;
    in[QCIF_FRAME_BYTES + 500] += 1;  // frame 2: one sample off by one
    std::fill(in.begin() + 2 * QCIF_FRAME_BYTES, in.end(), 30 + 255 - 30);  // frame 3: 225 off
    WriteBytes(dir.File("in.qcf"), in);
    WriteBytes(dir.File("ref.qcf"), ref);
    WriteBytes(dir.File("two.qcf"), Frames({10, 20}));
    WriteBytes(dir.File("zero.qcf"), Frames({0}));
    WriteBytes(dir.File("full.qcf"), Frames({255}));

    struct {
        std::vector<std::string> args;
        std::vector<std::string> lines;
    } const cases[] = {
        {{"ref.qcf", "ref.qcf"},
         {"frame 1: Match", "frame 2: Match", "frame 3: Match", "mean: Match"}},
        {{"in.qcf", "ref.qcf", "--frame", "2"},
         {"frame 2: RMSE 0.01 PSNR 93.93",
          "mean: PSNR Y 92.17 U 93.93 V 93.93 all 93.93 dB, RMSE 0.01"}},
        {{"in.qcf", "ref.qcf", "--frame", "1"}, {"frame 1: Match", "mean: Match"}},
        {{"zero.qcf", "full.qcf"},
         {"frame 1: RMSE 255.00 PSNR 0.00",
          "mean: PSNR Y 0.00 U 0.00 V 0.00 all 0.00 dB, RMSE 255.00"}},
        // Identical frames count in the means with RMSE 0 and PSNR 93.93.
        {{"in.qcf", "ref.qcf"},
         {"frame 1: Match", "frame 2: RMSE 0.01 PSNR 93.93", "frame 3: RMSE 225.00 PSNR 1.09",
          "mean: PSNR Y 62.40 U 62.98 V 62.98 all 62.98 dB, RMSE 75.00"}},
        // Only the frames both hold.
        {{"in.qcf", "two.qcf"},
         {"frame 1: Match", "frame 2: RMSE 0.01 PSNR 93.93",
          "mean: PSNR Y 93.05 U 93.93 V 93.93 all 93.93 dB, RMSE 0.00"}},
        // --summary: the means alone.
        {{"in.qcf", "ref.qcf", "--summary", "-n", "2-3"},
         {"mean: PSNR Y 46.63 U 47.51 V 47.51 all 47.51 dB, RMSE 112.50"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"compare"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        CliResult r = RunCli(args, dir.Path().string());
        ASSERT_EQ(r.nStatus, 0) << r.strErr;
        EXPECT_EQ(SplitLines(r.strOut), c.lines);
    }
}

TEST(CliCompare, CsvAndJsonAgree) {
    CTempDir dir;
    std::vector<uint8_t> ref = Frames({100, 100, 100});
    std::vector<uint8_t> in = ref;
    in[5] = 110;                                        // frame 1: luma only
    in[2 * QCIF_FRAME_BYTES + QCIF_V_OFFSET + 7] = 90;  // frame 3: V only
    WriteBytes(dir.File("in.qcf"), in);
    WriteBytes(dir.File("ref.qcf"), ref);
    CliResult r =
        RunCli({"compare", "in.qcf", "ref.qcf", "--csv", "out.csv", "--json"}, dir.Path().string());
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    JsonValue j = ParseJson(r.strOut);
    ASSERT_EQ(j["frames"].items.size(), 3u);
    EXPECT_EQ(j["frames_compared"].number, 3);
    EXPECT_FALSE(j["mean"]["match"].b);
    EXPECT_TRUE(j["frames"].items[1]["match"].b);
    EXPECT_EQ(j["frames"].items[1]["psnr"].number, 93.9304678);
    EXPECT_EQ(j["frames"].items[0]["psnr_u"].kind, JsonValue::Null);  // identical plane

    std::vector<uint8_t> csv = ReadBytes(dir.File("out.csv"));
    std::vector<std::string> lines = SplitLines(std::string(csv.begin(), csv.end()));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "frame,rmse,psnr,psnr_y,psnr_u,psnr_v");
    const double dRmse1 = std::sqrt(100.0 * 2.6304713804713804e-05);
    const double dPsnrY1 = 10 * std::log10(255.0 * 255.0 / (100.0 / 25344.0));
    const double dPsnrV3 = 10 * std::log10(255.0 * 255.0 / (100.0 / 6336.0));
    for (size_t i = 1; i < lines.size(); ++i) {
        std::stringstream row(lines[i]);
        std::vector<std::string> cells;
        std::string cell;
        while (std::getline(row, cell, ',')) {
            cells.push_back(cell);
        }
        ASSERT_EQ(cells.size(), 6u) << lines[i];
        EXPECT_EQ(cells[0], std::to_string(i));
        const JsonValue& f = j["frames"].items[i - 1];
        // Full precision: the CSV reads back to the very doubles of the JSON.
        EXPECT_EQ(std::stod(cells[1]), f["rmse"].number);
        EXPECT_EQ(std::stod(cells[2]), f["psnr"].number);
        for (int p = 0; p < 3; ++p) {
            const JsonValue& v = f[p == 0 ? "psnr_y" : p == 1 ? "psnr_u" : "psnr_v"];
            if (v.kind == JsonValue::Null) {
                EXPECT_EQ(cells[3 + p], "inf");
            } else {
                EXPECT_EQ(std::stod(cells[3 + p]), v.number);
            }
        }
    }
    EXPECT_DOUBLE_EQ(j["frames"].items[0]["rmse"].number, dRmse1);
    EXPECT_NEAR(j["frames"].items[0]["psnr_y"].number, dPsnrY1, 1e-9);
    EXPECT_NEAR(j["frames"].items[2]["psnr_v"].number, dPsnrV3, 1e-9);
    EXPECT_NEAR(j["mean"]["rmse"].number, 2 * dRmse1 / 3, 1e-12);
    // Plane means count an identical plane with the match PSNR, as the chart does.
    EXPECT_NEAR(j["mean"]["psnr_y"].number, (dPsnrY1 + 2 * 93.9304678) / 3, 1e-9);
    EXPECT_NEAR(j["mean"]["psnr_u"].number, 93.9304678, 1e-9);
    EXPECT_NEAR(j["mean"]["psnr_v"].number, (dPsnrV3 + 2 * 93.9304678) / 3, 1e-9);
}

TEST(CliCompare, Refusals) {
    CTempDir dir;
    WriteBytes(dir.File("a.qcf"), Frames({1, 2}));
    WriteBytes(dir.File("b.qcf"), Frames({1}));
    WriteBytes(dir.File("c.cmp"), {1, 0, 10, 16, 0, 0});
    WriteBytes(dir.File("keep.csv"), {'k'});
    struct {
        std::vector<std::string> args;
        int nStatus;
        const char* szWhy;
    } const cases[] = {
        {{"compare", "a.qcf", "b.qcf", "--frame", "2", "--csv", "keep.csv"}, 1, "not in both"},
        {{"compare", "a.qcf", "c.cmp", "--csv", "keep.csv"}, 1, "\"c.cmp\": The compressed"},
        {{"compare", "a.qcf", "b.qcf", "-k", "1", "-n", "1"}, 2, "--frame"},
        {{"compare", "-", "-"}, 2, "only one"},
        {{"compare", "a.qcf", "none.qcf", "--csv", "keep.csv"}, 1, "No such file"},
        {{"compare", "a.qcf", "b.qcf", "--frame", "0"}, 2, "--frame"},
        {{"compare", "a.qcf"}, 2, "REF"},
        {{"compare", "a.qcf", "b.qcf", "--csv", "no/dir/x.csv"}, 1, "x.csv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + (c.args.size() > 2 ? c.args[2] : ""));
        CliResult r = RunCli(c.args, dir.Path().string());
        EXPECT_EQ(r.nStatus, c.nStatus);
        EXPECT_EQ(r.strOut, "");
        EXPECT_NE(r.strErr.find(c.szWhy), std::string::npos) << r.strErr;
        EXPECT_EQ(ReadBytes(dir.File("keep.csv")), std::vector<uint8_t>{'k'});
    }
}

// A frame whose top half is white and bottom half black, with a red stripe at
// the left of the top half: tells rows, columns and colours apart.
std::vector<uint8_t> TestCard() {
    std::vector<uint8_t> f(QCIF_FRAME_BYTES, 128);
    for (int y = 0; y < 144; ++y) {
        std::fill_n(&f[y * 176], 176, uint8_t(y < 72 ? 235 : 16));
    }
    for (int y = 0; y < 72; ++y) {
        std::fill_n(&f[y * 176], 16, uint8_t(81));
    }
    for (int y = 0; y < 36; ++y) {
        for (int x = 0; x < 8; ++x) {
            f[QCIF_U_OFFSET + y * 88 + x] = 90;
            f[QCIF_V_OFFSET + y * 88 + x] = 240;
        }
    }
    return f;
}

TEST(CliExport, TrueColourAndScale) {
    CTempDir dir;
    std::vector<uint8_t> clip = Frames({16});
    std::vector<uint8_t> card = TestCard();
    clip.insert(clip.end(), card.begin(), card.end());
    WriteBytes(dir.File("in.qcf"), clip);
    CliResult r = RunCli({"export", "in.qcf", "card.png", "--frame", "2"}, dir.Path().string());
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    Picture pic = ReadPng(dir.File("card.png"));
    ASSERT_EQ(pic.nWidth, 176u);
    ASSERT_EQ(pic.nHeight, 144u);
    EXPECT_EQ(std::vector<uint8_t>(pic.At(100, 10), pic.At(100, 10) + 3),
              (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(std::vector<uint8_t>(pic.At(100, 130), pic.At(100, 130) + 3),
              (std::vector<uint8_t>{0, 0, 0}));
    const uint8_t* red = pic.At(3, 20);  // the red primary
    EXPECT_GE(red[0], 253);
    EXPECT_LE(red[1], 2);
    EXPECT_LE(red[2], 2);

    r = RunCli({"export", "in.qcf", "big.PNG", "--frame", "2", "--scale", "3", "-q"},
               dir.Path().string());
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    EXPECT_EQ(r.strErr, "");
    Picture big = ReadPng(dir.File("big.PNG"));
    ASSERT_EQ(big.nWidth, 528u);
    ASSERT_EQ(big.nHeight, 432u);
    for (auto [x, y] : {std::pair{3u, 20u}, {100u, 10u}, {175u, 143u}, {0u, 71u}, {7u, 35u}}) {
        for (uint32_t dy = 0; dy < 3; ++dy) {
            for (uint32_t dx = 0; dx < 3; ++dx) {
                EXPECT_TRUE(
                    std::equal(pic.At(x, y), pic.At(x, y) + 3, big.At(3 * x + dx, 3 * y + dy)));
            }
        }
    }
}

TEST(CliExport, DitheredIsTheViewersPictureTopRowFirst) {
    CTempDir dir;
    WriteBytes(dir.File("in.qcf"), TestCard());
    CliResult r = RunCli({"export", "in.qcf", "d.png", "--dithered"}, dir.Path().string());
    ASSERT_EQ(r.nStatus, 0) << r.strErr;
    Picture pic = ReadPng(dir.File("d.png"));
    ASSERT_EQ(pic.nWidth, 176u);
    ASSERT_EQ(pic.nHeight, 144u);
    CDitherDisplay display;
    ASSERT_TRUE(display.BuildClipTable() && display.BuildDitherTables(8) &&
                display.BuildBitmapInfo());
    std::set<uint32_t> palette;
    for (const auto& e : display.GetPalette()) {
        palette.insert(e.byRed << 16 | e.byGreen << 8 | e.byBlue);
    }
    double topSum = 0, bottomSum = 0;
    for (uint32_t y = 0; y < 144; ++y) {
        for (uint32_t x = 0; x < 176; ++x) {
            const uint8_t* p = pic.At(x, y);
            ASSERT_TRUE(palette.count(p[0] << 16 | p[1] << 8 | p[2])) << x << "," << y;
            (y < 72 ? topSum : bottomSum) += p[0] + p[1] + p[2];
        }
    }
    EXPECT_GT(topSum, 4 * bottomSum);  // the white half is on top
    // The red corner is red in the viewer too.
    const uint8_t* red = pic.At(4, 20);
    EXPECT_GT(red[0], red[1] + 60);
}

// Many frames in one run, PPM beside PNG, and difference pictures: the pixels
// the desktop's comparison view draws for the same frames.
TEST(CliExport, NumberedFramesPpmAndDifferences) {
    CTempDir dir;
    std::vector<uint8_t> clip = Frames({16, 60}), ref = Frames({16, 50});
    const std::vector<uint8_t> card = TestCard();
    clip.insert(clip.end(), card.begin(), card.end());
    ref.insert(ref.end(), QCIF_FRAME_BYTES, 128);
    WriteBytes(dir.File("in.qcf"), clip);
    WriteBytes(dir.File("ref.qcf"), ref);
    ASSERT_EQ(
        RunCli({"export", "in.qcf", "f_%03d.ppm", "-n", "2-3", "-q"}, dir.Path().string()).nStatus,
        0);
    ASSERT_EQ(
        RunCli({"export", "in.qcf", "card.png", "-k", "3", "-q"}, dir.Path().string()).nStatus, 0);
    const std::vector<uint8_t> ppm = ReadBytes(dir.File("f_003.ppm"));
    const std::string strHeader = "P6\n176 144\n255\n";
    ASSERT_EQ(ppm.size(), strHeader.size() + PICTURE_BYTES);
    EXPECT_EQ(std::string(ppm.begin(), ppm.begin() + strHeader.size()), strHeader);
    EXPECT_TRUE(std::equal(ppm.begin() + strHeader.size(), ppm.end(),
                           ReadPng(dir.File("card.png")).rgb.begin()));
    EXPECT_TRUE(std::filesystem::exists(dir.File("f_002.ppm")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("f_001.ppm")));

    for (auto style : {EDifferenceStyle::Signed, EDifferenceStyle::Heat}) {
        std::vector<std::string> args = {"export", "in.qcf", "d%d.png", "--diff", "ref.qcf",
                                         "-n",     "3",      "--gain",  "8",      "-q"};
        if (style == EDifferenceStyle::Heat) {
            args.push_back("--heat");
        }
        ASSERT_EQ(RunCli(args, dir.Path().string()).nStatus, 0);
        for (uint32_t k = 0; k < 3; ++k) {
            std::vector<uint8_t> want(PICTURE_BYTES);
            RenderDifferencePicture(&clip[k * QCIF_FRAME_BYTES], &ref[k * QCIF_FRAME_BYTES],
                                    EPictureMode::Colour, style, 8, want.data());
            EXPECT_EQ(ReadPng(dir.File("d" + std::to_string(k + 1) + ".png")).rgb, want) << k;
        }
    }
}

TEST(CliExport, Refusals) {
    CTempDir dir;
    WriteBytes(dir.File("in.qcf"), Frames({16, 17}));
    WriteBytes(dir.File("keep.png"), {'p'});
    struct {
        std::vector<std::string> args;
        int nStatus;
        const char* szWhy;
    } const cases[] = {
        {{"export", "in.qcf", "keep.png", "--frame", "3"}, 1, "not in"},
        {{"export", "in.qcf", "keep.jpg"}, 1, ".png"},
        {{"export", "in.cmp", "keep.png"}, 1, "\"in.cmp\": No such file"},
        {{"export", "in.qcf", "keep.png", "-n", "1-2"}, 2, "numbered name"},
        {{"export", "in.qcf", "k%s.png", "-n", "1-2"}, 2, "one frame number"},
        {{"export", "in.qcf", "k%d.png", "-n", "3-4"}, 1, "frame 3 is not in"},
        {{"export", "in.qcf", "keep.png", "--heat"}, 2, "--diff"},
        {{"export", "gone.qcf", "keep.png"}, 1, "No such file"},
        {{"export", "in.qcf", "keep.png", "--scale", "0"}, 2, "--scale"},
        {{"export", "in.qcf", "keep.png", "--scale", "17"}, 2, "--scale"},
        {{"export", "in.qcf", "keep.png", "--frame", "0"}, 2, "--frame"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[2] + " " + (c.args.size() > 4 ? c.args[4] : ""));
        CliResult r = RunCli(c.args, dir.Path().string());
        EXPECT_EQ(r.nStatus, c.nStatus);
        EXPECT_NE(r.strErr.find(c.szWhy), std::string::npos) << r.strErr;
        EXPECT_EQ(ReadBytes(dir.File("keep.png")), std::vector<uint8_t>{'p'});
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 2);
}

}  // namespace
