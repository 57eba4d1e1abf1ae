#include "stream/SampleClip.h"

#include <cmath>
#include <new>
#include <vector>

#include "io/QcifFormat.h"

namespace {

constexpr int kWidth = 176;
constexpr int kHeight = 144;

struct Rgb {
    double r, g, b;  // 0..1
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(const Rgb& a, double s) {
    return {a.r * s, a.g * s, a.b * s};
}

double Clamp01(double v) {
    return v < 0.0 ? 0.0 : (v > 1.0 ? 1.0 : v);
}

// Smooth 0..1 ramp between e0 and e1.
double SmoothStep(double e0, double e1, double x) {
    double t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0 - 2.0 * t);
}

uint32_t Hash(uint32_t x) {
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

uint32_t Hash2(int32_t ix, int32_t iy, uint32_t nSeed) {
    return Hash(static_cast<uint32_t>(ix) * 0x9e3779b1U ^ Hash(static_cast<uint32_t>(iy) + nSeed));
}

double Unit(uint32_t h) {
    return static_cast<double>(h >> 8) * (1.0 / 16777216.0);
}

// Value noise in 0..1 with smooth interpolation between lattice points.
double ValueNoise(double x, double y, uint32_t nSeed) {
    double fx = std::floor(x);
    double fy = std::floor(y);
    auto ix = static_cast<int32_t>(fx);
    auto iy = static_cast<int32_t>(fy);
    double tx = x - fx;
    double ty = y - fy;
    tx = tx * tx * (3.0 - 2.0 * tx);
    ty = ty * ty * (3.0 - 2.0 * ty);
    double a = Unit(Hash2(ix, iy, nSeed));
    double b = Unit(Hash2(ix + 1, iy, nSeed));
    double c = Unit(Hash2(ix, iy + 1, nSeed));
    double d = Unit(Hash2(ix + 1, iy + 1, nSeed));
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Fractal noise: several octaves of value noise, 0..1.
double Fbm(double x, double y, uint32_t nSeed, int nOctaves) {
    double sum = 0.0;
    double amp = 0.5;
    double norm = 0.0;
    for (int i = 0; i < nOctaves; ++i) {
        sum += amp * ValueNoise(x, y, nSeed + static_cast<uint32_t>(i) * 101U);
        norm += amp;
        amp *= 0.5;
        x *= 2.03;
        y *= 2.03;
    }
    return sum / norm;
}

// Triangle wave of period 1, 0 at 0, 1 at 0.5.
double Triangle(double t) {
    double f = t - std::floor(t);
    return f < 0.5 ? 2.0 * f : 2.0 - 2.0 * f;
}

// Coverage of a soft-edged disc (one pixel of anti-aliasing).
double DiscCoverage(double x, double y, double cx, double cy, double r) {
    double dx = x - cx;
    double dy = y - cy;
    return Clamp01(r - std::sqrt(dx * dx + dy * dy) + 0.5);
}

// Coverage of a soft-edged axis-aligned box.
double BoxCoverage(double x, double y, double x0, double y0, double x1, double y1) {
    double cx = Clamp01(x - x0 + 0.5) * Clamp01(x1 - x + 0.5);
    double cy = Clamp01(y - y0 + 0.5) * Clamp01(y1 - y + 0.5);
    return cx * cy;
}

class CSampleScene {
public:
    explicit CSampleScene(uint32_t nIndex) : m_t(static_cast<double>(nIndex)) {
        // A slow pan to the right with a gentle rise and fall of the camera.
        m_camX = 0.9 * m_t;
        m_camY = 6.0 * Triangle(m_t / 240.0);
        // The car drives right faster than the camera and comes round again.
        const double carPeriod = 420.0;
        double carTravel = 2.1 * m_t;
        m_carX = m_camX - 60.0 + (carTravel - std::floor(carTravel / carPeriod) * carPeriod);
        // The ball rolls left across the screen and bounces every 26 frames.
        double phase = m_t / 26.0 - std::floor(m_t / 26.0);
        m_ballX = 200.0 - 0.75 * (m_t - std::floor(m_t / 300.0) * 300.0);
        m_ballY = 128.0 - 46.0 * 4.0 * phase * (1.0 - phase);
    }

    Rgb Pixel(double sx, double sy) const {
        double wx = sx + m_camX;
        double wy = sy + m_camY;
        Rgb c = Background(wx, wy);
        c = Trees(c, wx, wy);
        c = Car(c, wx, wy);
        c = Ball(c, sx, sy);
        // Lens fall-off towards the corners.
        double nx = (sx - kWidth * 0.5) / (kWidth * 0.5);
        double ny = (sy - kHeight * 0.5) / (kHeight * 0.5);
        return Scale(c, 1.0 - 0.12 * (nx * nx + ny * ny));
    }

private:
    static double RoadTop() { return 116.0; }
    static double RoadBottom() { return 136.0; }

    Rgb Background(double wx, double wy) const {
        // Far hills move at half the camera speed (parallax).
        double fx = wx - 0.5 * m_camX;
        double hill = 48.0 + 36.0 * Fbm(fx * 0.011, 3.7, 11, 3) + 5.0 * Fbm(fx * 0.07, 1.3, 12, 2);
        const double grassTop = 98.0;
        if (wy < grassTop) {
            // The hill line is blended over one pixel so that it pans smoothly.
            double land = Clamp01(wy - hill + 0.5);
            Rgb sky{0, 0, 0};
            Rgb hillC{0, 0, 0};
            if (land < 1.0) {
                // Sky: deep blue at the top to a pale haze at the horizon, clouds drifting.
                double h = Clamp01(wy / 80.0);
                sky = Mix({0.22, 0.42, 0.78}, {0.72, 0.82, 0.92}, h);
                double cl = Fbm((wx - 0.7 * m_camX + 0.15 * m_t) * 0.018, wy * 0.05, 21, 4);
                double cover = SmoothStep(0.48, 0.68, cl) * (1.0 - 0.6 * h);
                Rgb cloud = Mix({0.98, 0.98, 0.97}, {0.78, 0.80, 0.84}, SmoothStep(0.6, 0.9, cl));
                sky = Mix(sky, cloud, cover);
            }
            if (land > 0.0) {
                // Distant hillside: muted green with fields, lighter towards the haze.
                double fields = Fbm(fx * 0.05, wy * 0.09, 31, 3);
                hillC = Mix({0.30, 0.42, 0.26}, {0.46, 0.52, 0.30}, fields);
                double haze = Clamp01((grassTop - wy) / (grassTop - 48.0));
                hillC = Mix(hillC, {0.60, 0.68, 0.70}, 0.45 * haze);
            }
            return Mix(sky, hillC, land);
        }
        if (wy >= RoadTop() && wy < RoadBottom()) {
            // Asphalt with grain, a darker wheel track and a dashed centre line.
            double grain = Fbm(wx * 0.35, wy * 0.35, 41, 2);
            Rgb road = Scale({0.36, 0.36, 0.38}, 0.85 + 0.3 * grain);
            double mid = (RoadTop() + RoadBottom()) * 0.5;
            double dash =
                BoxCoverage(wx - std::floor(wx / 26.0) * 26.0, wy, 2.0, mid - 1.0, 15.0, mid + 1.0);
            road = Mix(road, {0.92, 0.90, 0.80}, 0.9 * dash);
            double edge = SmoothStep(RoadTop(), RoadTop() + 1.5, wy) *
                          (1.0 - SmoothStep(RoadBottom() - 1.5, RoadBottom(), wy));
            return Mix({0.55, 0.50, 0.42}, road, edge);
        }
        // Grass: fine blades over broad patches, lighter in the distance.
        double patch = Fbm(wx * 0.03, wy * 0.05, 51, 3);
        double blades = Fbm(wx * 0.45, wy * 0.9, 52, 2);
        Rgb grass = Mix({0.20, 0.40, 0.12}, {0.45, 0.58, 0.20}, patch);
        grass = Scale(grass, 0.8 + 0.4 * blades);
        double dist = Clamp01((wy - grassTop) / 40.0);
        return Mix({0.42, 0.54, 0.34}, grass, 0.5 + 0.5 * dist);
    }

    Rgb Trees(Rgb c, double wx, double wy) const {
        // A row of trees standing behind the road, one every 64 world pixels.
        const double spacing = 64.0;
        double cell = std::floor(wx / spacing);
        for (int k = -1; k <= 1; ++k) {
            double n = cell + k;
            uint32_t h = Hash(static_cast<uint32_t>(static_cast<int32_t>(n)) * 2654435761U + 7U);
            if ((h & 7U) == 0) {
                continue;  // a gap in the row
            }
            double baseX = n * spacing + 14.0 + 36.0 * Unit(Hash(h));
            double baseY = 112.0 + 3.0 * Unit(Hash(h + 1));
            double radius = 11.0 + 7.0 * Unit(Hash(h + 2));
            double trunkH = 10.0 + 6.0 * Unit(Hash(h + 3));
            // Trunk.
            double trunk =
                BoxCoverage(wx, wy, baseX - 2.0, baseY - trunkH - radius * 0.4, baseX + 2.0, baseY);
            if (trunk > 0.0) {
                double bark = Fbm(wx * 0.8, wy * 0.2, 61, 2);
                c = Mix(c, Scale({0.36, 0.25, 0.16}, 0.8 + 0.4 * bark), trunk);
            }
            // Canopy: a disc with a leafy texture, lit from the upper left.
            double cx = baseX;
            double cy = baseY - trunkH - radius;
            double leaf = Fbm(wx * 0.3, wy * 0.3, 71 + (h & 15U), 3);
            double r = radius + 3.0 * (leaf - 0.5);
            double cover = DiscCoverage(wx, wy, cx, cy, r);
            if (cover > 0.0) {
                double light = Clamp01(0.5 - 0.5 * ((wx - cx) + (wy - cy)) / radius);
                Rgb green = Mix({0.10, 0.26, 0.08}, {0.32, 0.52, 0.18}, 0.6 * light + 0.4 * leaf);
                c = Mix(c, green, cover);
            }
        }
        return c;
    }

    Rgb Car(Rgb c, double wx, double wy) const {
        double x0 = m_carX;
        double y1 = 131.0;  // bottom of the body
        // Shadow under the car.
        double shadow = BoxCoverage(wx, wy, x0 - 1.0, y1 - 1.0, x0 + 37.0, y1 + 3.0);
        c = Mix(c, Scale(c, 0.55), shadow);
        // Body and cabin.
        double body = BoxCoverage(wx, wy, x0, y1 - 10.0, x0 + 36.0, y1);
        double cabin = BoxCoverage(wx, wy, x0 + 8.0, y1 - 17.0, x0 + 27.0, y1 - 9.0);
        double shine = Clamp01((y1 - wy) / 10.0);
        c = Mix(c, Mix({0.55, 0.06, 0.05}, {0.86, 0.16, 0.10}, shine), body);
        c = Mix(c, {0.62, 0.08, 0.06}, cabin);
        // Windows.
        double win1 = BoxCoverage(wx, wy, x0 + 10.0, y1 - 15.5, x0 + 17.0, y1 - 10.0);
        double win2 = BoxCoverage(wx, wy, x0 + 18.5, y1 - 15.5, x0 + 25.0, y1 - 10.0);
        c = Mix(c, {0.55, 0.70, 0.82}, win1 + win2);
        // Head light at the front.
        double lamp = BoxCoverage(wx, wy, x0 + 34.0, y1 - 8.0, x0 + 36.0, y1 - 5.0);
        c = Mix(c, {1.0, 0.95, 0.70}, lamp);
        // Wheels with a grey hub.
        for (double wxC : {x0 + 8.0, x0 + 28.0}) {
            double tyre = DiscCoverage(wx, wy, wxC, y1, 4.0);
            double hub = DiscCoverage(wx, wy, wxC, y1, 1.6);
            c = Mix(c, {0.08, 0.08, 0.08}, tyre);
            c = Mix(c, {0.65, 0.65, 0.66}, hub);
        }
        return c;
    }

    Rgb Ball(Rgb c, double sx, double sy) const {
        const double r = 6.5;
        // Shadow on the ground shrinks as the ball rises.
        double lift = (128.0 - m_ballY) / 46.0;
        double sh =
            DiscCoverage(sx, (sy - 134.5) * 3.0 + 134.5, m_ballX, 134.5, r * (1.0 - 0.4 * lift));
        c = Mix(c, Scale(c, 0.6), 0.7 * sh);
        double cover = DiscCoverage(sx, sy, m_ballX, m_ballY, r);
        if (cover > 0.0) {
            double dx = (sx - m_ballX + 2.5) / r;
            double dy = (sy - m_ballY + 2.5) / r;
            double spot = Clamp01(1.0 - (dx * dx + dy * dy));
            Rgb ball = Mix({0.72, 0.36, 0.04}, {1.0, 0.85, 0.45}, spot * spot);
            // A blue stripe round the ball.
            double stripe = Clamp01(1.2 - std::fabs(sy - m_ballY + 0.3 * (sx - m_ballX)));
            ball = Mix(ball, {0.10, 0.25, 0.70}, 0.8 * stripe);
            c = Mix(c, ball, cover);
        }
        return c;
    }

    double m_t;
    double m_camX = 0.0;
    double m_camY = 0.0;
    double m_carX = 0.0;
    double m_ballX = 0.0;
    double m_ballY = 0.0;
};

uint8_t ToByte(double v) {
    if (v <= 0.0) {
        return 0;
    }
    if (v >= 255.0) {
        return 255;
    }
    return static_cast<uint8_t>(v + 0.5);
}

// BT.601 limited-range luma and colour differences of an RGB colour (0..1).
double LumaOf(const Rgb& c) {
    return 16.0 + 65.481 * c.r + 128.553 * c.g + 24.966 * c.b;
}
double CbOf(const Rgb& c) {
    return 128.0 - 37.797 * c.r - 74.203 * c.g + 112.0 * c.b;
}
double CrOf(const Rgb& c) {
    return 128.0 + 112.0 * c.r - 93.786 * c.g - 18.214 * c.b;
}

// Small zero-mean noise, like a camera sensor's: a fixed-seed generator per frame.
class CNoise {
public:
    explicit CNoise(uint32_t nSeed) : m_state(Hash(nSeed * 0x2545f491U + 0x6a09e667U) | 1U) {}
    // Triangular distribution on -amplitude .. amplitude.
    double Next(double amplitude) {
        double a = Unit(Step());
        double b = Unit(Step());
        return (a + b - 1.0) * amplitude;
    }

private:
    uint32_t Step() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state * 0x9e3779b1U;
    }
    uint32_t m_state;
};

}  // namespace

void RenderSampleFrame(uint32_t nIndex, uint8_t* pFrame) {
    CSampleScene scene(nIndex);
    std::vector<Rgb> rgb(static_cast<size_t>(kWidth) * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            rgb[static_cast<size_t>(y) * kWidth + x] = scene.Pixel(x + 0.5, y + 0.5);
        }
    }
    CNoise noise(nIndex);
    for (int i = 0; i < kWidth * kHeight; ++i) {
        pFrame[i] = ToByte(LumaOf(rgb[static_cast<size_t>(i)]) + noise.Next(2.5));
    }
    // Chroma from the mean colour of each 2x2 block.
    uint8_t* pU = pFrame + QCIF_U_OFFSET;
    uint8_t* pV = pFrame + QCIF_V_OFFSET;
    for (int y = 0; y < kHeight / 2; ++y) {
        for (int x = 0; x < kWidth / 2; ++x) {
            size_t i = static_cast<size_t>(2 * y) * kWidth + 2 * x;
            Rgb m = Mix(Mix(rgb[i], rgb[i + 1], 0.5),
                        Mix(rgb[i + kWidth], rgb[i + kWidth + 1], 0.5), 0.5);
            size_t j = static_cast<size_t>(y) * (kWidth / 2) + x;
            pU[j] = ToByte(CbOf(m) + noise.Next(1.0));
            pV[j] = ToByte(CrOf(m) + noise.Next(1.0));
        }
    }
}

bool RenderSampleClip(uint32_t nFrames, std::vector<uint8_t>& clip) {
    try {
        clip.resize(size_t(nFrames) * QCIF_FRAME_BYTES);
    } catch (const std::bad_alloc&) {
        clip.clear();
        return false;
    }
    for (uint32_t n = 0; n < nFrames; ++n) {
        RenderSampleFrame(n, clip.data() + size_t(n) * QCIF_FRAME_BYTES);
    }
    return true;
}
