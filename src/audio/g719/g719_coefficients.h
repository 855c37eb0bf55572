// Coefficient decoding of the G.719 decoder: the lattice-vector and 1-bit codes of each band,
// their Huffman or plain indices, and the noise filling of the bands without bits. Values are
// the normalised spectrum (before scaling by the band norms), coefficients 0..799.
//
// Threads: pure functions over caller-owned arrays; callable from any thread.
#pragma once

#include <cstdint>

#include "audio/g719/g719_bitreader.h"

namespace tonvera::g719 {

inline constexpr int kCodedLength = 800;  // coefficients 0..799 carry the 44 bands

// Normalised values of one block of 8 lattice indices k[0..7] (each 0..2^bits - 1) of a band
// with bits = 2..9 bits per coefficient.
void decodeLatticeBlock(const std::int16_t* k, int bits, float* x);
// The integer lattice point y[0..7] of the same indices: a - 2^bits c, where a = (2 k0 + k1 + ..
// + k7, k1, .., k7) and c is the D8 point nearest to a 2^sigma / 2^q (ties rounded down; an odd
// sum is mended at the coordinate with the largest rounding error). The encoder checks its
// indices with it.
void latticePoint(const std::int16_t* k, int bits, int* y);

// Reads one band of width coefficients with bits = 1..9 bits per coefficient (Huffman codes for
// 2..5 bits when huffman is set, plain indices otherwise) into x[0..width-1].
void readBand(BitReader& in, int bits, bool huffman, int width, float* x);

// Fills the bands without bits (bits[b] == 0) of x[0..799] from the coded values: cyclically up
// to the last coded band (all bands in transient frames) attenuated by 2^noiseLevel, and by
// mirroring above it. With no coded band at all, x becomes zero.
void fillNoise(float* x, const std::int8_t* bits, bool transient, int noiseLevel);

}  // namespace tonvera::g719
