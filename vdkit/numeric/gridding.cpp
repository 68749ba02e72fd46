// First, so that every function in this file, inline ones included, computes alike.
#include "vdkit/numeric/exact_internal.h"

#include "vdkit/numeric/gridding.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "vdkit/numeric/linear.h"
#include "vdkit/numeric/matrix.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define VDKIT_GRIDDING_SIMD 1
#include <immintrin.h>
#endif

// Every estimate must equal the one of the plain algorithm bit for bit; the
// vector kernels spell out each rounding.

namespace {

constexpr int kMaxNeighbours = 10;
constexpr double kSill = 9999.0;
const float kNearZero = 1.0e-5f;
const double kIdwStart = static_cast<double>(1.0e-30f);  // 1.0000000031710769e-30
constexpr double kIdwEps = 1.0e-20;

// The squared distance of every path: differences and squares in double.
inline double Dist2(float ax, float ay, float bx, float by) {
  const double dx = static_cast<double>(ax) - static_cast<double>(bx);
  const double dy = static_cast<double>(ay) - static_cast<double>(by);
  return dx * dx + dy * dy;
}

inline float Covariance(double d2, float alpha) {
  const float h = static_cast<float>(std::sqrt(d2));
  if (h >= kNearZero)
    return static_cast<float>(kSill - std::pow(static_cast<double>(h), static_cast<double>(alpha)));
  return static_cast<float>(kSill);
}

inline bool Finite(float x, float y) {
  return std::isfinite(x) && std::isfinite(y);
}

bool Inside(float x, float y, const float* px, const float* py, int np) {
  // PtInRgn answers true for fewer than three vertices without reading them.
  return np < 3 || PtInRgn(x, y, px, py, np);
}

// ---- Argument checks ---------------------------------------------------------------

// A count and its array: a negative count, or a null array behind a positive
// count, is refused.
inline bool ArrayOk(const void* p, int n) {
  return n >= 0 && (n == 0 || p != nullptr);
}

bool GridOk(const float* gx, int nx, const float* gy, int ny, float* const* grid) {
  if (nx < 1 || ny < 1 || !gx || !gy || !grid) return false;
  for (int r = 0; r < ny; ++r)
    if (!grid[r]) return false;
  return true;
}

// A boundary with three or more vertices is read, so its arrays must be there.
inline bool BoundaryOk(const float* px, const float* py, int np) {
  return np < 3 || (px && py);
}

// ---- Work arrays ---------------------------------------------------------------------

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Owned = std::unique_ptr<T, FreeDeleter>;

template <class T>
Owned<T*> Matrix(int rows, int cols) {
  return Owned<T*>(static_cast<T**>(StRuCt2(rows, cols, static_cast<int>(sizeof(T)))));
}
template <class T>
Owned<T> Vector(int count) {
  return Owned<T>(static_cast<T*>(StRuCt1(count, static_cast<int>(sizeof(T)))));
}

// ---- Threads ---------------------------------------------------------------------------

// The threads a walk over `count` items runs on (the caller's among them).
int64_t Workers(int threads, int64_t count) {
  return std::min<int64_t>(std::max(threads, 1), std::min<int64_t>(count, 256));
}

// Runs work(state, item) for items 0 ... count - 1, taken in turn by the
// workers, each with a state of its own. The states are built before any item
// runs, so a failure to get memory for them leaves the output untouched;
// answers false then.

template <class State, class Make, class Work>
bool RunItems(int threads, int64_t count, Make make, Work work, std::vector<State>& states) {
  if (count <= 0) return true;
  const int64_t want = Workers(threads, count);
  try {
    states.reserve(static_cast<size_t>(want));
    for (int64_t i = 0; i < want; ++i) {
      states.push_back(make());
      if (!states.back()) return false;
    }
  } catch (const std::exception&) {
    return false;
  }
  std::atomic<int64_t> next{0};
  auto loop = [&](State& s) {
    for (int64_t item; (item = next.fetch_add(1, std::memory_order_relaxed)) < count;) work(s, item);
  };
  std::vector<std::thread> pool;
  try {
    pool.reserve(states.size() - 1);
    for (size_t t = 1; t < states.size(); ++t) pool.emplace_back(loop, std::ref(states[t]));
  } catch (const std::exception&) {
    // Fewer threads than asked: the items still all run, on those that started.
  }
  loop(states[0]);
  for (std::thread& t : pool) t.join();
  return true;
}

// ---- Gaussj's lines on worker threads ----------------------------------------------------

// While workers solve, the lines Gaussj writes are held with their node's
// number and handed to the caller's handler afterwards, from the calling
// thread, in node order: the handler is never called concurrently, and what it
// receives does not depend on the thread count. Lines from threads that are
// not ours still go straight through.
struct HeldLine {
  int64_t node;
  std::string text;
};
thread_local std::vector<HeldLine>* t_held = nullptr;
thread_local int64_t t_node = 0;

class HoldGaussjLines {
 public:
  explicit HoldGaussjLines(bool active) : active_(active) {
    if (!active_) return;
    GaussjMessageHandler* prev = &prev_;
    prev_ = SetGaussjMessageHandler([prev](const char* line) {
      if (!t_held) return (*prev)(line);
      try {
        t_held->push_back({t_node, line});
      } catch (const std::exception&) {
        // The line is lost; the node's value and count are not.
      }
    });
  }
  ~HoldGaussjLines() {
    if (active_) SetGaussjMessageHandler(std::move(prev_));
  }
  // Restores the handler and replays the lines the states held
  // (state.held), in node order.
  template <class State>
  void Release(std::vector<State>& states) {
    if (!active_) return;
    active_ = false;
    SetGaussjMessageHandler(prev_);
    std::vector<HeldLine> all;
    try {
      for (State& s : states)
        for (HeldLine& l : s.held) all.push_back(std::move(l));
    } catch (const std::exception&) {
      // The lines held so far are replayed; the values and counts stand.
    }
    std::stable_sort(all.begin(), all.end(),
                     [](const HeldLine& a, const HeldLine& b) { return a.node < b.node; });
    for (const HeldLine& l : all) prev_(l.text.c_str());
  }

