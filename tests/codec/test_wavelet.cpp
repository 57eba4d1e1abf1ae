#include "codec/Wavelet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

namespace {

using Line = std::vector<int16_t>;

struct AnalyseCase {
    const char* name;
    Line in;
    Line low;   // expected prefix of the low output
    Line high;  // expected prefix of the high output
};

TEST(Wavelet, AnalyseLineVectors) {
    const AnalyseCase cases[] = {
        {"constant 100", Line(12, 100), Line(6, 141), Line(6, 0)},
        // The 13-decimal K gives 9885 here; the exact 1/sqrt(2) would give 9886.
        {"scale factor", {7414, 3633, 7750, -7706, 885, -1155}, {9885}, {}},
    };
    for (const auto& c : cases) {
        Line low(c.in.size() / 2, -1), high(c.in.size() / 2, -1);
        ASSERT_TRUE(AnalyseLine(c.in.size(), c.in.data(), low.data(), high.data())) << c.name;
        EXPECT_TRUE(std::equal(c.low.begin(), c.low.end(), low.begin())) << c.name;
        EXPECT_TRUE(std::equal(c.high.begin(), c.high.end(), high.begin())) << c.name;
    }
}

TEST(Wavelet, SynthesiseLineVectors) {
    struct Case {
        const char* name;
        Line low, high, out;  // out: expected prefix
    } const cases[] = {
        {"constant 141 loses one unit", Line(6, 141), Line(6, 0), Line(12, 99)},
        {"scale factor", {8097, 28, -202}, {-895, 7179, -1137}, {8512}},
    };
    for (const auto& c : cases) {
        Line out(c.low.size() * 2, -1);
        ASSERT_TRUE(SynthesiseLine(out.size(), out.data(), c.low.data(), c.high.data())) << c.name;
        EXPECT_TRUE(std::equal(c.out.begin(), c.out.end(), out.begin())) << c.name;
    }
}

TEST(Wavelet, LineLengthsOutsideTheDesignAreRefused) {
    Line in(200, 1), low(100, 7), high(100, 7);
    for (uint32_t n : {0u, 4u, 7u, 177u, 178u}) {
        EXPECT_FALSE(AnalyseLine(n, in.data(), low.data(), high.data())) << n;
        EXPECT_FALSE(SynthesiseLine(n, in.data(), low.data(), high.data())) << n;
    }
    EXPECT_EQ(low, Line(100, 7));
    EXPECT_EQ(in, Line(200, 1));
}

// Synthesis is the transpose of analysis: for every length the codec uses, a
// random line comes back within the truncation losses of two passes.
TEST(Wavelet, LinesRoundTripWithinTruncationLoss) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> sample(0, 255);
    for (uint32_t n : {6u, 18u, 22u, 36u, 44u, 72u, 88u, 144u, 176u}) {
        Line in(n), low(n / 2), high(n / 2), out(n);
        for (auto& v : in) {
            v = static_cast<int16_t>(sample(rng));
        }
        AnalyseLine(n, in.data(), low.data(), high.data());
        SynthesiseLine(n, out.data(), low.data(), high.data());
        for (uint32_t i = 0; i < n; ++i) {
            EXPECT_LE(std::abs(out[i] - in[i]), 2) << "length " << n << " sample " << i;
        }
    }
}

struct PlaneSetup {
    uint8_t width, height, levels;
};
constexpr PlaneSetup Y_PLANE{176, 144, 4};
constexpr PlaneSetup C_PLANE{88, 72, 3};

std::vector<int16_t> Forward(const PlaneSetup& p, std::vector<int16_t> plane) {
    EXPECT_TRUE(ForwardWavelet(plane.data(), p.width, p.height, p.levels));
    return plane;
}

std::vector<int16_t> Inverse(const PlaneSetup& p, std::vector<int16_t> plane) {
    EXPECT_TRUE(InverseWavelet(plane.data(), p.width, p.height, p.levels));
    return plane;
}

TEST(Wavelet, FlatPlanes) {
    struct Case {
        const char* name;
        PlaneSetup plane;
        int16_t value;
        int16_t ll;    // every value of the 11 x 9 low band
        int16_t back;  // every sample after the inverse
    } const cases[] = {
        {"Y 128", Y_PLANE, 128, 2030, 125},
        {"U 128", C_PLANE, 128, 1016, 125},
        {"Y 255", Y_PLANE, 255, 4058, -1},
    };
    for (const auto& c : cases) {
        const uint32_t w = c.plane.width;
        auto pyr = Forward(c.plane, std::vector<int16_t>(w * c.plane.height, c.value));
        for (uint32_t r = 0; r < c.plane.height; ++r) {
            for (uint32_t col = 0; col < w; ++col) {
                const int16_t want = (r < 9 && col < 11) ? c.ll : 0;
                ASSERT_EQ(pyr[r * w + col], want) << c.name << " row " << r << " col " << col;
            }
        }
        if (c.back >= 0) {
            auto back = Inverse(c.plane, pyr);
            EXPECT_TRUE(std::all_of(back.begin(), back.end(), [&](int16_t v) {
                return v == c.back;
            })) << c.name;
        }
    }
}

// The periodic extension couples opposite edges: a corner impulse spreads to
// the last rows and columns of each half.
TEST(Wavelet, CornerImpulseOneLevel) {
    std::vector<int16_t> plane(176 * 144, 0);
    plane[0] = 255;
    auto pyr = Forward({176, 144, 1}, plane);
    EXPECT_EQ(pyr[0], 27);
    const std::set<uint32_t> rows{0, 70, 71, 72, 142, 143};
    const std::set<uint32_t> cols{0, 86, 87, 88, 174, 175};
    int nonzero = 0;
    for (uint32_t i = 0; i < pyr.size(); ++i) {
        if (pyr[i] != 0) {
            ++nonzero;
            EXPECT_TRUE(rows.count(i / 176) && cols.count(i % 176))
                << "row " << i / 176 << " col " << i % 176;
        }
    }
    EXPECT_EQ(nonzero, 33);
}

TEST(Wavelet, LevelCountsThatLeaveThePlaneAlone) {
    std::mt19937 rng(3);
    std::vector<int16_t> plane(176 * 144);
    for (auto& v : plane) {
        v = static_cast<int16_t>(rng() % 256);
    }
    auto copy = plane;
    EXPECT_TRUE(ForwardWavelet(copy.data(), 176, 144, 0));
    EXPECT_EQ(copy, plane);
    // A fifth level would need 11-sample rows; nothing is touched.
    EXPECT_FALSE(ForwardWavelet(copy.data(), 176, 144, 5));
    EXPECT_FALSE(InverseWavelet(copy.data(), 176, 144, 5));
    EXPECT_FALSE(InverseWavelet(copy.data(), 176, 144, 0));
    EXPECT_EQ(copy, plane);
}

// A textured plane comes back close to itself after all levels.
TEST(Wavelet, PlanesRoundTripCloseToInput) {
    for (const auto& p : {Y_PLANE, C_PLANE}) {
        std::vector<int16_t> plane(p.width * p.height);
        for (uint32_t i = 0; i < plane.size(); ++i) {
            const uint32_t x = i % p.width, y = i / p.width;
            plane[i] = static_cast<int16_t>((x * 7 + y * 3 + (x * y) % 29) % 256);
        }
        auto back = Inverse(p, Forward(p, plane));
        int worst = 0;
        for (uint32_t i = 0; i < plane.size(); ++i) {
            worst = std::max(worst, std::abs(back[i] - plane[i]));
        }
        EXPECT_LE(worst, 8) << "plane " << int(p.width);
    }
}

}  // namespace
