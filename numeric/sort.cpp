// Stable ascending sorts with every NaN behind the numbers, NaNs in input order.
#include <cstdint>
#include <cstdlib>

#include "model/rt_nonfinite.h"
#include "numeric/vector.h"

namespace {

struct Entry {
  double value;
  std::int32_t position;  // 1-based input position
};

// Stable sort of up to four numbers (no NaNs) by a fixed comparison network:
// order each pair, then merge the two pairs. Every comparison is strictly
// less than, so equal values keep their order.
void sortBlock(Entry e[], std::int32_t count) {
  if (count < 2) return;
  Entry a[2] = {e[0], e[1]};
  if (a[1].value < a[0].value) {
    a[0] = e[1];
    a[1] = e[0];
  }
  if (count == 2) {
    e[0] = a[0];
    e[1] = a[1];
    return;
  }
  Entry b[2] = {e[2], e[2]};
  std::int32_t nb = 1;
  if (count == 4) {
    nb = 2;
    b[0] = e[2];
    b[1] = e[3];
    if (b[1].value < b[0].value) {
      b[0] = e[3];
      b[1] = e[2];
    }
  }
  std::int32_t i = 0;
  std::int32_t j = 0;
  for (std::int32_t k = 0; k < count; ++k) {
    if (j >= nb || (i < 2 && !(b[j].value < a[i].value))) {
      e[k] = a[i++];
    } else {
      e[k] = b[j++];
    }
  }
}

// Working storage of one vector: values, positions and the merge copies.
struct Work {
  double* x = nullptr;
  std::int32_t* idx = nullptr;
  double* xwork = nullptr;
  std::int32_t* iwork = nullptr;

  bool allocate(std::int32_t n) {
    const std::size_t count = static_cast<std::size_t>(n);
    x = static_cast<double*>(std::malloc(count * sizeof(double)));
    xwork = static_cast<double*>(std::malloc(count * sizeof(double)));
    idx = static_cast<std::int32_t*>(std::malloc(count * sizeof(std::int32_t)));
    iwork = static_cast<std::int32_t*>(std::malloc(count * sizeof(std::int32_t)));
    return x != nullptr && xwork != nullptr && idx != nullptr && iwork != nullptr;
  }
  ~Work() {
    std::free(x);
    std::free(xwork);
    std::free(idx);
    std::free(iwork);
  }
};

// Sorts the n values src[0], src[stride], ... into w.x, with their positions in w.idx.
void sortVector(Work& w, std::int32_t n, const double* src, std::int64_t stride) {
  std::int32_t nanCount = 0;
  std::int32_t numbers = 0;
  Entry block[4];
  std::int32_t inBlock = 0;
  auto flush = [&]() {
    sortBlock(block, inBlock);
    const std::int32_t start = numbers - inBlock;
    for (std::int32_t k = 0; k < inBlock; ++k) {
      w.x[start + k] = block[k].value;
      w.idx[start + k] = block[k].position;
    }
    inBlock = 0;
  };
  // Numbers go to the front in blocks of four, NaNs to the back from the end.
  for (std::int32_t k = 0; k < n; ++k) {
    const double v = src[stride * k];
    if (rtIsNaN(v)) {
      ++nanCount;
      w.x[n - nanCount] = v;
      w.idx[n - nanCount] = k + 1;
    } else {
      block[inBlock].value = v;
      block[inBlock].position = k + 1;
      ++inBlock;
      ++numbers;
      if (inBlock == 4) flush();
    }
  }
  if (inBlock > 0) flush();

  // The NaNs went in from the back; reverse them into input order.
  for (std::int32_t lo = numbers, hi = n - 1; lo < hi; ++lo, --hi) {
    const double tv = w.x[lo];
    w.x[lo] = w.x[hi];
    w.x[hi] = tv;
    const std::int32_t ti = w.idx[lo];
    w.idx[lo] = w.idx[hi];
    w.idx[hi] = ti;
  }

  if (numbers <= 1) return;
  std::int32_t runLength = 4;
  std::int32_t blocks = numbers / 4;
  while (blocks > 1) {
    if (blocks % 2 != 0) {
      --blocks;
      const std::int32_t tail = runLength * blocks;
      const std::int32_t rest = numbers - tail;
      if (rest > runLength) Rx_merge(w.idx, w.x, tail, runLength, rest - runLength, w.iwork, w.xwork);
    }
    for (std::int32_t pair = 0; pair < blocks / 2; ++pair) {
      Rx_merge(w.idx, w.x, pair * 2 * runLength, runLength, runLength, w.iwork, w.xwork);
    }
    blocks /= 2;
    runLength *= 2;
  }
  if (numbers > runLength) Rx_merge(w.idx, w.x, 0, runLength, numbers - runLength, w.iwork, w.xwork);
}

}  // namespace

