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

// Calls row(y, xs, xe) for every row of the triangle that has pixels, its span [xs, xe]
// bounded as TriangleEntry bounds it (the box, then the edges) or by a small triangle's
// edges. Rows above the middle vertex walk the two edges from the top vertex, the rest
// the lower edge in place of the one it meets (see TriangleArgs): each row's bounds are
// those of all four walkers, with half the steps. With Local, the walk is kept in locals
// (t's walkers are left as they were): a row's pixel stores through vector types may alias
// anything, so otherwise every bound goes back to memory after a row and is fetched again
// for the next. That pays for the direct loops' short rows; the wide loops, with more live
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
        EdgeWalk copies[2];
        EdgeWalk* left = &t.left[0];
        EdgeWalk* right = &t.right[0];
        if constexpr (Local) {
            copies[0] = t.left[0], copies[1] = t.right[0];
            left = copies, right = copies + 1;
        }
        const std::int64_t middle = t.middle;
        std::int64_t last = middle - 1 < y1 ? middle - 1 : y1;
        for (;;) {
            for (; y <= last; ++y) {
                const std::int64_t lo = Local ? x0 : t.x0, hi = Local ? x1 : t.x1;
                const std::int64_t xs = lo > left->bound ? lo : left->bound;
                const std::int64_t xe = hi < right->bound ? hi : right->bound;
                left->NextRow(true);
                right->NextRow(false);
                if (xs > xe) continue;
                row(y, xs, xe);
            }
            if (y > y1) break;
            // The middle vertex's row: the lower edge from here on.
            if constexpr (Local) {
                if (t.lowerLeft) copies[0] = t.lower;
                else copies[1] = t.lower;
            } else if (t.lowerLeft) {
                left = &t.lower;
            } else {
                right = &t.lower;
            }
            last = y1;
        }
    }
}
