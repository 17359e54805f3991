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
        // Column k's value is the first plus k steps: k x step from its bits, by adding.
        const __m256i bit1 = _mm256_setr_epi32(0, -1, 0, -1, 0, -1, 0, -1);
        const __m256i bit2 = _mm256_setr_epi32(0, 0, -1, -1, 0, 0, -1, -1);
        const __m256i bit4 = _mm256_setr_epi32(0, 0, 0, 0, -1, -1, -1, -1);
        for (int i = 0; i < 3; ++i) {
            const __m256i x1 = _mm256_set1_epi32(t.edgeX[i]);
            const __m256i x2 = _mm256_add_epi32(x1, x1);
            const __m256i x4 = _mm256_add_epi32(x2, x2);
            const __m256i steps = _mm256_add_epi32(
                _mm256_add_epi32(_mm256_and_si256(x1, bit1), _mm256_and_si256(x2, bit2)),
                _mm256_and_si256(x4, bit4));
            const __m256i at = _mm256_add_epi32(_mm256_set1_epi32(t.edgeAt[i]), steps);
            edge[i][0] = at;
            edge[i][1] = _mm256_add_epi32(at, _mm256_add_epi32(x4, x4));
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

// Calls row(y, xs, xe) for every row of the triangle that has pixels, its span [xs, xe]
// bounded as TriangleEntry bounds it (the box, then the edge walkers) or by a small
// triangle's edges. With Local, the walk is kept in locals (t's walkers are left as they
// were): a row's pixel stores through vector types may alias anything, so otherwise every
// bound goes back to memory after a row and is fetched again for the next. That pays for
// the direct loops' short rows; the wide loops, with more live registers, run no faster
// for it and take more instructions.
template <bool Small, bool Local = false, typename Row>
inline __attribute__((always_inline)) void EachRow(TriangleArgs& t, Row&& row) {
    SmallRows small;
    if constexpr (Small) small = SmallRows(t);
    EdgeWalk copies[4];
    EdgeWalk* left = t.left;
    EdgeWalk* right = t.right;
    if constexpr (Local && !Small) {
        copies[0] = t.left[0], copies[1] = t.left[1], copies[2] = t.right[0], copies[3] = t.right[1];
        left = copies, right = copies + 2;
    }
    const std::int64_t x0 = t.x0, x1 = t.x1, y1 = t.y1;
    for (std::int64_t y = t.y0; y <= (Local ? y1 : t.y1); ++y) {
        std::int64_t xs, xe;
        if constexpr (Small) {
            const std::uint32_t inside = small.Next();
            if (inside == 0) continue;
            xs = (Local ? x0 : t.x0) + __builtin_ctz(inside);
            xe = (Local ? x0 : t.x0) + 31 - __builtin_clz(inside);
        } else {
            const std::int64_t l = left[0].bound > left[1].bound ? left[0].bound : left[1].bound;
            const std::int64_t r = right[0].bound < right[1].bound ? right[0].bound : right[1].bound;
            const std::int64_t lo = Local ? x0 : t.x0, hi = Local ? x1 : t.x1;
            xs = lo > l ? lo : l;
            xe = hi < r ? hi : r;
            for (int i = 0; i < 2; ++i) left[i].NextRow(true);
            for (int i = 0; i < 2; ++i) right[i].NextRow(false);
            if (xs > xe) continue;
        }
        row(y, xs, xe);
    }
}
