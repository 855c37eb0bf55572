#include "audio/g719/g719_transform.h"

#include "audio/g719/g719_tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Floating-point order matters throughout this file: each named intermediate is one rounding,
// and the groupings below are the ones the standard's decoder uses. Only exact rewrites are
// allowed (operand swaps, negations moved through products, multiplying by a factor of j).

namespace tonvera::g719 {
namespace {

template <int N>
struct alignas(16) SplitTable {
  float re[N];
  float im[N];
};

// 480-point radix-4 twiddles for m = 1..3, indexed by j = 0..119.
struct Radix4Twiddles {
  SplitTable<120> m[3];
};

constexpr Radix4Twiddles makeRadix4Twiddles() {
  Radix4Twiddles t{};
  for (int j = 0; j < 120; ++j) {
    for (int m = 1; m <= 3; ++m) {
      t.m[m - 1].re[j] = kFft480Twiddle[4 * j + m][0];
      t.m[m - 1].im[j] = kFft480Twiddle[4 * j + m][1];
    }
  }
  return t;
}

template <int M>
constexpr SplitTable<M> splitComplexTable(const float (&table)[M][2]) {
  SplitTable<M> s{};
  for (int i = 0; i < M; ++i) {
    s.re[i] = table[i][0];
    s.im[i] = table[i][1];
  }
  return s;
}

// The long window with its last three quarters negated: the unfolded frame negates those
// quarters of the transform output, and (-a) * w == a * (-w) exactly.
struct alignas(16) SignedWindow {
  float w[1920];
};

constexpr SignedWindow makeSignedWindow() {
  SignedWindow s{};
  for (int n = 0; n < 1920; ++n) {
    s.w[n] = n < 480 ? kWindowLong[n] : -kWindowLong[n];
  }
  return s;
}

constexpr Radix4Twiddles kRadix4 = makeRadix4Twiddles();
constexpr SplitTable<480> kPre960 = splitComplexTable(kDct960Pre);
constexpr SplitTable<480> kPost960 = splitComplexTable(kDct960Post);
constexpr SplitTable<120> kPre240 = splitComplexTable(kDct240Pre);
constexpr SplitTable<120> kPost240 = splitComplexTable(kDct240Post);
constexpr SignedWindow kWindow = makeSignedWindow();

// Work array of the 120-point transform: position 24a + 8b + k holds the element with 5-point
// index a, 3-point index b and 8-point index k.
struct alignas(16) Work {
  float re[120];
  float im[120];
};

// Stage 1: gather through the input map and run the 8-point input additions per group.
// Fully unrolled, so that the index map folds into constant load offsets.
inline void fftInput(const float* __restrict inRe, const float* __restrict inIm, Work& w) {
#pragma GCC unroll 15
  for (int g = 0; g < 15; ++g) {
    const std::int32_t* p = &kFft120PermIn[8 * g];
    float ur[8];
    float ui[8];
    for (int k = 0; k < 8; ++k) {
      ur[k] = inRe[p[k]];
      ui[k] = inIm[p[k]];
    }
    float* wr = &w.re[8 * g];
    float* wi = &w.im[8 * g];
    const float a0r = ur[0] + ur[4], a0i = ui[0] + ui[4];
    const float a1r = ur[1] + ur[5], a1i = ui[1] + ui[5];
    const float a2r = ur[2] + ur[6], a2i = ui[2] + ui[6];
    const float a3r = ur[3] + ur[7], a3i = ui[3] + ui[7];
    const float b1r = ur[1] - ur[5], b1i = ui[1] - ui[5];
    const float b3r = ur[3] - ur[7], b3i = ui[3] - ui[7];
    wr[0] = a0r + a2r, wi[0] = a0i + a2i;
    wr[1] = a1r + a3r, wi[1] = a1i + a3i;
    wr[2] = a0r - a2r, wi[2] = a0i - a2i;
    wr[3] = a1r - a3r, wi[3] = a1i - a3i;
    wr[4] = ur[0] - ur[4], wi[4] = ui[0] - ui[4];
    wr[5] = b1r + b3r, wi[5] = b1i + b3i;
    wr[6] = ur[2] - ur[6], wi[6] = ui[2] - ui[6];
    wr[7] = b1r - b3r, wi[7] = b1i - b3i;
  }
}

// Stages 2 to 5: 3-point input additions, 5-point kernel with its 144 multiplications, 3-point
// output additions. Every loop is element-wise over consecutive positions.
inline void fftMiddle(Work& w) {
  float* __restrict re = w.re;
  float* __restrict im = w.im;
  for (int a = 0; a < 5; ++a) {
    float* pr = re + 24 * a;
    float* pi = im + 24 * a;
    for (int k = 0; k < 8; ++k) {
      const float qr = pr[8 + k] + pr[16 + k], qi = pi[8 + k] + pi[16 + k];
      const float rr = pr[8 + k] - pr[16 + k], ri = pi[8 + k] - pi[16 + k];
      pr[k] = pr[k] + qr, pi[k] = pi[k] + qi;
      pr[8 + k] = qr, pi[8 + k] = qi;
      pr[16 + k] = rr, pi[16 + k] = ri;
    }
  }
  for (int c = 0; c < 24; ++c) {
    const float e0r = re[c], e0i = im[c];
    const float e1r = re[c + 24], e1i = im[c + 24];
    const float e2r = re[c + 48], e2i = im[c + 48];
    const float e3r = re[c + 72], e3i = im[c + 72];
    const float e4r = re[c + 96], e4i = im[c + 96];
    const float f14r = e1r + e4r, f14i = e1i + e4i;
    const float g14r = e1r - e4r, g14i = e1i - e4i;
    const float f23r = e3r + e2r, f23i = e3i + e2i;
    const float g32r = e3r - e2r, g32i = e3i - e2i;
    const float sr = f14r + f23r, si = f14i + f23i;
    const float dr = f14r - f23r, di = f14i - f23i;
    const float hr = g14r + g32r, hi = g14i + g32i;
    const float e0sr = e0r + sr, e0si = e0i + si;
    const float k0 = kFft120Const[0][c], k1 = kFft120Const[1][c], k2 = kFft120Const[2][c];
    const float k3 = kFft120Const[3][c], k4 = kFft120Const[4][c], k5 = kFft120Const[5][c];
    const float m0r = e0sr * k0, m0i = e0si * k0;
    const float m1r = sr * k1, m1i = si * k1;
    const float m2r = g14r * k2, m2i = g14i * k2;
    const float m3r = dr * k3, m3i = di * k3;
    const float m4r = g32r * k4, m4i = g32i * k4;
    const float m5r = hr * k5, m5i = hi * k5;
    const float tr = m0r + m1r, ti = m0i + m1i;
    const float ur = tr + m3r, ui = ti + m3i;
    const float vr = tr - m3r, vi = ti - m3i;
    const float cr = m2r + m5r, ci = m2i + m5i;
    const float yr = m4r + m5r, yi = m4i + m5i;
    re[c] = m0r, im[c] = m0i;
    re[c + 24] = ur - ci, im[c + 24] = ui + cr;  // U + jC
    re[c + 96] = ur + ci, im[c + 96] = ui - cr;  // U - jC
    re[c + 72] = vr - yi, im[c + 72] = vi + yr;  // V + jY
    re[c + 48] = vr + yi, im[c + 48] = vi - yr;  // V - jY
  }
  for (int a = 0; a < 5; ++a) {
    float* pr = re + 24 * a;
    float* pi = im + 24 * a;
    for (int k = 0; k < 8; ++k) {
      const float tr = pr[k] + pr[8 + k], ti = pi[k] + pi[8 + k];
      const float rr = pr[16 + k], ri = pi[16 + k];
      pr[8 + k] = tr - ri, pi[8 + k] = ti + rr;    // T + jR
      pr[16 + k] = tr + ri, pi[16 + k] = ti - rr;  // T - jR
    }
  }
}

// Stage 6: 8-point output additions per group and scatter through the output map. Output bin
// o is written to out[Stride * o] so that the 480-point transform can interleave directly.
// Fully unrolled like stage 1.
template <int Stride>
inline void fftOutput(const Work& w, float* __restrict outRe, float* __restrict outIm) {
  constexpr int stride = Stride;
#pragma GCC unroll 15
  for (int g = 0; g < 15; ++g) {
    const float* yr = &w.re[8 * g];
    const float* yi = &w.im[8 * g];
    const std::int32_t* o = &kFft120PermOut[8 * g];
    const float pr = yr[4] - yi[5], pi = yi[4] + yr[5];     // y4 + j y5
    const float p2r = yr[4] + yi[5], p2i = yi[4] - yr[5];   // y4 - j y5
    const float qr = yr[7] - yi[6], qi = yr[6] + yi[7];     // j y6 + y7
    const float q2r = -yi[6] - yr[7], q2i = yr[6] - yi[7];  // j y6 - y7
    outRe[stride * o[0]] = yr[0] + yr[1], outIm[stride * o[0]] = yi[0] + yi[1];
    outRe[stride * o[4]] = yr[0] - yr[1], outIm[stride * o[4]] = yi[0] - yi[1];
    outRe[stride * o[2]] = yr[2] - yi[3], outIm[stride * o[2]] = yi[2] + yr[3];
    outRe[stride * o[6]] = yr[2] + yi[3], outIm[stride * o[6]] = yi[2] - yr[3];
    outRe[stride * o[1]] = pr + qr, outIm[stride * o[1]] = pi + qi;
    outRe[stride * o[5]] = p2r + q2r, outIm[stride * o[5]] = p2i + q2i;
    outRe[stride * o[3]] = pr - qr, outIm[stride * o[3]] = pi - qi;
    outRe[stride * o[7]] = p2r - q2r, outIm[stride * o[7]] = p2i - q2i;
  }
}

template <int Stride>
inline void fft120Strided(const float* inRe, const float* inIm, float* outRe, float* outIm) {
  Work w;
  fftInput(inRe, inIm, w);
  fftMiddle(w);
  fftOutput<Stride>(w, outRe, outIm);
}

// Pre-twiddle of a DCT-IV of length N = 2M: z[m] = (x[2m] + i x[N-1-2m]) * pre[m].
template <int M>
inline void preTwiddle(const float* __restrict x, const SplitTable<M>& pre, float* __restrict zr,
                       float* __restrict zi) {
  static_assert(M % 4 == 0);
#if defined(__SSE2__)
  for (int m = 0; m < M; m += 4) {
    const __m128 lo = _mm_loadu_ps(x + 2 * m);
    const __m128 hi = _mm_loadu_ps(x + 2 * m + 4);
    const __m128 even = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));  // x[2m], x[2m+2], ...
    const __m128 c = _mm_loadu_ps(x + 2 * M - 8 - 2 * m);
    const __m128 d = _mm_loadu_ps(x + 2 * M - 4 - 2 * m);
    const __m128 odd = _mm_shuffle_ps(d, c, _MM_SHUFFLE(1, 3, 1, 3));  // x[N-1-2m], x[N-3-2m], ...
    const __m128 pr = _mm_load_ps(pre.re + m);
    const __m128 pi = _mm_load_ps(pre.im + m);
    _mm_store_ps(zr + m, _mm_sub_ps(_mm_mul_ps(even, pr), _mm_mul_ps(odd, pi)));
    _mm_store_ps(zi + m, _mm_add_ps(_mm_mul_ps(even, pi), _mm_mul_ps(odd, pr)));
  }
#else
  for (int m = 0; m < M; ++m) {
    const float even = x[2 * m];
    const float odd = x[2 * M - 1 - 2 * m];
    zr[m] = even * pre.re[m] - odd * pre.im[m];
    zi[m] = even * pre.im[m] + odd * pre.re[m];
  }
#endif
}