 private:
  bool active_;
  GaussjMessageHandler prev_;
};

// ---- Kriging: candidates and their index -----------------------------------------------

// The samples a call may use, in sample order (so a candidate's number orders
// candidates as the samples are ordered).
struct Candidates {
  std::vector<float> x, y, z;
  int Count() const { return static_cast<int>(x.size()); }
  void Add(float px, float py, float pz) {
    x.push_back(px);
    y.push_back(py);
    z.push_back(pz);
  }
};

struct Entry {
  double d2;
  int id;  // candidate number
};

// Selection by exchange over entries in candidate order: for each of the first
// min(10, m) places, every later entry with a strictly smaller distance is
// swapped in. Equal distances keep the entry that stands in front.
void ExchangeSelect(Entry* e, int m) {
  const int k = std::min(kMaxNeighbours, m);
  for (int p = 0; p < k; ++p)
    for (int q = p + 1; q < m; ++q)
      if (e[p].d2 > e[q].d2) std::swap(e[p], e[q]);
}

// A k-d tree over the candidates with small leaves and tight float boxes.
//
// Why a search gives the selection of a full scan: let T be the tenth
// smallest distance among all candidates and S the candidates with d2 <= T,
// kept in candidate order. In one exchange pass over a list, the entries that
// move are the successive strict minima met from the front; every entry above
// T comes before any entry of S in that chain (each is larger than all of S),
// and the chain's part inside S is exactly the chain of the same pass over S
// alone. So each pass leaves the entries of S in the order the pass over S
// alone leaves them, and since S holds at least ten entries the first ten
// places are filled from S, identically. Distances are finite (candidates have
// finite coordinates), so the order is total and the argument needs no NaN
// case.
//
// The search must therefore find every candidate with d2 <= T. A box's lower
// bound is the same formula applied to its nearest edge; rounding is monotone,
// so the bound never exceeds the computed d2 of a point in the box, and a box
// is skipped only when its bound exceeds the running tenth-smallest, which is
// never below T.
class KdTree {
 public:
  static constexpr int kLeaf = 8;

  void Build(const Candidates& c) {
    const int m = c.Count();
    std::vector<int> order(static_cast<size_t>(m));
    for (int i = 0; i < m; ++i) order[static_cast<size_t>(i)] = i;
    nodes_.clear();
    nodes_.reserve(static_cast<size_t>(m / 2 + 1));  // leaves hold at least kLeaf / 2
    nodes_.push_back({});
    BuildNode(0, 0, m, c, order);
    px_.resize(static_cast<size_t>(m));
    py_.resize(static_cast<size_t>(m));
    id_ = std::move(order);
    for (int i = 0; i < m; ++i) {
      px_[static_cast<size_t>(i)] = c.x[static_cast<size_t>(id_[static_cast<size_t>(i)])];
      py_[static_cast<size_t>(i)] = c.y[static_cast<size_t>(id_[static_cast<size_t>(i)])];
    }
  }

  // Appends to `found` every candidate with d2 <= tau at the time it is met,
  // which includes all with d2 <= T; answers T. tau0 must be >= T (infinity
  // will do) and at least ten candidates must exist.
  double Search(float qx, float qy, double tau0, std::vector<Entry>& found) const {
    double best[kMaxNeighbours];
    int nb = 0;
    double tau = tau0;
    struct Item {
      int node;
      double lb;
    };
    Item stack[128];
    int top = 0;
    stack[top++] = {0, Bound(nodes_[0], qx, qy)};
    while (top > 0) {
      const Item it = stack[--top];
      if (it.lb > tau) continue;
      const Node& nd = nodes_[static_cast<size_t>(it.node)];
      if (nd.child < 0) {
        for (int i = nd.begin; i < nd.end; ++i) {
          const double d2 = Dist2(px_[static_cast<size_t>(i)], py_[static_cast<size_t>(i)], qx, qy);
          if (d2 > tau) continue;
          found.push_back({d2, id_[static_cast<size_t>(i)]});
          if (nb < kMaxNeighbours || d2 < best[nb - 1]) {
            int j = nb < kMaxNeighbours ? nb++ : nb - 1;
            for (; j > 0 && best[j - 1] > d2; --j) best[j] = best[j - 1];
            best[j] = d2;
            if (nb == kMaxNeighbours) tau = std::min(tau, best[nb - 1]);
          }
        }
        continue;
      }
      const Node& a = nodes_[static_cast<size_t>(nd.child)];
      const Node& b = nodes_[static_cast<size_t>(nd.child + 1)];
      const double la = Bound(a, qx, qy), lb = Bound(b, qx, qy);
      // The nearer child is popped first.
      if (la <= lb) {
        if (lb <= tau) stack[top++] = {nd.child + 1, lb};
        if (la <= tau) stack[top++] = {nd.child, la};
      } else {
        if (la <= tau) stack[top++] = {nd.child, la};
        if (lb <= tau) stack[top++] = {nd.child + 1, lb};
      }
    }
    return best[kMaxNeighbours - 1];
  }

 private:
  struct Node {
    float x0, y0, x1, y1;
    int begin, end;
    int child;  // the first of two adjacent children; -1 for a leaf
  };

  static double Bound(const Node& n, float qx, float qy) {
    const double dx = qx < n.x0   ? static_cast<double>(n.x0) - qx
                      : qx > n.x1 ? static_cast<double>(qx) - n.x1
                                  : 0.0;
    const double dy = qy < n.y0   ? static_cast<double>(n.y0) - qy
                      : qy > n.y1 ? static_cast<double>(qy) - n.y1
                                  : 0.0;
    return dx * dx + dy * dy;
  }

