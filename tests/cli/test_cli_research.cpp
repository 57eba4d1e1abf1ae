// tavro-cli sweep, convert and dump: output formats read back, serial and
// parallel sweeps alike, figures equal to the core's, files left intact on failure.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "CliRunner.h"
#include "cli/PyramidPicture.h"
#include "cli/ReportWriters.h"
#include "codec/StageDump.h"
#include "io/QcifFormat.h"
#include "stats/RateDistortion.h"
#include "support/TestFiles.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<std::map<std::string, std::string>> ParseCsv(const std::string& strText) {
    std::vector<std::map<std::string, std::string>> rows;
    const std::vector<std::string> lines = SplitLines(strText);
    if (lines.empty()) {
        return rows;
    }
    const auto names = SplitCsvFields(lines[0]);
    for (size_t k = 1; k < lines.size(); ++k) {
        const auto fields = SplitCsvFields(lines[k]);
        EXPECT_EQ(fields.size(), names.size()) << lines[k];
        std::map<std::string, std::string> row;
        for (size_t i = 0; i < names.size() && i < fields.size(); ++i) {
            row[names[i]] = fields[i];
        }
        rows.push_back(row);
    }
    return rows;
}

class ResearchCli : public testing::Test {
protected:
    void SetUp() override {
        m_strClip = m_dir.File("clip.qcf");
        ASSERT_EQ(RunCli({"sample", m_strClip, "-n", "6", "-q"}).nStatus, 0);
        m_clip = ReadBytes(m_strClip);
    }
    CTempDir m_dir;
    std::string m_strClip;
    std::vector<uint8_t> m_clip;
};

}  // namespace

TEST_F(ResearchCli, SweepSerialAndParallelAgreeWithTheCore) {
    const std::vector<std::string> base = {"sweep", m_strClip, "-t",        "5,20",
                                           "-q",    "8:24:8",  "--no-times"};
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return RunCli(args);
    };
    const CliResult serial = with({"-j", "1", "--threads", "1"});
    const CliResult parallel = with({"-j", "3", "--quiet"});
    const CliResult threaded = with({"-j", "2", "--threads", "3", "--quiet"});
    ASSERT_EQ(serial.nStatus, 0) << serial.strErr;
    ASSERT_EQ(parallel.nStatus, 0) << parallel.strErr;
    ASSERT_EQ(threaded.nStatus, 0) << threaded.strErr;
    EXPECT_NE(serial.strErr.find("1 job of 1 thread"), std::string::npos) << serial.strErr;
    EXPECT_EQ(serial.strOut, parallel.strOut);
    EXPECT_EQ(serial.strOut, threaded.strOut);
    EXPECT_EQ(parallel.strErr, "");  // quiet

    const auto rows = ParseCsv(serial.strOut);
    ASSERT_EQ(rows.size(), 6u);
    size_t k = 0;
    for (uint32_t t : {5u, 20u}) {
        for (uint32_t q : {8u, 16u, 24u}) {
            SCOPED_TRACE(testing::Message() << "T=" << t << " Q=" << q);
            SRdPoint point;
            ASSERT_TRUE(EvaluateRdPoint(m_clip.data(), 6, t, q, point, nullptr));
            EXPECT_EQ(rows[k].at("threshold"), std::to_string(t));
            EXPECT_EQ(rows[k].at("quantiser"), std::to_string(q));
            EXPECT_EQ(rows[k].at("cmp_bytes"), std::to_string(point.nCmpBytes));
            EXPECT_NEAR(std::stod(rows[k].at("mean_psnr_db")), point.dMeanPsnr, 1e-6);
            EXPECT_NEAR(std::stod(rows[k].at("mean_rmse")), point.dMeanRmse, 1e-6);
            EXPECT_EQ(rows[k].count("encode_s"), 0u);
            ++k;
        }
    }

    // Files and JSON: the same points in every form.
    const std::string strCsv = m_dir.File("rd.csv"), strSvg = m_dir.File("rd.svg");
    const CliResult files = with({"-j", "2", "--csv", strCsv, "--plot", strSvg, "--json"});
    ASSERT_EQ(files.nStatus, 0) << files.strErr;
    const std::vector<uint8_t> csvBytes = ReadBytes(strCsv);
    const auto fileRows = ParseCsv(std::string(csvBytes.begin(), csvBytes.end()));
    ASSERT_EQ(fileRows.size(), 6u);
    EXPECT_EQ(fileRows[0].at("cmp_bytes"), rows[0].at("cmp_bytes"));
    EXPECT_EQ(fileRows[0].count("encode_s"), 0u);
    const JsonValue json = ParseJson(files.strOut);
    ASSERT_EQ(json["points"].items.size(), 6u);
    EXPECT_EQ(json["frames"].number, 6);
    EXPECT_EQ(json["points"].items[5]["quantiser"].number, 24);
    EXPECT_NEAR(json["points"].items[5]["mean_psnr_db"].number,
                std::stod(rows[5].at("mean_psnr_db")), 1e-6);
    const std::vector<uint8_t> svg = ReadBytes(strSvg);
    EXPECT_NE(std::string(svg.begin(), svg.end()).find(">threshold 20<"), std::string::npos);
}