// Post-twiddle and reordering: X[2k] = Re(Z[k] post[k]) * scale,
// X[N-1-2k] = -Im(Z[k] post[k]) * scale.
template <int M>
inline void postTwiddle(const float* __restrict zr, const float* __restrict zi, const SplitTable<M>& post,
                        float scale, float* __restrict x) {
  static_assert(M % 4 == 0);
#if defined(__SSE2__)
  // Output block x[2k .. 2k+7] interleaves X[2k], X[2k+2], ... with X[2k+1] = odd value M-1-k,
  // X[2k+3] = odd value M-2-k, ...: the odd values of the mirrored block, reversed.
  const __m128 s = _mm_set1_ps(scale);
  const __m128 ns = _mm_set1_ps(-scale);
  for (int k = 0; k < M; k += 4) {
    const int j = M - 4 - k;
    const __m128 even = _mm_mul_ps(_mm_sub_ps(_mm_mul_ps(_mm_load_ps(zr + k), _mm_load_ps(post.re + k)),
                                              _mm_mul_ps(_mm_load_ps(zi + k), _mm_load_ps(post.im + k))),
                                   s);
    const __m128 odd = _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_load_ps(zr + j), _mm_load_ps(post.im + j)),
                                             _mm_mul_ps(_mm_load_ps(zi + j), _mm_load_ps(post.re + j))),
                                  ns);
    const __m128 reversed = _mm_shuffle_ps(odd, odd, _MM_SHUFFLE(0, 1, 2, 3));
    _mm_storeu_ps(x + 2 * k, _mm_unpacklo_ps(even, reversed));
    _mm_storeu_ps(x + 2 * k + 4, _mm_unpackhi_ps(even, reversed));
  }
