// A greedy, linear-time triangle reorder for the vertex cache, after Tom Forsyth's
// published "Linear-Speed Vertex Cache Optimisation". Every vertex gets a score from
// where it sits in a simulated 32-entry LRU cache (the three of the last triangle a fixed
// value, older entries less the deeper they sit) and from how many of its triangles are
// still to be drawn (few left: draw them soon, so the vertex can leave the cache for
// good). A triangle scores the sum of its vertices. After each triangle only the vertices
// in the cache change score, so the next triangle is the best one among theirs; when none
// is left there, a cursor walks the faces in order to the next one not drawn yet. Each
// triangle is scored a bounded number of times, so the whole pass is linear in the faces.
//
// The real library's order is its own; this one only promises a permutation that keeps
// the cache busy (about 0.6 misses per triangle on a regular grid).
#include "D3dx9VertexCache.h"

#include <math.h>
#include <memory>
#include <new>

namespace {

constexpr int kCacheSize = 32;
constexpr float kLastTriangleScore = 0.75f;
constexpr float kCacheDecayPower = 1.5f;
constexpr float kValenceBoostScale = 2.0f;
constexpr float kValenceBoostPower = 0.5f;
constexpr int kValenceTable = 64;  // valences above share the last entry's boost
constexpr uint32_t kNone = 0xFFFFFFFFu;

struct ScoreTables {
    float cache[kCacheSize];
    float valence[kValenceTable];
    ScoreTables() {
        for (int i = 0; i < kCacheSize; ++i) {
            if (i < 3) {
                cache[i] = kLastTriangleScore;
            } else {
                const float scale = 1.0f / (kCacheSize - 3);
                cache[i] = powf(1.0f - (i - 3) * scale, kCacheDecayPower);
            }
        }
        valence[0] = 0.0f;
        for (int i = 1; i < kValenceTable; ++i) valence[i] = kValenceBoostScale * powf(float(i), -kValenceBoostPower);
    }
};

const ScoreTables& Tables() {
    static const ScoreTables tables;
    return tables;
}

template <class T>
std::unique_ptr<T[]> Make(uint64_t n) {
    return std::unique_ptr<T[]>(new (std::nothrow) T[n ? n : 1]());
}

}  // namespace

bool OrderFacesForVertexCache(const uint32_t* indices, uint32_t faceCount, uint32_t vertexCount, uint32_t* order) {
    if (faceCount == 0) return true;
    const ScoreTables& tables = Tables();

    // The distinct corners of each face: a degenerate face uses a vertex once.
    auto corners = Make<uint32_t>(uint64_t(faceCount) * 3);
    auto cornerCount = Make<uint8_t>(faceCount);
    auto live = Make<uint32_t>(vertexCount);  // faces not drawn yet, per vertex
    auto offset = Make<uint32_t>(uint64_t(vertexCount) + 1);
    auto faces = Make<uint32_t>(uint64_t(faceCount) * 3);
    auto cachePos = Make<int8_t>(vertexCount);
    auto vertexScore = Make<float>(vertexCount);
    auto faceScore = Make<float>(faceCount);
    auto drawn = Make<uint8_t>(faceCount);
    if (!corners || !cornerCount || !live || !offset || !faces || !cachePos || !vertexScore || !faceScore || !drawn)
        return false;

    for (uint32_t f = 0; f < faceCount; ++f) {
        uint8_t n = 0;
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = indices[3 * f + k];
            bool seen = false;
            for (uint8_t j = 0; j < n; ++j) seen = seen || corners[3 * f + j] == v;
            if (seen) continue;
            corners[3 * f + n++] = v;
            ++live[v];
        }
        cornerCount[f] = n;
    }
    // Each vertex's faces in one shared list: faces[offset[v] .. offset[v] + live[v]) are
    // the ones still to be drawn, kept in front by swapping drawn ones out.
    uint32_t sum = 0;
    for (uint32_t v = 0; v < vertexCount; ++v) {
        offset[v] = sum;
        sum += live[v];
    }
    offset[vertexCount] = sum;
    {
        auto fill = Make<uint32_t>(vertexCount);
        if (!fill) return false;
        for (uint32_t f = 0; f < faceCount; ++f)
            for (uint8_t j = 0; j < cornerCount[f]; ++j) {
                const uint32_t v = corners[3 * f + j];
                faces[offset[v] + fill[v]++] = f;
            }
    }

    auto score = [&](uint32_t v) -> float {
        const uint32_t left = live[v];
        if (left == 0) return -1.0f;
        float s = cachePos[v] >= 0 ? tables.cache[cachePos[v]] : 0.0f;
        s += tables.valence[left < uint32_t(kValenceTable) ? left : kValenceTable - 1];
        return s;
    };
    auto faceTotal = [&](uint32_t f) {
        float s = 0.0f;
        for (uint8_t j = 0; j < cornerCount[f]; ++j) s += vertexScore[corners[3 * f + j]];
        return s;
    };

    for (uint32_t v = 0; v < vertexCount; ++v) {
        cachePos[v] = -1;
        vertexScore[v] = score(v);
    }
    uint32_t best = 0;
    for (uint32_t f = 0; f < faceCount; ++f) {
        faceScore[f] = faceTotal(f);
        if (faceScore[f] > faceScore[best]) best = f;
    }

    uint32_t cache[kCacheSize + 3];
    int cacheUsed = 0;
    uint32_t cursor = 0;
    for (uint32_t n = 0; n < faceCount; ++n) {
        if (best == kNone) {
            while (drawn[cursor]) ++cursor;
            best = cursor;
        }
        order[n] = best;
        drawn[best] = 1;
        for (uint8_t j = 0; j < cornerCount[best]; ++j) {
            const uint32_t v = corners[3 * best + j];
            uint32_t* list = faces.get() + offset[v];
            for (uint32_t i = 0; i < live[v]; ++i)
                if (list[i] == best) {
                    list[i] = list[live[v] - 1];
                    list[live[v] - 1] = best;
                    break;
                }
            --live[v];
        }

        // The new cache: this face's vertices first, then the old entries in their order.
        uint32_t next[kCacheSize + 3];
        int used = 0;
        for (uint8_t j = 0; j < cornerCount[best]; ++j) next[used++] = corners[3 * best + j];
        for (int i = 0; i < cacheUsed; ++i) {
            const uint32_t v = cache[i];
            bool inFace = false;
            for (uint8_t j = 0; j < cornerCount[best]; ++j) inFace = inFace || corners[3 * best + j] == v;
            if (!inFace) next[used++] = v;
        }
        for (int i = 0; i < used; ++i) {
            const uint32_t v = next[i];
            cachePos[v] = static_cast<int8_t>(i < kCacheSize ? i : -1);
            vertexScore[v] = score(v);
            for (uint32_t k = 0; k < live[v]; ++k) {
                const uint32_t f = faces[offset[v] + k];
                faceScore[f] = faceTotal(f);
            }
        }
        // The vertices pushed out of the cache changed score too, but their faces are
        // only candidates again through a vertex still in the cache.
        best = kNone;
        float bestScore = -1.0f;
        cacheUsed = used < kCacheSize ? used : kCacheSize;
        for (int i = 0; i < cacheUsed; ++i) {
            const uint32_t v = next[i];
            cache[i] = v;
            for (uint32_t k = 0; k < live[v]; ++k) {
                const uint32_t f = faces[offset[v] + k];
                if (faceScore[f] > bestScore) {
                    bestScore = faceScore[f];
                    best = f;
                }
            }
        }
    }
    return true;
}