// The sweep's decisions: the pareto column marks exactly the points no other
// point beats, --pareto lists them in order of rate, times say how they were
// taken, and bdrate compares two tables.
TEST_F(ResearchCli, SweepMarksTheFrontAndBdrateComparesTables) {
    const std::string strA = m_dir.File("a.csv"), strB = m_dir.File("b.csv");
    for (const char* pszMetric : {"psnr", "psnr-y"}) {
        SCOPED_TRACE(pszMetric);
        const CliResult all = RunCli({"sweep", m_strClip, "-t", "5,30", "-q", "4:24:4", "-j", "1",
                                      "--metric", pszMetric, "--csv", strA, "--quiet"});
        ASSERT_EQ(all.nStatus, 0) << all.strErr;
        const std::vector<uint8_t> bytes = ReadBytes(strA);
        const auto rows = ParseCsv(std::string(bytes.begin(), bytes.end()));
        ASSERT_EQ(rows.size(), 12u);
        EXPECT_EQ(rows[0].count("encode_s"), 1u);  // one point at a time: plain times
        const char* pszQuality =
            pszMetric == std::string("psnr") ? "mean_psnr_db" : "mean_psnr_y_db";
        size_t nFront = 0;
        for (const auto& r : rows) {
            bool bBeaten = false;
            for (const auto& o : rows) {
                const double dr =
                    std::stod(o.at("bits_per_pixel")) - std::stod(r.at("bits_per_pixel"));
                const double dq = std::stod(o.at(pszQuality)) - std::stod(r.at(pszQuality));
                bBeaten = bBeaten || (dr <= 0 && dq >= 0 && (dr < 0 || dq > 0));
            }
            EXPECT_EQ(r.at("pareto"), bBeaten ? "0" : "1")
                << r.at("threshold") << " " << r.at("quantiser");
            nFront += bBeaten ? 0 : 1;
        }
        const CliResult front = RunCli({"sweep", m_strClip, "-t", "5,30", "-q", "4:24:4", "-j", "2",
                                        "--metric", pszMetric, "--pareto", "--quiet"});
        ASSERT_EQ(front.nStatus, 0) << front.strErr;
        const auto frontRows = ParseCsv(front.strOut);
        ASSERT_EQ(frontRows.size(), nFront);
        for (size_t k = 0; k < frontRows.size(); ++k) {
            EXPECT_EQ(frontRows[k].at("pareto"), "1");
            EXPECT_EQ(frontRows[k].count("encode_s_parallel"), 1u);  // timed side by side
            if (k > 0) {
                EXPECT_GT(std::stod(frontRows[k].at("bits_per_pixel")),
                          std::stod(frontRows[k - 1].at("bits_per_pixel")));
            }
        }
    }

    // Tables with the columns in any order: the worked example of the BD-rate tests.
    WriteBytes(strA, Bytes("mean_psnr_db,bits_per_pixel\n30.0,0.20\n32.6,0.35\n35.1,0.60\n"
                           "38.0,1.10\n31,0.9\n"));  // the last point is dominated
    WriteBytes(strB, Bytes("bits_per_pixel,mean_psnr_db\n0.18,30.4\n0.30,33.0\n0.55,35.9\n"
                           "1.00,38.9\n"));
    const CliResult bd = RunCli({"bdrate", strA, strB});
    ASSERT_EQ(bd.nStatus, 0) << bd.strErr;
    const std::vector<std::string> lines = SplitLines(bd.strOut);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_NE(lines[0].find("4 of 5 points on the Pareto front"), std::string::npos) << lines[0];
    EXPECT_EQ(
        lines[2].rfind("BD-rate: -21.58 % (B against A at equal PSNR, over 30.40 to 38.00 dB)", 0),
        0u)
        << lines[2];
    EXPECT_EQ(lines[3].rfind("BD-PSNR: +1.176 dB", 0), 0u) << lines[3];
    WriteBytes(strB, Bytes("bits_per_pixel,psnr\n0.18,30.4\n"));
    const CliResult refused = RunCli({"bdrate", strA, strB});
    EXPECT_EQ(refused.nStatus, 1);
    EXPECT_NE(refused.strErr.find("mean_psnr_db"), std::string::npos) << refused.strErr;
}