void Rx_sort(double x[], std::int32_t xSize[2]) {
  std::int64_t n = 0;
  if (xSize[0] > 0 && xSize[1] > 0) n = static_cast<std::int64_t>(xSize[0]) * xSize[1];
  if (n > 2) {
    // Beyond the two elements this routine is made for: the general sort
    // orders the same way.
    const std::int32_t rowSize[2] = {1, static_cast<std::int32_t>(n > INT32_MAX ? 0 : n)};
    Rx_sort_l(x, rowSize, 2);
  } else if (n == 2) {
    const bool firstNaN = rtIsNaN(x[0]);
    const bool secondNaN = rtIsNaN(x[1]);
    if ((firstNaN && !secondNaN) || (!firstNaN && !secondNaN && x[1] < x[0])) {
      const double t = x[0];
      x[0] = x[1];
      x[1] = t;
    }
  }
  xSize[0] = 1;
  xSize[1] = static_cast<std::int32_t>(n > INT32_MAX ? 0 : n);
}

bool Rx_sort_l(double x[], const std::int32_t xSize[2], std::int32_t dim) {
  const std::int32_t rows = xSize[0];
  const std::int32_t cols = xSize[1];
  if (rows <= 0 || cols <= 0) return true;
  std::int32_t length = 1;
  std::int32_t count = 1;
  std::int64_t stride = 1;
  std::int64_t step = 1;  // distance between the starts of successive vectors
  if (dim == 1) {
    length = rows;
    count = cols;
    stride = 1;
    step = rows;
  } else if (dim == 2) {
    length = cols;
    count = rows;
    stride = rows;
    step = 1;
  }
  if (length < 2) return true;

  Work w;
  if (!w.allocate(length)) return false;
  for (std::int32_t v = 0; v < count; ++v) {
    double* base = x + step * v;
    sortVector(w, length, base, stride);
    for (std::int32_t k = 0; k < length; ++k) base[stride * k] = w.x[k];
  }
  return true;
}

void Rx_merge(std::int32_t idx[], double x[], std::int32_t offset, std::int32_t np,
              std::int32_t nq, std::int32_t iwork[], double xwork[]) {
  if (np <= 0 || nq <= 0) return;
  const std::int32_t end = offset + np + nq;
  for (std::int32_t j = offset; j < end; ++j) {
    iwork[j] = idx[j];
    xwork[j] = x[j];
  }
  std::int32_t p = offset;       // next of the first run
  std::int32_t q = offset + np;  // next of the second run
  std::int32_t out = offset;
  while (true) {
    if (xwork[p] <= xwork[q]) {
      idx[out] = iwork[p];
      x[out] = xwork[p];
      ++out;
      // The rest of the second run is already in place.
      if (++p == offset + np) return;
    } else {
      idx[out] = iwork[q];
      x[out] = xwork[q];
      ++out;
      if (++q == end) {
        while (p < offset + np) {
          idx[out] = iwork[p];
          x[out] = xwork[p];
          ++out;
          ++p;
        }
        return;
      }
    }
  }
}