  void BuildNode(size_t at, int begin, int end, const Candidates& c, std::vector<int>& order) {
    Node nd{c.x[static_cast<size_t>(order[static_cast<size_t>(begin)])],
            c.y[static_cast<size_t>(order[static_cast<size_t>(begin)])],
            0,
            0,
            begin,
            end,
            -1};
    nd.x1 = nd.x0;
    nd.y1 = nd.y0;
    for (int i = begin; i < end; ++i) {
      const size_t k = static_cast<size_t>(order[static_cast<size_t>(i)]);
      nd.x0 = std::min(nd.x0, c.x[k]);
      nd.x1 = std::max(nd.x1, c.x[k]);
      nd.y0 = std::min(nd.y0, c.y[k]);
      nd.y1 = std::max(nd.y1, c.y[k]);
    }
    if (end - begin > kLeaf) {
      const int mid = begin + (end - begin) / 2;
      const std::vector<float>& axis =
          static_cast<double>(nd.x1) - nd.x0 >= static_cast<double>(nd.y1) - nd.y0 ? c.x : c.y;
      std::nth_element(
          order.begin() + begin, order.begin() + mid, order.begin() + end,
          [&axis](int a, int b) { return axis[static_cast<size_t>(a)] < axis[static_cast<size_t>(b)]; });
      nd.child = static_cast<int>(nodes_.size());
      nodes_.push_back({});
      nodes_.push_back({});
      BuildNode(static_cast<size_t>(nd.child), begin, mid, c, order);
      BuildNode(static_cast<size_t>(nd.child) + 1, mid, end, c, order);
    }
    nodes_[at] = nd;
  }

  std::vector<Node> nodes_;
  std::vector<float> px_, py_;
  std::vector<int> id_;
};

// Finds the kriging neighbours of a node among the candidates.
class NeighbourFinder {
 public:
  explicit NeighbourFinder(const Candidates& c) : c_(c) {
    if (c.Count() > kMaxNeighbours) tree_.Build(c);
  }
  int Count() const { return c_.Count(); }
  const Candidates& Cands() const { return c_; }

  // Per-thread scratch. The neighbours of the previous node bound the search
  // for the next one: their largest distance to it is at least its T.
  struct Scratch {
    std::vector<Entry> found;
    int prev[kMaxNeighbours];
    int nprev = 0;
  };
  void Reserve(Scratch& s) const {
    s.found.reserve(static_cast<size_t>(std::max(c_.Count(), kMaxNeighbours)));
  }

  // Writes the K = min(10, m) neighbours of the finite point (qx, qy) to nb in
  // selection order; answers K.
  int Find(float qx, float qy, Entry* nb, Scratch& s) const {
    const int m = c_.Count();
    std::vector<Entry>& f = s.found;
    f.clear();
    if (m <= kMaxNeighbours) {
      for (int i = 0; i < m; ++i)
        f.push_back({Dist2(c_.x[static_cast<size_t>(i)], c_.y[static_cast<size_t>(i)], qx, qy), i});
    } else {
      double tau0 = std::numeric_limits<double>::infinity();
      if (s.nprev == kMaxNeighbours) {
        tau0 = 0;
        for (int i = 0; i < kMaxNeighbours; ++i) {
          const size_t k = static_cast<size_t>(s.prev[i]);
          tau0 = std::max(tau0, Dist2(c_.x[k], c_.y[k], qx, qy));
        }
      }
      const double t = tree_.Search(qx, qy, tau0, f);
      f.erase(std::remove_if(f.begin(), f.end(), [t](const Entry& e) { return e.d2 > t; }), f.end());
      std::sort(f.begin(), f.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
    }
    ExchangeSelect(f.data(), static_cast<int>(f.size()));
    const int k = std::min(kMaxNeighbours, static_cast<int>(f.size()));
    for (int i = 0; i < k; ++i) {
      nb[i] = f[static_cast<size_t>(i)];
      s.prev[i] = nb[i].id;
    }
    s.nprev = k;
    return k;
  }

 private:
  const Candidates& c_;
  KdTree tree_;
};

int Threads(const SGridControl* ctl) {
  return ctl ? ctl->nThreads : 1;
}

void Report(SGridControl* ctl, int64_t singular) {
  if (ctl) ctl->nSingular = singular;
}

// ---- Kriging: the system ---------------------------------------------------------------

// Work arrays of one thread: two 11 x 11 matrices (the previous node's stays
// for reuse), the right-hand side, and the neighbour search's scratch.
struct KrigeWork {
  Owned<float*> a[2];
  Owned<float> b;
  int cur = 0;
  int ids[kMaxNeighbours];
  int k = -1;  // neighbours behind a[cur]; -1 before the first system
  NeighbourFinder::Scratch scratch;
  int64_t singular = 0;
  std::vector<HeldLine> held;