TEST_F(ResearchCli, SweepRefusalsWriteNothing) {
    const std::string strCsv = m_dir.File("keep.csv"), strSvg = m_dir.File("keep.svg");
    WriteBytes(strCsv, {'o', 'l', 'd'});
    WriteBytes(strSvg, {'o', 'l', 'd'});
    struct Case {
        std::vector<std::string> args;
        int nStatus;
        const char* pszError;
    };
    const Case cases[] = {
        {{"-t", "0"}, 2, "--threshold"},
        {{"--quantiser", "4:2"}, 2, "--quantiser"},
        {{"--quantiser", "x"}, 2, "--quantiser"},
        {{"-n", "7"}, 1, "fewer than the 7"},
        {{"--plot", m_dir.File("no/such/dir/p.svg")}, 1, "p.svg"},
        {{"--csv", m_dir.File("rd.txt")}, 2, ".csv"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"sweep", m_strClip, "--quantiser", "16"};
        for (const char* pszOption : {"--csv", "--plot"}) {
            if (c.args[0] != pszOption) {
                args.push_back(pszOption);
                args.push_back(pszOption == std::string("--csv") ? strCsv : strSvg);
            }
        }
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        const CliResult r = RunCli(args);
        EXPECT_EQ(r.nStatus, c.nStatus);
        EXPECT_NE(r.strErr.find(c.pszError), std::string::npos) << r.strErr;
        EXPECT_EQ(r.strOut, "");
        EXPECT_EQ(ReadBytes(strCsv), (std::vector<uint8_t>{'o', 'l', 'd'}));
        EXPECT_EQ(ReadBytes(strSvg), (std::vector<uint8_t>{'o', 'l', 'd'}));
    }
}

