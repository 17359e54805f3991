// The rows of a triangle with pixels, and each row's span, shared by the AVX2 triangle loops.
// Include it only inside a region compiled for AVX2, within the loops' unnamed namespace.
#pragma once

// The rows of a small triangle: for each, the columns inside all three edges as bits
// (bit k for column x0 + k), from the edge functions at every column of the box at once.
struct SmallRows {
    __m256i edge[3][2]; // edge functions at columns 0-7 and 8-15 of the current row
    __m256i perRow[3];
    std::uint32_t columns; // the box's columns

    SmallRows() = default;
    inline __attribute__((always_inline)) explicit SmallRows(const TriangleArgs& t) {
        static_assert(kSmallColumns == 16, "two registers of eight columns");
        // Column k's value is the first plus k steps (a product that wraps as the sums do).
        const __m256i k = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
        for (int i = 0; i < 3; ++i) {
            const __m256i x1 = _mm256_set1_epi32(t.edgeX[i]);
            const __m256i at = _mm256_add_epi32(_mm256_set1_epi32(t.edgeAt[i]), _mm256_mullo_epi32(x1, k));
            edge[i][0] = at;
            edge[i][1] = _mm256_add_epi32(at, _mm256_slli_epi32(x1, 3));
            perRow[i] = _mm256_set1_epi32(t.edgeY[i]);
        }
        columns = (2u << (t.x1 - t.x0)) - 1;
    }

    // This row's columns, then on to the next row.
    inline __attribute__((always_inline)) std::uint32_t Next() {
        std::uint32_t outside = 0;
        for (int c = 0; c < 2; ++c) {
            const __m256i any = _mm256_or_si256(_mm256_or_si256(edge[0][c], edge[1][c]), edge[2][c]);
            outside |= static_cast<std::uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(any))) << (8 * c);
        }
        for (int i = 0; i < 3; ++i) {
            edge[i][0] = _mm256_add_epi32(edge[i][0], perRow[i]);
            edge[i][1] = _mm256_add_epi32(edge[i][1], perRow[i]);
        }
        return ~outside & columns;
    }
};

// Two walkers side by side, the left one's in lanes 0-1 and the right one's in 2-3: their
// bounds and remainders, their changes per row, and what a negative remainder adds.
inline __attribute__((always_inline)) __m256i WalkPair(const EdgeWalk& l, const EdgeWalk& r) {
    return _mm256_setr_epi64x(l.bound, l.rest, r.bound, r.rest);
}
inline __attribute__((always_inline)) __m256i WalkSteps(const EdgeWalk& l, const EdgeWalk& r) {
    return _mm256_setr_epi64x(l.step, l.carry, r.step, r.carry);
}
inline __attribute__((always_inline)) __m256i WalkCarries(const EdgeWalk& l, const EdgeWalk& r) {
    return _mm256_setr_epi64x(1, l.s, -1, r.s);
}

// Calls row(y, xs, xe) for every row of the triangle that has pixels, its span [xs, xe]
// bounded as TriangleEntry bounds it (the box, then the edges) or by a small triangle's
// edges; t's walkers are left as they were. Rows above the middle vertex walk the two edges
// from the top vertex, the rest the lower edge in place of the one it meets (see
// TriangleArgs): each row's bounds are those of all four walkers, with half the steps. The
// two walkers step side by side in one register, as NextRow steps each. With Local, a
// small triangle's box is kept in locals: a row's pixel stores through vector types may
// alias anything, so otherwise it goes back to memory after a row and is fetched again for
// the next. That pays for the direct loops' short rows; the wide loops, with more live
// registers, run no faster for it and take more instructions.
template <bool Small, bool Local = false, typename Row>
inline __attribute__((always_inline)) void EachRow(TriangleArgs& t, Row&& row) {
    const std::int64_t x0 = t.x0, x1 = t.x1, y1 = t.y1;
    std::int64_t y = t.y0;
    if constexpr (Small) {
        SmallRows small(t);
        for (; y <= (Local ? y1 : t.y1); ++y) {
            const std::uint32_t inside = small.Next();
            if (inside == 0) continue;
            row(y, (Local ? x0 : t.x0) + __builtin_ctz(inside), (Local ? x0 : t.x0) + 31 - __builtin_clz(inside));
        }
    } else {
        // The two walkers side by side, each as EdgeWalk::NextRow steps it: bound and
        // remainder of the left one, then of the right one, in one register; a remainder
        // that goes negative takes its carry, and its bound one step in.
        __m256i walk = WalkPair(t.left[0], t.right[0]);
        __m256i step = WalkSteps(t.left[0], t.right[0]);
        __m256i carry = WalkCarries(t.left[0], t.right[0]);
        const __m256i zero = _mm256_setzero_si256();
        std::int64_t last = t.middle - 1 < y1 ? t.middle - 1 : y1;
        for (;;) {
            for (; y <= last; ++y) {
                const std::int64_t l = _mm_cvtsi128_si64(_mm256_castsi256_si128(walk));
                const std::int64_t r = _mm_cvtsi128_si64(_mm256_extracti128_si256(walk, 1));
                walk = _mm256_add_epi64(walk, step);
                const __m256i negative =
                    _mm256_permute4x64_epi64(_mm256_cmpgt_epi64(zero, walk), _MM_SHUFFLE(3, 3, 1, 1));
                walk = _mm256_add_epi64(walk, _mm256_and_si256(negative, carry));
                const std::int64_t xs = x0 > l ? x0 : l;
                const std::int64_t xe = x1 < r ? x1 : r;
                if (xs > xe) continue;
                row(y, xs, xe);
            }
            if (y > y1) break;
            // The middle vertex's row: the lower edge from here on, in its side's lanes.
            const __m256i lowerWalk = WalkPair(t.lower, t.lower), lowerStep = WalkSteps(t.lower, t.lower);
            const __m256i lowerCarry = WalkCarries(t.lower, t.lower);
            if (t.lowerLeft) {
                walk = _mm256_blend_epi32(walk, lowerWalk, 0x0F);
                step = _mm256_blend_epi32(step, lowerStep, 0x0F);
                carry = _mm256_blend_epi32(carry, lowerCarry, 0x0F);
            } else {
                walk = _mm256_blend_epi32(walk, lowerWalk, 0xF0);
                step = _mm256_blend_epi32(step, lowerStep, 0xF0);
                carry = _mm256_blend_epi32(carry, lowerCarry, 0xF0);
            }
            last = y1;
        }
    }
}