  explicit operator bool() const { return a[0] && a[1] && b; }
  static KrigeWork Make(int size) {
    KrigeWork w;
    w.a[0] = Matrix<float>(size, size);
    w.a[1] = Matrix<float>(size, size);
    w.b = Vector<float>(size);
    return w;
  }
};

// The estimate from K >= 2 neighbours, whose distances to the node are in nb.
// Covariances between neighbours that were also neighbours of the previous
// node are taken from its matrix: they depend only on the two samples.
float Krige(const Candidates& c, const Entry* nb, int k, float alpha, KrigeWork& w) {
  bool same = k == w.k;
  for (int i = 0; same && i < k; ++i) same = nb[i].id == w.ids[i];
  if (!same) {
    int pos[kMaxNeighbours];
    for (int i = 0; i < k; ++i) {
      pos[i] = -1;
      for (int j = 0; j < w.k; ++j)
        if (w.ids[j] == nb[i].id) pos[i] = j;
    }
    float** prev = w.a[w.cur].get();
    w.cur ^= 1;
    float** a = w.a[w.cur].get();
    for (int i = 0; i < k; ++i) {
      const size_t si = static_cast<size_t>(nb[i].id);
      a[i][i] = Covariance(0.0, alpha);
      for (int j = i + 1; j < k; ++j) {
        float v;
        if (pos[i] >= 0 && pos[j] >= 0) {
          v = prev[pos[i]][pos[j]];
        } else {
          const size_t sj = static_cast<size_t>(nb[j].id);
          v = Covariance(Dist2(c.x[si], c.y[si], c.x[sj], c.y[sj]), alpha);
        }
        a[i][j] = a[j][i] = v;
      }
      a[i][k] = a[k][i] = static_cast<float>(kSill);
    }
    a[k][k] = 0.0f;
    w.k = k;
    for (int i = 0; i < k; ++i) w.ids[i] = nb[i].id;
  }
  float* b = w.b.get();
  for (int i = 0; i < k; ++i) b[i] = Covariance(nb[i].d2, alpha);
  b[k] = static_cast<float>(kSill);
  if (!Gaussj(w.a[w.cur].get(), b, b, k + 1)) {
    ++w.singular;
    return 0.0f;
  }
  double sum = 0.0;
  for (int i = 0; i < k; ++i)
    sum += static_cast<double>(b[i]) * static_cast<double>(c.z[static_cast<size_t>(nb[i].id)]);
  return static_cast<float>(sum);
}

// The estimate at (qx, qy) from the candidates; false when there is none (the
// caller then leaves the node alone or writes blank).
bool KrigeAt(const NeighbourFinder& f, float qx, float qy, float alpha, KrigeWork& w, float* out) {
  const Candidates& c = f.Cands();
  if (c.Count() == 0) return false;
  if (c.Count() == 1) {
    *out = c.z[0];
    return true;
  }
  if (!Finite(qx, qy)) {
    *out = std::numeric_limits<float>::quiet_NaN();
    return true;
  }
  Entry nb[kMaxNeighbours];
  const int k = f.Find(qx, qy, nb, w.scratch);
  *out = Krige(c, nb, k, alpha, w);
  return true;
}

// Runs body(work, item) over the items with kriging work arrays per thread,
// Gaussj's lines held while more than one thread solves; reports the count of
// singular systems.
template <class Body>
bool KrigeWalk(const NeighbourFinder& f, int64_t items, SGridControl* ctl, Body body) {
  const int threads = Threads(ctl);
  const bool hold = Workers(threads, items) > 1;
  HoldGaussjLines holder(hold);
  std::vector<KrigeWork> states;
  const bool ok = RunItems(
      threads, items,
      [&f] {
        KrigeWork w = KrigeWork::Make(kMaxNeighbours + 1);
        f.Reserve(w.scratch);
        return w;
      },
      [&](KrigeWork& w, int64_t item) {
        t_held = hold ? &w.held : nullptr;
        body(w, item);
        t_held = nullptr;
      },
      states);
  holder.Release(states);
  int64_t singular = 0;
  for (const KrigeWork& w : states) singular += w.singular;
  Report(ctl, singular);
  return ok;
}

// ---- Inverse distance ------------------------------------------------------------------

// The used samples in sample order, widened once.
struct IdwSamples {
  std::vector<double> x, y, z;
  size_t Count() const { return x.size(); }
  void Add(float px, float py, float pz) {
    x.push_back(px);
    y.push_back(py);
    z.push_back(pz);
  }
};

// A tile of nodes: their coordinates, their sums, and where each estimate goes.
constexpr int kTile = 256;       // nodes per tile, a multiple of every kernel's group
constexpr size_t kBlock = 4096;  // samples per pass over a tile: 96 KB of coordinates
struct IdwTile {
  alignas(64) double x[kTile];
  alignas(64) double y[kTile];
  alignas(64) double num[kTile];
  alignas(64) double den[kTile];
  float* out[kTile];
  int count = 0;
  explicit operator bool() const { return true; }
};

// Adds samples [s0, s1) to the sums of nodes [0, cnt), cnt a multiple of 4.
void IdwScalar(IdwTile& t, int cnt, const IdwSamples& s, size_t s0, size_t s1) {
  for (int g = 0; g < cnt; g += 4) {
    double num[4], den[4], x[4], y[4];
    for (int l = 0; l < 4; ++l)
      num[l] = t.num[g + l], den[l] = t.den[g + l], x[l] = t.x[g + l], y[l] = t.y[g + l];
    for (size_t i = s0; i < s1; ++i) {
      const double sx = s.x[i], sy = s.y[i], sz = s.z[i];
      for (int l = 0; l < 4; ++l) {
        const double dx = sx - x[l], dy = sy - y[l];
        const double w = 1.0 / (std::sqrt(dx * dx + dy * dy) + kIdwEps);
        den[l] += w;
        num[l] += w * sz;
      }
    }
    for (int l = 0; l < 4; ++l) t.num[g + l] = num[l], t.den[g + l] = den[l];
  }
}

#ifdef VDKIT_GRIDDING_SIMD
int g_vectorLimit = 2;

int VectorLevel() {
  static const int level = __builtin_cpu_supports("avx512f") ? 2 : __builtin_cpu_supports("avx2") ? 1 : 0;
  return std::min(level, g_vectorLimit);
}

// Four vectors of nodes per pass keep the square-root and division units busy.
__attribute__((target("avx2"))) void IdwAvx2(IdwTile& t, int cnt, const IdwSamples& s, size_t s0, size_t s1) {
  const __m256d one = _mm256_set1_pd(1.0), eps = _mm256_set1_pd(kIdwEps);
  for (int g = 0; g < cnt; g += 16) {
    __m256d x[4], y[4], num[4], den[4];
    for (int v = 0; v < 4; ++v) {
      x[v] = _mm256_load_pd(t.x + g + 4 * v);
      y[v] = _mm256_load_pd(t.y + g + 4 * v);
      num[v] = _mm256_load_pd(t.num + g + 4 * v);
      den[v] = _mm256_load_pd(t.den + g + 4 * v);
    }
    for (size_t i = s0; i < s1; ++i) {
      const __m256d sx = _mm256_set1_pd(s.x[i]), sy = _mm256_set1_pd(s.y[i]), sz = _mm256_set1_pd(s.z[i]);
      for (int v = 0; v < 4; ++v) {
        const __m256d dx = _mm256_sub_pd(sx, x[v]), dy = _mm256_sub_pd(sy, y[v]);
        const __m256d d2 = _mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy));
        const __m256d w = _mm256_div_pd(one, _mm256_add_pd(_mm256_sqrt_pd(d2), eps));
        den[v] = _mm256_add_pd(den[v], w);
        num[v] = _mm256_add_pd(num[v], _mm256_mul_pd(w, sz));
      }
    }
    for (int v = 0; v < 4; ++v) {
      _mm256_store_pd(t.num + g + 4 * v, num[v]);
      _mm256_store_pd(t.den + g + 4 * v, den[v]);
    }
  }
}

