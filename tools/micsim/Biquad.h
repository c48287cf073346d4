// RBJ audio-cookbook biquads, the simulator's filters.
#pragma once

#include <cmath>
#include <numbers>
#include <vector>

namespace melodex::micsim {

struct Biquad {
    double b0, b1, b2, a1, a2;

    // Q = 1/sqrt(2) is Butterworth; above it the corner peaks.
    static Biquad highPass(double cutoff, double rate, double q = std::numbers::sqrt2 / 2) {
        return pass(true, cutoff, rate, q);
    }
    static Biquad lowPass(double cutoff, double rate, double q = std::numbers::sqrt2 / 2) {
        return pass(false, cutoff, rate, q);
    }
    static Biquad peak(double centre, double rate, double q, double gainDb) {
        const double w = 2.0 * std::numbers::pi * centre / rate;
        const double alpha = std::sin(w) / (2.0 * q);
        const double a = std::pow(10.0, gainDb / 40.0);
        const double c = std::cos(w);
        const double a0 = 1.0 + alpha / a;
        return {(1.0 + alpha * a) / a0, -2.0 * c / a0, (1.0 - alpha * a) / a0, -2.0 * c / a0, (1.0 - alpha / a) / a0};
    }

    void run(std::vector<float>& x) const {
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (float& s : x) {
            const double y = b0 * s + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = s;
            y2 = y1;
            y1 = y;
            s = static_cast<float>(y);
        }
    }

private:
    static Biquad pass(bool high, double cutoff, double rate, double q) {
        const double w = 2.0 * std::numbers::pi * cutoff / rate;
        const double alpha = std::sin(w) / (2.0 * q);
        const double c = std::cos(w);
        const double a0 = 1.0 + alpha;
        const double k = high ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
        return {k / a0, (high ? -2.0 : 2.0) * k / a0, k / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
    }
};

} // namespace melodex::micsim
