// The generated tables against their source files, and the inverse transform on its own: the
// 120-point FFT and the two DCT-IVs reproduce the reference's exact outputs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio/g719/g719_tables.h"
#include "audio/g719/g719_transform.h"
#include "g719_test_util.h"

namespace tonvera::test {
namespace {

using namespace g719;

struct TableCase {
  const char* file;
  const void* data;
  std::size_t count;
  enum Kind { Int16, Int32, Float } kind;
};

template <typename T, std::size_t N>
constexpr std::size_t countOf(const T (&)[N]) {
  return sizeof(T[N]) / sizeof(std::remove_all_extents_t<T>);
}

#define TABLE(file, array, kind) \
  TableCase { file, &array, countOf(array), TableCase::kind }

const TableCase kTables[] = {
    TABLE("band_start", kBandStart, Int16),
    TABLE("band_width", kBandWidth, Int16),
    TABLE("coef_huffman_2", kCoefHuffman2, Int16),
    TABLE("coef_huffman_3", kCoefHuffman3, Int16),
    TABLE("coef_huffman_4", kCoefHuffman4, Int16),
    TABLE("coef_huffman_5", kCoefHuffman5, Int16),
    TABLE("dct240_post", kDct240Post, Float),
    TABLE("dct240_pre", kDct240Pre, Float),
    TABLE("dct960_post", kDct960Post, Float),
    TABLE("dct960_pre", kDct960Pre, Float),
    TABLE("fft120_const", kFft120Const, Float),
    TABLE("fft120_perm_in", kFft120PermIn, Int32),
    TABLE("fft120_perm_out", kFft120PermOut, Int32),
    TABLE("fft480_twiddle", kFft480Twiddle, Float),
    TABLE("lvq1_codebook", kLvq1Codebook, Int16),
    TABLE("lvq_params", kLvqParams, Int16),
    TABLE("norm_dequant", kNormDequant, Float),
    TABLE("norm_huffman", kNormHuffman, Int16),
    TABLE("norm_log2", kNormLog2, Int16),
    TABLE("transient_deinterleave", kTransientDeinterleave, Int16),
    TABLE("transient_norm_order", kTransientNormOrder, Int16),
    TABLE("weight_floor", kWeightFloor, Int16),
    TABLE("weight_groups", kWeightGroups, Int32),
    TABLE("weight_width", kWeightWidth, Int16),
    TABLE("window_long", kWindowLong, Float),
    TABLE("window_short", kWindowShort, Float),
};

TEST(G719Tables, GeneratedArraysEqualTheTableFiles) {
  for (const TableCase& t : kTables) {
    SCOPED_TRACE(t.file);
    const std::vector<std::string> text = readTableText(g719Dir() + "tables/" + t.file + ".txt");
    ASSERT_EQ(text.size(), t.count);
    for (std::size_t i = 0; i < t.count; ++i) {
      switch (t.kind) {
        case TableCase::Int16:
          ASSERT_EQ(static_cast<const std::int16_t*>(t.data)[i], std::stol(text[i])) << "entry " << i;
          break;
        case TableCase::Int32:
          ASSERT_EQ(static_cast<const std::int32_t*>(t.data)[i], std::stol(text[i])) << "entry " << i;
          break;
        case TableCase::Float:
          // Nearest float to the printed decimal, bit for bit.
          ASSERT_EQ(static_cast<const float*>(t.data)[i], std::strtof(text[i].c_str(), nullptr))
              << "entry " << i;
          break;
      }
    }
  }
}

// Test input of the FFT check table: z[n] = ((37n mod 101) - 50) + i((53n mod 97) - 48).
void fftCheckInput(float* re, float* im) {
  for (int n = 0; n < 120; ++n) {
    re[n] = static_cast<float>(37 * n % 101 - 50);
    im[n] = static_cast<float>(53 * n % 97 - 48);
  }
}

// Test input of the DCT check tables: x[n] = (29n mod 211) - 105.
std::vector<float> dctCheckInput(int n) {
  std::vector<float> x(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) x[i] = static_cast<float>(29 * i % 211 - 105);
  return x;
}

TEST(G719Transform, Fft120ReproducesCheckTable) {
  float re[120], im[120], outRe[120], outIm[120];
  fftCheckInput(re, im);
  fft120(re, im, outRe, outIm);
  const std::vector<float> check = readTableFloats(g719Dir() + "tables/fft120_check.txt");
  ASSERT_EQ(check.size(), 240u);
  for (int k = 0; k < 120; ++k) {
    EXPECT_EQ(outRe[k], check[2 * k]) << "bin " << k;
    EXPECT_EQ(outIm[k], check[2 * k + 1]) << "bin " << k;
  }
}

TEST(G719Transform, DctIvReproducesCheckTables) {
  for (const int n : {960, 240}) {
    SCOPED_TRACE(n);
    const std::vector<float> x = dctCheckInput(n);
    std::vector<float> y(static_cast<std::size_t>(n));
    n == 960 ? dct960(x.data(), y.data()) : dct240(x.data(), y.data());
    const std::vector<float> check =
        readTableFloats(g719Dir() + "tables/dct" + std::to_string(n) + "_check.txt");
    ASSERT_EQ(check.size(), static_cast<std::size_t>(n));
    int mismatches = 0;
    for (int k = 0; k < n; ++k) mismatches += y[k] != check[k];
    EXPECT_EQ(mismatches, 0);
  }
}

}  // namespace
}  // namespace tonvera::test