// GCC's _mm512_sqrt_pd passes an undefined vector it then masks off entirely.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
__attribute__((target("avx512f"))) void IdwAvx512(IdwTile& t, int cnt, const IdwSamples& s, size_t s0,
                                                  size_t s1) {
  const __m512d one = _mm512_set1_pd(1.0), eps = _mm512_set1_pd(kIdwEps);
  for (int g = 0; g < cnt; g += 32) {
    __m512d x[4], y[4], num[4], den[4];
    for (int v = 0; v < 4; ++v) {
      x[v] = _mm512_load_pd(t.x + g + 8 * v);
      y[v] = _mm512_load_pd(t.y + g + 8 * v);
      num[v] = _mm512_load_pd(t.num + g + 8 * v);
      den[v] = _mm512_load_pd(t.den + g + 8 * v);
    }
    for (size_t i = s0; i < s1; ++i) {
      const __m512d sx = _mm512_set1_pd(s.x[i]), sy = _mm512_set1_pd(s.y[i]), sz = _mm512_set1_pd(s.z[i]);
      for (int v = 0; v < 4; ++v) {
        const __m512d dx = _mm512_sub_pd(sx, x[v]), dy = _mm512_sub_pd(sy, y[v]);
        const __m512d d2 = _mm512_add_pd(_mm512_mul_pd(dx, dx), _mm512_mul_pd(dy, dy));
        const __m512d w = _mm512_div_pd(one, _mm512_add_pd(_mm512_sqrt_pd(d2), eps));
        den[v] = _mm512_add_pd(den[v], w);
        num[v] = _mm512_add_pd(num[v], _mm512_mul_pd(w, sz));
      }
    }
    for (int v = 0; v < 4; ++v) {
      _mm512_store_pd(t.num + g + 8 * v, num[v]);
      _mm512_store_pd(t.den + g + 8 * v, den[v]);
    }
  }
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

// Estimates every node of the tile: all samples, in order, block by block.
void IdwRunTile(IdwTile& t, const IdwSamples& s) {
  if (t.count == 0) return;
#ifdef VDKIT_GRIDDING_SIMD
  const int level = VectorLevel();
  const int group = level == 2 ? 32 : level == 1 ? 16 : 4;
#else
  const int group = 4;
#endif
  const int cnt = (t.count + group - 1) / group * group;
  for (int i = 0; i < cnt; ++i) {
    t.num[i] = t.den[i] = kIdwStart;
    if (i >= t.count) t.x[i] = t.y[i] = 0.0;  // padding: computed, never written
  }
  for (size_t s0 = 0; s0 < s.Count(); s0 += kBlock) {
    const size_t s1 = std::min(s.Count(), s0 + kBlock);
#ifdef VDKIT_GRIDDING_SIMD
    if (level == 2) {
      IdwAvx512(t, cnt, s, s0, s1);
      continue;
    }
    if (level == 1) {
      IdwAvx2(t, cnt, s, s0, s1);
      continue;
    }
#endif
    IdwScalar(t, cnt, s, s0, s1);
  }
  for (int i = 0; i < t.count; ++i) *t.out[i] = static_cast<float>(t.num[i] / t.den[i]);
}

// ---- Trend surface ---------------------------------------------------------------------

// Terms of order k: index p(p + 1)/2 + q is x^(p - q) y^q. Given the powers
// x^0 ... x^k and y^0 ... y^k, writes every term rounded to float.
void TrendTerms(const double* xp, const double* yp, int order, float* t) {
  int i = 0;
  for (int p = 0; p <= order; ++p)
    for (int q = 0; q <= p; ++q) t[i++] = static_cast<float>(xp[p - q] * yp[q]);
}

void Powers(float v, int order, double* out) {
  for (int e = 0; e <= order; ++e) out[e] = std::pow(static_cast<double>(v), static_cast<double>(e));
}

// The fitted trend: order, term count and the coefficients Gaussj left.
struct Trend {
  int order = 0;
  int m = 0;
  Owned<float> coef;
};

// Fits the trend to the used samples (finite coordinates, inside the
// boundary); false when a work array cannot be had or the equations are
// singular (counted in `singular`).
bool FitTrend(const float* x, const float* y, const float* z, int n, int order, const float* px,
              const float* py, int np, Trend& tr, int64_t& singular) {
  const int64_t m64 = (static_cast<int64_t>(order) + 1) * (static_cast<int64_t>(order) + 2) / 2;
  // Gaussj's own array has m + 1 columns of doubles; beyond this no such
  // system could be held anyway.
  if (order < 0 || m64 > (1 << 20)) return false;
  const int m = static_cast<int>(m64);
  Owned<float*> a = Matrix<float>(m, m);
  Owned<float> r = Vector<float>(m);
  Owned<float> t = Vector<float>(m);
  std::vector<double> xp, yp;
  try {
    xp.resize(static_cast<size_t>(order) + 1);
    yp.resize(static_cast<size_t>(order) + 1);
  } catch (const std::exception&) {
    return false;
  }
  if (!a || !r || !t) return false;
  float** A = a.get();
  float* R = r.get();
  float* T = t.get();
  for (int s = 0; s < n; ++s) {
    if (!Finite(x[s], y[s]) || !Inside(x[s], y[s], px, py, np)) continue;
    Powers(x[s], order, xp.data());
    Powers(y[s], order, yp.data());
    TrendTerms(xp.data(), yp.data(), order, T);
    // t_i * t_j is exact in double; each sum is rounded to float, as the
    // float matrix holds it. The matrix is symmetric: one triangle is summed.
    const double zs = z[s];
    for (int i = 0; i < m; ++i) {
      const double ti = T[i];
      float* row = A[i];
      for (int j = i; j < m; ++j) row[j] = static_cast<float>(static_cast<double>(row[j]) + ti * T[j]);
      R[i] = static_cast<float>(static_cast<double>(R[i]) + zs * ti);
    }
  }
  for (int i = 0; i < m; ++i)
    for (int j = 0; j < i; ++j) A[i][j] = A[j][i];
  if (!Gaussj(A, R, R, m)) {
    ++singular;
    return false;
  }
  tr.order = order;
  tr.m = m;
  tr.coef = std::move(r);
  return true;
}

// Per-thread arrays for evaluating the trend.
struct TrendWork {
  std::vector<double> xp, yp, acc;
  std::vector<float> t;
  explicit operator bool() const { return true; }
};

float TrendAt(const Trend& tr, float qx, float qy, TrendWork& w) {
  Powers(qx, tr.order, w.xp.data());
  Powers(qy, tr.order, w.yp.data());
  TrendTerms(w.xp.data(), w.yp.data(), tr.order, w.t.data());
  double sum = 0.0;
  const float* c = tr.coef.get();
  for (int i = 0; i < tr.m; ++i)
    sum += static_cast<double>(c[i]) * static_cast<double>(w.t[static_cast<size_t>(i)]);
  return static_cast<float>(sum);
}

// ---- Owning forms -----------------------------------------------------------------------

// The owning forms' arrays in the shape the grid forms take.
struct Unpacked {
  std::vector<float> x, y, z, px, py;
  std::vector<float*> rows;
  bool ok = false;
  Unpacked(const std::vector<SFloat3D>& samples, SGridLattice& grid, const std::vector<SFloat2D>& boundary) {
    const size_t nx = grid.gx.size(), ny = grid.gy.size();
    const size_t limit = static_cast<size_t>(std::numeric_limits<int>::max());
    if (samples.size() > limit || boundary.size() > limit || nx > limit || ny > limit) return;
    if (nx == 0 || ny == 0 || grid.z.size() / nx != ny || grid.z.size() % nx != 0) return;
    try {
      for (const SFloat3D& s : samples) x.push_back(s.x), y.push_back(s.y), z.push_back(s.z);
      for (const SFloat2D& v : boundary) px.push_back(v.x), py.push_back(v.y);
      for (size_t r = 0; r < ny; ++r) rows.push_back(grid.z.data() + r * nx);
    } catch (const std::exception&) {
      return;
    }
    ok = true;
  }
  int N() const { return static_cast<int>(x.size()); }
  int Np() const { return static_cast<int>(px.size()); }
};

}  // namespace