TEST_F(ResearchCli, ConvertRoundTrips) {
    const std::string y4m = m_dir.File("a.y4m"), yuv = m_dir.File("b.yuv"),
                      back = m_dir.File("c.qcf");
    ASSERT_EQ(RunCli({"convert", m_strClip, y4m, "-q"}).nStatus, 0);
    ASSERT_EQ(RunCli({"convert", y4m, yuv, "-q"}).nStatus, 0);
    ASSERT_EQ(RunCli({"convert", yuv, back, "-n", "4", "-q"}).nStatus, 0);
    EXPECT_EQ(ReadBytes(yuv), m_clip);
    EXPECT_EQ(ReadBytes(back),
              std::vector<uint8_t>(m_clip.begin(), m_clip.begin() + 4 * QCIF_FRAME_BYTES));
    const std::vector<uint8_t> y4mBytes = ReadBytes(y4m);
    const std::string strHeader = "YUV4MPEG2 W176 H144 F25:1 Ip A0:0 C420jpeg\n";
    EXPECT_EQ(std::string(y4mBytes.begin(), y4mBytes.begin() + strHeader.size()), strHeader);
    EXPECT_EQ(y4mBytes.size(), strHeader.size() + 6 * (6 + QCIF_FRAME_BYTES));

    // The rate travels from a y4m input unless --fps says otherwise.
    const std::string y4m2 = m_dir.File("d.y4m"), y4m3 = m_dir.File("e.y4m");
    ASSERT_EQ(RunCli({"convert", m_strClip, y4m2, "--fps", "30000:1001", "-q"}).nStatus, 0);
    ASSERT_EQ(RunCli({"convert", y4m2, y4m3, "-q"}).nStatus, 0);
    const std::vector<uint8_t> y4m3Bytes = ReadBytes(y4m3);
    EXPECT_EQ(std::string(y4m3Bytes.begin(), y4m3Bytes.begin() + 30),
              "YUV4MPEG2 W176 H144 F30000:100");

    // A y4m copy cut short inside its last frame loses that frame, with a note.
    const std::string cut = m_dir.File("cut.y4m");
    WriteBytes(cut, std::vector<uint8_t>(y4mBytes.begin(), y4mBytes.end() - 1000));
    const CliResult rCut = RunCli({"convert", cut, back});
    EXPECT_EQ(rCut.nStatus, 0) << rCut.strErr;
    EXPECT_NE(rCut.strErr.find("dropped " + std::to_string(6 + QCIF_FRAME_BYTES - 1000) + " bytes"),
              std::string::npos)
        << rCut.strErr;
    EXPECT_EQ(ReadBytes(back),
              std::vector<uint8_t>(m_clip.begin(), m_clip.begin() + 5 * QCIF_FRAME_BYTES));

    // Refusals leave the output alone.
    const std::string cif = m_dir.File("cif.y4m"), out = m_dir.File("out.qcf");
    std::string strCif = "YUV4MPEG2 W352 H288 F25:1 Ip A0:0 C420jpeg\nFRAME\n";
    std::vector<uint8_t> cifBytes(strCif.begin(), strCif.end());
    cifBytes.resize(cifBytes.size() + 352 * 288 * 3 / 2);
    WriteBytes(cif, cifBytes);
    WriteBytes(out, {1, 2, 3});
    const CliResult r = RunCli({"convert", cif, out});
    EXPECT_EQ(r.nStatus, 1);
    EXPECT_NE(r.strErr.find("352x288 4:2:0 8-bit"), std::string::npos) << r.strErr;
    EXPECT_NE(r.strErr.find("ffmpeg -i"), std::string::npos) << r.strErr;
    EXPECT_EQ(ReadBytes(out), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(RunCli({"convert", m_strClip, m_dir.File("x.avi")}).nStatus, 1);
    EXPECT_EQ(RunCli({"convert", m_strClip, out, "-n", "9"}).nStatus, 1);
    EXPECT_EQ(RunCli({"convert", m_strClip, y4m, "--fps", "0"}).nStatus, 2);
    EXPECT_EQ(ReadBytes(out), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(ResearchCli, ConvertThroughFfmpeg) {
    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    // ffmpeg re-muxes our y4m; converting its output back gives the clip.
    const std::string ours = m_dir.File("ours.y4m"), theirs = m_dir.File("theirs.y4m"),
                      back = m_dir.File("back.qcf");
    ASSERT_EQ(RunCli({"convert", m_strClip, ours, "-q"}).nStatus, 0);
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -y -i " + ours +
                           " -pix_fmt yuv420p " + theirs)
                              .c_str()),
              0);
    ASSERT_EQ(RunCli({"convert", theirs, back, "-q"}).nStatus, 0);
    EXPECT_EQ(ReadBytes(back), m_clip);
}

