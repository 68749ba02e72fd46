// Curve fitting: a cooling curve measured with noise, fitted as a quadratic by
// least squares and as Newton's law of cooling by Levenberg-Marquardt; then the
// heat released, integrated from the fitted model.
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "vdkit/numeric/linear.h"

namespace {

// T(t) = a0 + a1 · exp(−a2 · t): room temperature, initial excess, rate.
void Cooling(float t, float* y, float* dyda, float* a, int, void*) {
  const float e = std::exp(-a[2] * t);
  *y = a[0] + a[1] * e;
  dyda[0] = 1;
  dyda[1] = e;
  dyda[2] = -a[1] * t * e;
}

double Zero(int, double*, void*) {
  return 0.0;
}
double TenMinutes(int, double*, void*) {
  return 10.0;
}
// The excess temperature of the fitted model at x[0].
double Excess(int, double* x, void* ctx) {
  const float* a = static_cast<const float*>(ctx);
  return a[1] * std::exp(-a[2] * x[0]);
}

}  // namespace

int main() {
  // Thirty readings over ten minutes of a cup cooling from 80 °C in a 20 °C room.
  std::mt19937 rng(1);
  std::normal_distribution<float> noise(0.0f, 0.3f);
  std::vector<float> t, temp;
  for (int i = 0; i < 30; ++i) {
    t.push_back(i / 3.0f);
    temp.push_back(20.0f + 60.0f * std::exp(-0.25f * t.back()) + noise(rng));
  }
  const int n = static_cast<int>(t.size());

  float c[3];
  if (MultinomialMatch(t.data(), temp.data(), n, 2, c))
    std::printf("quadratic:  T = %.3f %+.3f t %+.4f t^2\n", c[0], c[1], c[2]);

  float a[3] = {10.0f, 50.0f, 0.1f};  // rough start values
  int status = 0;
  if (NonlinearMatch(t.data(), temp.data(), n, a, 3, Cooling, 1e-3f, nullptr, &status)) {
    std::printf("cooling:    T = %.3f + %.3f exp(-%.4f t)\n", a[0], a[1], a[2]);
    double sum = 0;
    for (int i = 0; i < n; ++i) {
      float y, dyda[3];
      Cooling(t[i], &y, dyda, a, 3, nullptr);
      sum += (temp[i] - y) * (temp[i] - y);
    }
    std::printf("rms residual %.3f (noise 0.3)\n", std::sqrt(sum / n));
    // Degree-minutes above room temperature over the ten minutes.
    int subintervals[] = {8};
    std::printf("excess over 10 min: %.3f degree-minutes\n",
                MGauss(1, subintervals, Zero, TenMinutes, Excess, a));
  } else {
    std::printf("the fit could not run (status %d)\n", status);
    return 1;
  }
  return 0;
}
