#include "cli/BdRate.h"

#include <algorithm>
#include <cmath>

namespace {

// Integral over [0, s] of the cubic Hermite segment on [x0, x0 + h] with
// values y0, y1 and slopes d0, d1, s being the fraction of the segment.
double SegmentIntegral(double h, double y0, double y1, double d0, double d1, double s) {
    const double s2 = s * s, s3 = s2 * s, s4 = s3 * s;
    const double h00 = s - s3 + s4 / 2, h10 = s2 / 2 - 2 * s3 / 3 + s4 / 4;
    const double h01 = s3 - s4 / 2, h11 = -s3 / 3 + s4 / 4;
    return h * (h00 * y0 + h10 * h * d0 + h01 * y1 + h11 * h * d1);
}

// Integral of the interpolant from x[0] to t.
double IntegralTo(const std::vector<double>& x, const std::vector<double>& y,
                  const std::vector<double>& d, double t) {
    double dSum = 0;
    for (size_t i = 0; i + 1 < x.size() && t > x[i]; ++i) {
        const double h = x[i + 1] - x[i];
        dSum += SegmentIntegral(h, y[i], y[i + 1], d[i], d[i + 1], std::min(1.0, (t - x[i]) / h));
    }
    return dSum;
}

// The end slope: the three-point estimate, kept in the direction of the data.
double EndSlope(double h0, double h1, double d0, double d1) {
    const double s = ((2 * h0 + h1) * d0 - h0 * d1) / (h0 + h1);
    if (std::signbit(s) != std::signbit(d0) || s == 0) {
        return 0;
    }
    if (std::signbit(d0) != std::signbit(d1) && std::fabs(s) > std::fabs(3 * d0)) {
        return 3 * d0;
    }
    return s;
}

bool Rising(const std::vector<SRdSample>& c) {
    for (size_t i = 1; i < c.size(); ++i) {
        if (!(c[i].dRate > c[i - 1].dRate && c[i].dQuality > c[i - 1].dQuality)) {
            return false;
        }
    }
    return c.size() >= 2 && c.front().dRate > 0;
}

// Mean of yB - yA over the x range both cover; false when they do not overlap.
bool MeanGap(const std::vector<double>& xa, const std::vector<double>& ya,
             const std::vector<double>& xb, const std::vector<double>& yb, double& dLo, double& dHi,
             double& dGap) {
    dLo = std::max(xa.front(), xb.front());
    dHi = std::min(xa.back(), xb.back());
    if (!(dHi > dLo)) {
        return false;
    }
    const auto da = PchipSlopes(xa, ya), db = PchipSlopes(xb, yb);
    dGap =
        (PchipIntegral(xb, yb, db, dLo, dHi) - PchipIntegral(xa, ya, da, dLo, dHi)) / (dHi - dLo);
    return true;
}

}  // namespace

std::vector<double> PchipSlopes(const std::vector<double>& x, const std::vector<double>& y) {
    const size_t n = x.size();
    std::vector<double> h(n - 1), delta(n - 1), d(n, 0.0);
    for (size_t i = 0; i + 1 < n; ++i) {
        h[i] = x[i + 1] - x[i];
        delta[i] = (y[i + 1] - y[i]) / h[i];
    }
    if (n == 2) {
        d[0] = d[1] = delta[0];  // a straight line
        return d;
    }
    // Inside: a weighted harmonic mean of the neighbouring secants, 0 at an
    // extremum, so the curve never overshoots its data.
    for (size_t k = 1; k + 1 < n; ++k) {
        if (delta[k - 1] * delta[k] > 0) {
            const double w1 = 2 * h[k] + h[k - 1], w2 = h[k] + 2 * h[k - 1];
            d[k] = (w1 + w2) / (w1 / delta[k - 1] + w2 / delta[k]);
        }
    }
    d[0] = EndSlope(h[0], h[1], delta[0], delta[1]);
    d[n - 1] = EndSlope(h[n - 2], h[n - 3], delta[n - 2], delta[n - 3]);
    return d;
}

double PchipIntegral(const std::vector<double>& x, const std::vector<double>& y,
                     const std::vector<double>& d, double dLo, double dHi) {
    return IntegralTo(x, y, d, dHi) - IntegralTo(x, y, d, dLo);
}

bool BjontegaardDelta(const std::vector<SRdSample>& a, const std::vector<SRdSample>& b,
                      SBdResult& result, std::string* pError) {
    if (!Rising(a) || !Rising(b)) {
        *pError = "each curve needs two or more points that rise in both rate and quality";
        return false;
    }
    std::vector<double> la, qa, lb, qb;
    for (const SRdSample& s : a) {
        la.push_back(std::log10(s.dRate));
        qa.push_back(s.dQuality);
    }
    for (const SRdSample& s : b) {
        lb.push_back(std::log10(s.dRate));
        qb.push_back(s.dQuality);
    }
    double dLogRateGap = 0, dLogLo = 0, dLogHi = 0;
    if (!MeanGap(qa, la, qb, lb, result.dQualityLo, result.dQualityHi, dLogRateGap) ||
        !MeanGap(la, qa, lb, qb, dLogLo, dLogHi, result.dQualityDb)) {
        *pError = "the curves do not overlap in quality and in rate";
        return false;
    }
    result.dRatePercent = (std::pow(10.0, dLogRateGap) - 1) * 100;
    result.dRateLo = std::pow(10.0, dLogLo);
    result.dRateHi = std::pow(10.0, dLogHi);
    return true;
}