TEST_F(ResearchCli, DumpShowsTheCodecStages) {
    // Indices: the table's figures are the core's for this frame.
    const CliResult indices = RunCli({"dump", m_strClip, "--frame", "3", "-t", "12", "-q", "20",
                                      "--stage", "indices", "--json"});
    ASSERT_EQ(indices.nStatus, 0) << indices.strErr;
    std::vector<int16_t> expected;
    ASSERT_TRUE(FrameIndices(m_clip.data() + 2 * QCIF_FRAME_BYTES, 12, 20, expected));
    const std::vector<SBandStats> bands = BandStatistics(expected.data(), 20);
    const JsonValue json = ParseJson(indices.strOut);
    ASSERT_EQ(json["bands"].items.size(), 33u);
    for (size_t b = 0; b < 33; ++b) {
        const JsonValue& row = json["bands"].items[b];
        EXPECT_EQ(row["nonzero"].number, bands[b].nNonzero) << b;
        EXPECT_EQ(row["min"].number, bands[b].nMin) << b;
        EXPECT_EQ(row["max"].number, bands[b].nMax) << b;
        EXPECT_EQ(row["energy"].number, double(bands[b].nEnergy)) << b;
        EXPECT_EQ(row["step"].number, bands[b].nStep) << b;
    }

    // Records: the CSV in --out lists frames 1..K, and the sizes add up to
    // the record stream of the K-frame compression.
    const CliResult records = RunCli({"dump", m_strClip, "--frame", "4", "--stage", "records",
                                      "--out", m_dir.Path().string(), "--all-frames", "--quiet"});
    ASSERT_EQ(records.nStatus, 0) << records.strErr;
    const std::vector<uint8_t> csv = ReadBytes(m_dir.File("clip_f4_t10_q16_records.csv"));
    const auto rows = ParseCsv(std::string(csv.begin(), csv.end()));
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].at("expanded"), "76032");
    EXPECT_EQ(rows[3].at("expanded"), "38016");
    SRdPoint point;
    ASSERT_TRUE(EvaluateRdPoint(m_clip.data(), 4, 10, 16, point, nullptr));
    const CliResult summary =
        RunCli({"dump", m_strClip, "--frame", "4", "--stage", "records", "--json"});
    const JsonValue recJson = ParseJson(summary.strOut);
    EXPECT_EQ(recJson["cmp_bytes"].number, double(point.nCmpBytes));
    ASSERT_EQ(recJson["records"].items.size(), 1u);
    EXPECT_EQ(std::to_string(int(recJson["records"].items[0]["coded"].number)),
              rows[3].at("coded"));
    double dSum = 0;
    for (const auto& row : rows) {
        dSum += std::stod(row.at("coded"));
    }
    EXPECT_EQ(dSum, recJson["records_bytes"].number);

    // Pyramid: a PNG of the stated size, in a folder made for it.
    const CliResult pyramid = RunCli({"dump", m_strClip, "--frame", "1", "--stage", "pyramid",
                                      "--out", m_dir.File("new/sub"), "--zoom", "3"});
    ASSERT_EQ(pyramid.nStatus, 0) << pyramid.strErr;
    const std::vector<uint8_t> png = ReadBytes(m_dir.File("new/sub/clip_f1_pyramid.png"));
    ASSERT_GT(png.size(), 24u);
    EXPECT_EQ(std::string(png.begin() + 1, png.begin() + 4), "PNG");
    auto be32 = [&](size_t at) {
        return uint32_t(png[at]) << 24 | uint32_t(png[at + 1]) << 16 | png[at + 2] << 8 |
               png[at + 3];
    };
    EXPECT_EQ(be32(16), 176u * 3);
    EXPECT_EQ(be32(20), 216u * 3);

    // Refusals.
    EXPECT_EQ(RunCli({"dump", m_strClip, "--frame", "7", "--stage", "indices"}).nStatus, 1);
    EXPECT_EQ(RunCli({"dump", m_strClip, "--frame", "1", "--stage", "bands"}).nStatus, 2);
    EXPECT_EQ(RunCli({"dump", m_strClip, "--frame", "1", "--stage", "pyramid", "--out", m_strClip})
                  .nStatus,
              1);
}