// ---- Lattice ---------------------------------------------------------------------------

SGridLattice SGridLattice::Regular(double x0, double dx, int nx, double y0, double dy, int ny, float fill) {
  SGridLattice g;
  nx = std::max(nx, 0);
  ny = std::max(ny, 0);
  try {
    g.z.assign(static_cast<size_t>(nx) * static_cast<size_t>(ny), fill);  // the large one first
    g.gx.resize(static_cast<size_t>(nx));
    g.gy.resize(static_cast<size_t>(ny));
  } catch (const std::exception&) {  // bad_alloc, or length_error past the largest vector
    return SGridLattice();
  }
  for (int c = 0; c < nx; ++c) g.gx[static_cast<size_t>(c)] = static_cast<float>(x0 + dx * c);
  for (int r = 0; r < ny; ++r) g.gy[static_cast<size_t>(r)] = static_cast<float>(y0 + dy * r);
  return g;
}

// ---- Kriging ---------------------------------------------------------------------------

bool KriginGrid(const SFloat3D* samples, int n, SFloat3D* targets, int m, float blank, float alpha,
                SGridControl* ctl) {
  if (!ArrayOk(samples, n) || !ArrayOk(targets, m)) return false;
  Report(ctl, 0);
  if (n == 0) {
    for (int i = 0; i < m; ++i) targets[i].z = blank;
    return true;
  }
  try {
    Candidates c;
    for (int i = 0; i < n; ++i)
      if (Finite(samples[i].x, samples[i].y)) c.Add(samples[i].x, samples[i].y, samples[i].z);
    const NeighbourFinder f(c);
    constexpr int64_t kChunk = 64;
    return KrigeWalk(f, (m + kChunk - 1) / kChunk, ctl, [&](KrigeWork& w, int64_t chunk) {
      const int end = static_cast<int>(std::min<int64_t>(m, (chunk + 1) * kChunk));
      for (int i = static_cast<int>(chunk * kChunk); i < end; ++i) {
        t_node = i;
        if (!KrigeAt(f, targets[i].x, targets[i].y, alpha, w, &targets[i].z)) targets[i].z = blank;
      }
    });
  } catch (const std::exception&) {
    return false;
  }
}

bool KriginGrid(const SFloat3D* samples, int n, SFloat3D* target, float alpha, SGridControl* ctl) {
  // The system has n + 1 rows and Gaussj adds a column to it.
  if (!ArrayOk(samples, n) || !target || n > std::numeric_limits<int>::max() - 2) return false;
  Report(ctl, 0);
  Candidates c;
  try {
    for (int i = 0; i < n; ++i)
      if (Finite(samples[i].x, samples[i].y)) c.Add(samples[i].x, samples[i].y, samples[i].z);
  } catch (const std::exception&) {
    return false;
  }
  const int k = c.Count();
  if (k >= 2 && !Finite(target->x, target->y)) {
    target->z = std::numeric_limits<float>::quiet_NaN();
    return true;
  }
  Owned<float*> a = Matrix<float>(k + 1, k + 1);
  Owned<float> b = Vector<float>(k + 1);
  if (!a || !b) return false;
  float** A = a.get();
  float* B = b.get();
  for (int i = 0; i < k; ++i) {
    const size_t si = static_cast<size_t>(i);
    for (int j = 0; j < k; ++j) {
      const size_t sj = static_cast<size_t>(j);
      A[i][j] = Covariance(Dist2(c.x[si], c.y[si], c.x[sj], c.y[sj]), alpha);
    }
    A[i][k] = A[k][i] = static_cast<float>(kSill);
    B[i] = Covariance(Dist2(c.x[si], c.y[si], target->x, target->y), alpha);
  }
  A[k][k] = 0.0f;
  B[k] = static_cast<float>(kSill);
  if (!Gaussj(A, B, B, k + 1)) {
    Report(ctl, 1);
    target->z = 0.0f;
    return true;
  }
  double sum = 0.0;
  for (int i = 0; i < k; ++i)
    sum += static_cast<double>(B[i]) * static_cast<double>(c.z[static_cast<size_t>(i)]);
  target->z = static_cast<float>(sum);
  return true;
}

