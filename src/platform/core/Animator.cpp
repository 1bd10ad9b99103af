#include "platform/core/Animator.h"

#include <algorithm>
#include <cmath>

namespace quorvia::platform {

namespace {
// One coordinate of a cubic Bezier from (0,0) to (1,1) with control points a and b.
double bezier(double a, double b, double s)
{
    const double inv = 1.0 - s;
    return 3 * inv * inv * s * a + 3 * inv * s * s * b + s * s * s;
}

double bezierSlope(double a, double b, double s)
{
    const double inv = 1.0 - s;
    return 3 * inv * inv * a + 6 * inv * s * (b - a) + 3 * s * s * (1.0 - b);
}

double solveCurve(double x1, double y1, double x2, double y2, double t)
{
    // Newton steps on x(s) = t, then bisection where the slope is too flat.
    double s = t;
    for (int i = 0; i < 8; ++i) {
        const double error = bezier(x1, x2, s) - t;
        if (std::abs(error) < 1e-7)
            return bezier(y1, y2, s);
        const double slope = bezierSlope(x1, x2, s);
        if (std::abs(slope) < 1e-6)
            break;
        s -= error / slope;
    }
    double low = 0, high = 1;
    s = t;
    for (int i = 0; i < 40; ++i) {
        const double x = bezier(x1, x2, s);
        if (std::abs(x - t) < 1e-7)
            break;
        (x < t ? low : high) = s;
        s = (low + high) / 2;
    }
    return bezier(y1, y2, s);
}
} // namespace

double easedProgress(TimingCurve curve, double t)
{
    t = std::isfinite(t) ? std::clamp(t, 0.0, 1.0) : 1.0;
    if (t == 0.0 || t == 1.0)
        return t;
    switch (curve) {
    case TimingCurve::linear: return t;
    case TimingCurve::easeIn: return solveCurve(0.42, 0, 1, 1, t);
    case TimingCurve::easeOut: return solveCurve(0, 0, 0.58, 1, t);
    case TimingCurve::easeInEaseOut: return solveCurve(0.42, 0, 0.58, 1, t);
    }
    return t;
}

} // namespace quorvia::platform