#else
  const float negScale = -scale;
  for (int k = 0; k < M; ++k) {
    x[2 * k] = (zr[k] * post.re[k] - zi[k] * post.im[k]) * scale;
    x[2 * M - 1 - 2 * k] = (zr[k] * post.im[k] + zi[k] * post.re[k]) * negScale;
  }
#endif
}

// Clamp to the 16-bit range, then truncate toward zero.
inline void convertToPcm(const float* __restrict v, std::int16_t* __restrict out, int n) {
#if defined(__SSE2__)
  const __m128 hi = _mm_set1_ps(32767.0f);
  const __m128 lo = _mm_set1_ps(-32768.0f);
  for (int i = 0; i < n; i += 8) {
    const __m128 a = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(v + i), hi), lo);
    const __m128 b = _mm_max_ps(_mm_min_ps(_mm_loadu_ps(v + i + 4), hi), lo);
    const __m128i packed = _mm_packs_epi32(_mm_cvttps_epi32(a), _mm_cvttps_epi32(b));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
  }
#else
  for (int i = 0; i < n; ++i) {
    float s = v[i];
    // Written so that a NaN lands on 0 instead of reaching the conversion.
    s = s < 32767.0f ? s : (s >= 32767.0f ? 32767.0f : 0.0f);
    s = s > -32768.0f ? s : -32768.0f;
    out[i] = static_cast<std::int16_t>(static_cast<int>(s));
  }