TEST(ResearchCliRealClips, SweepAndDumpOnACameraClip) {
    const std::string strClip = DataFile("hall_50f.qcf");
    if (strClip.empty()) {
        GTEST_SKIP() << "real clips not present";
    }
    const CliResult sweep =
        RunCli({"sweep", strClip, "-n", "10", "--quantiser", "8,32", "--no-times", "--quiet"});
    ASSERT_EQ(sweep.nStatus, 0) << sweep.strErr;
    const auto rows = ParseCsv(sweep.strOut);
    ASSERT_EQ(rows.size(), 2u);
    // A coarser quantiser costs fewer bits on a real scene.
    EXPECT_LT(std::stoul(rows[1].at("cmp_bytes")), std::stoul(rows[0].at("cmp_bytes")));
    const CliResult dump =
        RunCli({"dump", strClip, "--frame", "50", "--stage", "records", "--quiet"});
    EXPECT_EQ(dump.nStatus, 0) << dump.strErr;
}

TEST_F(ResearchCli, StatsFileReadsLikeFfmpegs) {
    const std::string cmp = m_dir.File("c.cmp"), dec = m_dir.File("d.qcf"),
                      ours = m_dir.File("ours.log");
    ASSERT_EQ(RunCli({"compress", m_strClip, cmp, "--quiet"}).nStatus, 0);
    ASSERT_EQ(RunCli({"decompress", cmp, dec, "--quiet"}).nStatus, 0);
    const CliResult r = RunCli({"compare", dec, m_strClip, "--stats-file", ours, "--quiet"});
    ASSERT_EQ(r.nStatus, 0) << r.strErr;

    // key:value fields, the way scripts read ffmpeg's stats lines.
    auto parse = [](const std::string& strPath) {
        std::vector<std::map<std::string, std::string>> lines;
        const std::vector<uint8_t> bytes = ReadBytes(strPath);
        for (const std::string& line : SplitLines(std::string(bytes.begin(), bytes.end()))) {
            std::map<std::string, std::string> fields;
            std::stringstream in(line);
            std::string item;
            while (in >> item) {
                const size_t nColon = item.find(':');
                EXPECT_NE(nColon, std::string::npos) << item;
                fields[item.substr(0, nColon)] = item.substr(nColon + 1);
            }
            lines.push_back(fields);
        }
        return lines;
    };
    const auto ourLines = parse(ours);
    ASSERT_EQ(ourLines.size(), 6u);
    const char* const keys[] = {"n",        "mse_avg", "mse_y",  "mse_u", "mse_v",
                                "psnr_avg", "psnr_y",  "psnr_u", "psnr_v"};
    for (const auto& line : ourLines) {
        ASSERT_EQ(line.size(), std::size(keys));
        for (const char* pszKey : keys) {
            EXPECT_EQ(line.count(pszKey), 1u) << pszKey;
        }
    }
    EXPECT_EQ(ourLines[0].at("n"), "1");
    EXPECT_EQ(ourLines[5].at("n"), "6");

    if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "ffmpeg is not installed";
    }
    const std::string theirs = m_dir.File("theirs.log");
    const std::string raw = " -f rawvideo -pix_fmt yuv420p -video_size 176x144 -i ";
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error" + raw + dec + raw + m_strClip +
                           " -lavfi psnr=stats_file=" + theirs + " -f null -")
                              .c_str()),
              0);
    const auto theirLines = parse(theirs);
    ASSERT_EQ(theirLines.size(), ourLines.size());
    for (size_t k = 0; k < ourLines.size(); ++k) {
        for (const char* pszKey : keys) {
            EXPECT_EQ(ourLines[k].at(pszKey), theirLines[k].at(pszKey))
                << "frame " << k + 1 << " " << pszKey;
        }
    }
}