bool KriginGrid(const float* x, const float* y, const float* z, int n, const float* gx, int nx,
                const float* gy, int ny, float* const* grid, float /*blank*/, float alpha, const float* px,
                const float* py, int np, SGridControl* ctl) {
  if (!ArrayOk(x, n) || !ArrayOk(y, n) || !ArrayOk(z, n) || !GridOk(gx, nx, gy, ny, grid) ||
      !BoundaryOk(px, py, np))
    return false;
  Report(ctl, 0);
  try {
    Candidates c;
    for (int i = 0; i < n; ++i)
      if (Finite(x[i], y[i]) && Inside(x[i], y[i], px, py, np)) c.Add(x[i], y[i], z[i]);
    const NeighbourFinder f(c);
    return KrigeWalk(f, ny, ctl, [&](KrigeWork& w, int64_t r) {
      const float qy = gy[r];
      float* row = grid[r];
      for (int col = 0; col < nx; ++col) {
        if (!Inside(gx[col], qy, px, py, np)) continue;
        t_node = r * nx + col;
        float v;
        if (KrigeAt(f, gx[col], qy, alpha, w, &v)) row[col] = v;
      }
    });
  } catch (const std::exception&) {
    return false;
  }
}

bool KriginGrid(const std::vector<SFloat3D>& samples, SGridLattice& grid, float alpha,
                const std::vector<SFloat2D>& boundary, SGridControl* ctl) {
  Unpacked u(samples, grid, boundary);
  return u.ok &&
         KriginGrid(u.x.data(), u.y.data(), u.z.data(), u.N(), grid.gx.data(), grid.Cols(), grid.gy.data(),
                    grid.Rows(), u.rows.data(), 0.0f, alpha, u.px.data(), u.py.data(), u.Np(), ctl);
}

// ---- Inverse distance ------------------------------------------------------------------

bool DistanceGrid(const SFloat3D* samples, int n, SFloat3D* targets, int m, float, int, SGridControl* ctl) {
  if (!ArrayOk(samples, n) || !ArrayOk(targets, m)) return false;
  Report(ctl, 0);
  try {
    IdwSamples s;
    for (int i = 0; i < n; ++i)
      if (Finite(samples[i].x, samples[i].y)) s.Add(samples[i].x, samples[i].y, samples[i].z);
    std::vector<IdwTile> states;
    return RunItems(
        Threads(ctl), (m + kTile - 1) / kTile, [] { return IdwTile(); },
        [&](IdwTile& t, int64_t tile) {
          const int begin = static_cast<int>(tile * kTile);
          t.count = std::min(kTile, m - begin);
          for (int i = 0; i < t.count; ++i) {
            SFloat3D& q = targets[begin + i];
            t.x[i] = q.x;
            t.y[i] = q.y;
            t.out[i] = &q.z;
          }
          IdwRunTile(t, s);
        },
        states);
  } catch (const std::exception&) {
    return false;
  }
}

bool DistanceGrid(const float* x, const float* y, const float* z, int n, const float* gx, int nx,
                  const float* gy, int ny, float* const* grid, float, int, const float* px, const float* py,
                  int np, SGridControl* ctl) {
  if (!ArrayOk(x, n) || !ArrayOk(y, n) || !ArrayOk(z, n) || !GridOk(gx, nx, gy, ny, grid) ||
      !BoundaryOk(px, py, np))
    return false;
  Report(ctl, 0);
  try {
    IdwSamples s;
    for (int i = 0; i < n; ++i)
      if (Finite(x[i], y[i]) && Inside(x[i], y[i], px, py, np)) s.Add(x[i], y[i], z[i]);
    const int64_t nodes = static_cast<int64_t>(nx) * ny;
    std::vector<IdwTile> states;
    return RunItems(
        Threads(ctl), (nodes + kTile - 1) / kTile, [] { return IdwTile(); },
        [&](IdwTile& t, int64_t tile) {
          t.count = 0;
          const int64_t end = std::min(nodes, (tile + 1) * kTile);
          for (int64_t k = tile * kTile; k < end; ++k) {
            const int r = static_cast<int>(k / nx), c = static_cast<int>(k % nx);
            if (!Inside(gx[c], gy[r], px, py, np)) continue;
            t.x[t.count] = gx[c];
            t.y[t.count] = gy[r];
            t.out[t.count++] = &grid[r][c];
          }
          IdwRunTile(t, s);
        },
        states);
  } catch (const std::exception&) {
    return false;
  }
}

bool DistanceGrid(const std::vector<SFloat3D>& samples, SGridLattice& grid,
                  const std::vector<SFloat2D>& boundary, SGridControl* ctl) {
  Unpacked u(samples, grid, boundary);
  return u.ok &&
         DistanceGrid(u.x.data(), u.y.data(), u.z.data(), u.N(), grid.gx.data(), grid.Cols(), grid.gy.data(),
                      grid.Rows(), u.rows.data(), 0.0f, 0, u.px.data(), u.py.data(), u.Np(), ctl);
}

// ---- Trend surface ---------------------------------------------------------------------

namespace {

TrendWork MakeTrendWork(int order, int m, int cols) {
  TrendWork w;
  w.xp.resize(static_cast<size_t>(order) + 1);
  w.yp.resize(static_cast<size_t>(order) + 1);
  w.t.resize(static_cast<size_t>(m));
  w.acc.resize(static_cast<size_t>(cols));
  return w;
}

}  // namespace