#endif
}

// Unfolds the 960 inverse-transform values a[] into 1920 samples, windows them, adds the first
// half to the overlap memory into out[] and keeps the second half as the new overlap.
inline void windowOverlapAdd(const float* __restrict a, float* __restrict overlap,
                             std::int16_t* __restrict out) {
  const float* w = kWindow.w;
  alignas(16) float sum[960];
  for (int i = 0; i < 480; ++i) {
    sum[i] = a[480 + i] * w[i] + overlap[i];
  }
  for (int i = 0; i < 480; ++i) {
    sum[480 + i] = a[959 - i] * w[480 + i] + overlap[480 + i];
  }
  for (int i = 0; i < 480; ++i) {
    overlap[i] = a[479 - i] * w[960 + i];
  }
  for (int i = 0; i < 480; ++i) {
    overlap[480 + i] = a[i] * w[1440 + i];
  }
  convertToPcm(sum, out, 960);
}

}  // namespace

void fft120(const float* inRe, const float* inIm, float* outRe, float* outIm) {
  fft120Strided<1>(inRe, inIm, outRe, outIm);
}

void dct960(const float* in, float* out) {
  alignas(16) float zr[480];
  alignas(16) float zi[480];
  preTwiddle<480>(in, kPre960, zr, zi);

  // Radix-4 split into four 120-point transforms; v0 takes no twiddle.
  alignas(16) float vr[4][120];
  alignas(16) float vi[4][120];
  for (int j = 0; j < 120; ++j) {
    const float apcR = zr[j] + zr[j + 240], apcI = zi[j] + zi[j + 240];
    const float amcR = zr[j] - zr[j + 240], amcI = zi[j] - zi[j + 240];
    const float bpdR = zr[j + 120] + zr[j + 360], bpdI = zi[j + 120] + zi[j + 360];
    const float dmbR = zr[j + 360] - zr[j + 120], dmbI = zi[j + 360] - zi[j + 120];
    vr[0][j] = apcR + bpdR;
    vi[0][j] = apcI + bpdI;
    const float t1r = amcR - dmbI, t1i = amcI + dmbR;  // (a - c) + i (d - b)
    const float t2r = apcR - bpdR, t2i = apcI - bpdI;  // (a + c) - (b + d)
    const float t3r = amcR + dmbI, t3i = amcI - dmbR;  // (a - c) - i (d - b)
    const float w1r = kRadix4.m[0].re[j], w1i = kRadix4.m[0].im[j];
    const float w2r = kRadix4.m[1].re[j], w2i = kRadix4.m[1].im[j];
    const float w3r = kRadix4.m[2].re[j], w3i = kRadix4.m[2].im[j];
    vr[1][j] = t1r * w1r - t1i * w1i;
    vi[1][j] = t1r * w1i + t1i * w1r;
    vr[2][j] = t2r * w2r - t2i * w2i;
    vi[2][j] = t2r * w2i + t2i * w2r;
    vr[3][j] = t3r * w3r - t3i * w3i;
    vi[3][j] = t3r * w3i + t3i * w3r;
  }
  // Z[4k + m] = F120(v_m)[k]
  for (int m = 0; m < 4; ++m) {
    fft120Strided<4>(vr[m], vi[m], zr + m, zi + m);
  }
  postTwiddle<480>(zr, zi, kPost960, 0.25f, out);
}

