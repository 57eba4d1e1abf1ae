#pragma once
// The Bjøntegaard delta between two rate-distortion curves, as codec studies
// report it: BD-rate, the mean difference in rate at equal quality (percent),
// and BD-PSNR, the mean difference in quality at equal rate (dB). Each curve is
// interpolated piecewise cubically (monotone cubic Hermite with Fritsch-Carlson
// slopes, the "pchip" of numerical libraries) over the logarithm of the rate,
// and the differences are averaged over the range both curves cover.

#include <string>
#include <vector>

struct SRdSample {
    double dRate;     // any unit (bits per pixel, kb/s): only ratios of rates matter
    double dQuality;  // dB
};

struct SBdResult {
    double dRatePercent = 0;  // B against A at equal quality: -10 means B needs 10% fewer bits
    double dQualityDb = 0;    // B's quality minus A's at equal rate
    double dQualityLo = 0, dQualityHi = 0;  // the quality range both curves cover
    double dRateLo = 0, dRateHi = 0;        // the rate range both curves cover
};

// Both curves must have at least two points, rising in rate and in quality
// (a Pareto front sorted by rate), and overlap in both. False with *pError
// saying which condition failed.
bool BjontegaardDelta(const std::vector<SRdSample>& a, const std::vector<SRdSample>& b,
                      SBdResult& result, std::string* pError);

// Slopes of the monotone piecewise cubic through (x[i], y[i]), x rising.
std::vector<double> PchipSlopes(const std::vector<double>& x, const std::vector<double>& y);
// Integral of that cubic (slopes d) from lo to hi, both within x[0]..x[n-1].
double PchipIntegral(const std::vector<double>& x, const std::vector<double>& y,
                     const std::vector<double>& d, double dLo, double dHi);
