// Coefficient quantisers of the G.719 encoder, the inverses of the decoder's: the lattice code of
// bands with 2..9 bits per coefficient (nearest point of D8, then its Voronoi index) and the
// 256-vector code of bands with 1 bit per coefficient; plus the Huffman code lengths.
//
// Threads: pure functions; callable from any thread.
#pragma once

#include <cstdint>

namespace tonvera::g719 {

// Quantises one block of 8 normalised coefficients t[0..7] (band values divided by the band's
// norm) with bits = 2..9 bits per coefficient: k[0..7] receive the indices the decoder reads
// (each 0..2^bits - 1) and xhat[0..7] the values it decodes from them. The point is the
// nearest lattice point whose index decodes back to it; a block too loud for the code is
// scaled down until it fits.
void quantizeLatticeBlock(const float* t, int bits, std::int16_t* k, float* xhat);

// Quantises one block of a 1-bit band: returns the 8-bit codebook index nearest to t[0..7] and
// its decoded values in xhat. previous is the index of the band's previous block, or -1 for the
// band's first block (after an index below 128 the indices 0..15 stand for the zero vector).
int quantizeOneBitBlock(const float* t, int previous, float* xhat);

// Huffman code of a lattice index for bits = 2..5: length in bits and codeword.
int coefCodeLength(int bits, int index);
int coefCodeword(int bits, int index);

// Huffman code of a differential norm index 0..31.
int normCodeLength(int diff);
int normCodeword(int diff);

}  // namespace tonvera::g719