void dct240(const float* in, float* out) {
  alignas(16) float zr[120];
  alignas(16) float zi[120];
  alignas(16) float fr[120];
  alignas(16) float fi[120];
  preTwiddle<120>(in, kPre240, zr, zi);
  fft120Strided<1>(zr, zi, fr, fi);
  postTwiddle<120>(fr, fi, kPost240, 0.5f, out);
}

void synthesizeLong(const float* spectrum, float* overlap, std::int16_t* out) {
  alignas(16) float a[960];
  dct960(spectrum, a);
  windowOverlapAdd(a, overlap, out);
}

void synthesizeShort(const float* spectrum, float* overlap, std::int16_t* out) {
  // The four short blocks overlap-add into b[], at offsets -120, 120, 360 and 600; the outer
  // halves of the first and last block are taken without window.
  alignas(16) float b[960];
  alignas(16) float c[240];
  const float* ws = kWindowShort;

  dct240(spectrum, c);  // block 0: u[120 + i] = -c[239 - i], u[240 + i] = -c[119 - i]
  for (int i = 0; i < 120; ++i) {
    b[i] = -c[239 - i];
  }
  for (int i = 0; i < 120; ++i) {
    b[120 + i] = -c[119 - i] * ws[240 + i];
  }
  for (int i = 0; i < 120; ++i) {
    b[240 + i] = -c[i] * ws[360 + i];
  }
  for (int s = 1; s <= 2; ++s) {
    dct240(spectrum + 240 * s, c);
    float* d = b + 120 + 240 * (s - 1);
    for (int i = 0; i < 120; ++i) {
      d[i] = d[i] + c[120 + i] * ws[i];
    }
    for (int i = 0; i < 120; ++i) {
      d[120 + i] = d[120 + i] + -c[239 - i] * ws[120 + i];
    }
    for (int i = 0; i < 120; ++i) {
      d[240 + i] = -c[119 - i] * ws[240 + i];
    }
    for (int i = 0; i < 120; ++i) {
      d[360 + i] = -c[i] * ws[360 + i];
    }
  }
  dct240(spectrum + 720, c);  // block 3
  for (int i = 0; i < 120; ++i) {
    b[600 + i] = b[600 + i] + c[120 + i] * ws[i];
  }
  for (int i = 0; i < 120; ++i) {
    b[720 + i] = b[720 + i] + -c[239 - i] * ws[120 + i];
  }
  for (int i = 0; i < 120; ++i) {
    b[840 + i] = -c[119 - i];
  }

  alignas(16) float a[960];
  for (int i = 0; i < 960; ++i) {
    a[i] = b[959 - i];
  }
  windowOverlapAdd(a, overlap, out);
}

}  // namespace tonvera::g719