// Regression: with both --csv and --stats-file, a stats file that could not be
// written used to leave the CSV already replaced.
TEST_F(ResearchCli, CompareWritesBothOutputsOrNeither) {
    const std::string csv = m_dir.File("old.csv");
    WriteBytes(csv, {'o', 'l', 'd'});
    const CliResult r = RunCli({"compare", m_strClip, m_strClip, "--csv", csv, "--stats-file",
                                m_dir.File("missing/psnr.log"), "--quiet"});
    EXPECT_EQ(r.nStatus, 1);
    EXPECT_NE(r.strErr.find("missing/psnr.log"), std::string::npos) << r.strErr;
    EXPECT_EQ(ReadBytes(csv), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.Path()), {}), 2);

    const std::string log = m_dir.File("psnr.log");
    ASSERT_EQ(
        RunCli({"compare", m_strClip, m_strClip, "--csv", csv, "--stats-file", log, "--quiet"})
            .nStatus,
        0);
    EXPECT_GT(ReadBytes(csv).size(), 3u);
    EXPECT_FALSE(ReadBytes(log).empty());
}

TEST(DumpPictures, PyramidPicture) {
    const std::vector<uint8_t> frame(QCIF_FRAME_BYTES, 128);
    std::vector<int16_t> pyramid;
    ASSERT_TRUE(FramePyramid(frame.data(), pyramid));
    const SGreyImage image = RenderPyramid(pyramid.data(), 2);
    ASSERT_EQ(image.nWidth, 352u);
    ASSERT_EQ(image.nHeight, 432u);
    ASSERT_EQ(image.pixels.size(), 352u * 432u);
    auto pixel = [&](uint32_t x, uint32_t y) { return image.pixels[y * image.nWidth + x]; };
    // Flat bands show mid grey; the subband edges are white lines.
    EXPECT_EQ(pixel(5, 5), 128);      // inside Y LL4
    EXPECT_EQ(pixel(100, 100), 128);  // inside Y HL2
    EXPECT_EQ(pixel(22, 5), 255);     // left edge of Y HL4 (column 11, zoomed)
    EXPECT_EQ(pixel(176, 3), 255);    // left edge of Y HL1 (column 88)
    EXPECT_EQ(pixel(3, 144), 255);    // top edge of Y LH1 (row 72)
    EXPECT_EQ(pixel(200, 288), 255);  // top edge of the chroma planes (row 144)
    EXPECT_EQ(pixel(176, 300), 255);  // left edge of V (column 88 of the chroma row)

    // A single bright sample: its detail coefficients reach the band extremes.
    std::vector<uint8_t> spot(QCIF_FRAME_BYTES, 0);
    spot[50 * 176 + 60] = 255;
    ASSERT_TRUE(FramePyramid(spot.data(), pyramid));
    const SGreyImage spotImage = RenderPyramid(pyramid.data(), 1);
    const auto [lo, hi] = std::minmax_element(spotImage.pixels.begin(), spotImage.pixels.end());
    EXPECT_LE(*lo, 1);
    EXPECT_EQ(*hi, 255);

    const std::vector<uint8_t> pgm = EncodePgm(spotImage);
    const std::string strHeader = "P5\n176 216\n255\n";
    ASSERT_EQ(pgm.size(), strHeader.size() + 176u * 216u);
    EXPECT_EQ(std::string(pgm.begin(), pgm.begin() + strHeader.size()), strHeader);
}