bool TrendGrid(const SFloat3D* samples, int n, SFloat3D* targets, int m, float, int order,
               SGridControl* ctl) {
  if (!ArrayOk(samples, n) || !ArrayOk(targets, m) || n < 1) return false;
  Report(ctl, 0);
  try {
    std::vector<float> x(static_cast<size_t>(n)), y(static_cast<size_t>(n)), z(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) x[i] = samples[i].x, y[i] = samples[i].y, z[i] = samples[i].z;
    Trend tr;
    int64_t singular = 0;
    const bool fitted = FitTrend(x.data(), y.data(), z.data(), n, order, nullptr, nullptr, 0, tr, singular);
    Report(ctl, singular);
    if (!fitted) return false;
    constexpr int64_t kChunk = 256;
    std::vector<TrendWork> states;
    return RunItems(
        Threads(ctl), (m + kChunk - 1) / kChunk, [&] { return MakeTrendWork(tr.order, tr.m, 0); },
        [&](TrendWork& w, int64_t chunk) {
          const int end = static_cast<int>(std::min<int64_t>(m, (chunk + 1) * kChunk));
          for (int i = static_cast<int>(chunk * kChunk); i < end; ++i)
            targets[i].z = TrendAt(tr, targets[i].x, targets[i].y, w);
        },
        states);
  } catch (const std::exception&) {
    return false;
  }
}

bool TrendGrid(const float* x, const float* y, const float* z, int n, const float* gx, int nx,
               const float* gy, int ny, float* const* grid, float, int order, const float* px,
               const float* py, int np, SGridControl* ctl) {
  if (!ArrayOk(x, n) || !ArrayOk(y, n) || !ArrayOk(z, n) || !GridOk(gx, nx, gy, ny, grid) ||
      !BoundaryOk(px, py, np) || n < 1)
    return false;
  Report(ctl, 0);
  try {
    Trend tr;
    int64_t singular = 0;
    const bool fitted = FitTrend(x, y, z, n, order, px, py, np, tr, singular);
    Report(ctl, singular);
    if (!fitted) return false;
    // Column powers are shared by every row: colPow[e * nx + c] = gx[c]^e.
    const size_t cols = static_cast<size_t>(nx);
    std::vector<double> colPow((static_cast<size_t>(tr.order) + 1) * cols);
    std::vector<double> xp(static_cast<size_t>(tr.order) + 1);
    for (size_t c = 0; c < cols; ++c) {
      Powers(gx[c], tr.order, xp.data());
      for (int e = 0; e <= tr.order; ++e)
        colPow[static_cast<size_t>(e) * cols + c] = xp[static_cast<size_t>(e)];
    }
    std::vector<TrendWork> states;
    return RunItems(
        Threads(ctl), ny, [&] { return MakeTrendWork(tr.order, tr.m, nx); },
        [&](TrendWork& w, int64_t r) {
          Powers(gy[r], tr.order, w.yp.data());
          // The sums of every node of the row advance together, each in term order.
          std::fill(w.acc.begin(), w.acc.end(), 0.0);
          const float* coef = tr.coef.get();
          int i = 0;
          for (int p = 0; p <= tr.order; ++p) {
            for (int q = 0; q <= p; ++q, ++i) {
              const double* xpow = colPow.data() + static_cast<size_t>(p - q) * cols;
              const double yq = w.yp[static_cast<size_t>(q)], ci = coef[i];
              for (size_t c = 0; c < cols; ++c)
                w.acc[c] += ci * static_cast<double>(static_cast<float>(xpow[c] * yq));
            }
          }
          for (size_t c = 0; c < cols; ++c)
            if (Inside(gx[c], gy[r], px, py, np)) grid[r][c] = static_cast<float>(w.acc[c]);
        },
        states);
  } catch (const std::exception&) {
    return false;
  }
}

bool TrendGrid(const std::vector<SFloat3D>& samples, SGridLattice& grid, int order,
               const std::vector<SFloat2D>& boundary, SGridControl* ctl) {
  Unpacked u(samples, grid, boundary);
  return u.ok &&
         TrendGrid(u.x.data(), u.y.data(), u.z.data(), u.N(), grid.gx.data(), grid.Cols(), grid.gy.data(),
                   grid.Rows(), u.rows.data(), 0.0f, order, u.px.data(), u.py.data(), u.Np(), ctl);
}

// ---- Test seams --------------------------------------------------------------------------

namespace detail {

bool GridNeighbours(const float* x, const float* y, const unsigned char* inside, int n, const float* qx,
                    const float* qy, int nq, int* ids) {
  if (!ArrayOk(x, n) || !ArrayOk(y, n) || !ArrayOk(qx, nq) || !ArrayOk(qy, nq) || !ArrayOk(ids, nq))
    return false;
  try {
    Candidates c;
    std::vector<int> sample;
    for (int i = 0; i < n; ++i) {
      if (!Finite(x[i], y[i]) || (inside && !inside[i])) continue;
      c.Add(x[i], y[i], 0.0f);
      sample.push_back(i);
    }
    const NeighbourFinder f(c);
    NeighbourFinder::Scratch s;
    f.Reserve(s);
    Entry nb[kMaxNeighbours];
    for (int q = 0; q < nq; ++q) {
      int* out = ids + static_cast<size_t>(q) * kMaxNeighbours;
      const int k = Finite(qx[q], qy[q]) ? f.Find(qx[q], qy[q], nb, s) : 0;
      for (int i = 0; i < kMaxNeighbours; ++i) out[i] = i < k ? sample[static_cast<size_t>(nb[i].id)] : -1;
    }
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

int SetGriddingVectorLimit(int limit) {
#ifdef VDKIT_GRIDDING_SIMD
  const int old = g_vectorLimit;
  g_vectorLimit = limit;
  return old;
#else
  (void)limit;
  return 0;
#endif
}

}  // namespace detail
