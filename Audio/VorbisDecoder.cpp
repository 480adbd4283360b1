// The Vorbis decoder, compiled once into the audio library in a unit of its own. It is
// compiled as C++20, where shifting a negative value left is defined: the decoder does so
// when a damaged packet runs out, which C leaves undefined. GCC's flow analysis cannot see
// that the decoder fills a page header before reading it, and says it may not: the header
// is not ours to change, so the warning is silenced for this unit alone.
#define STB_VORBIS_IMPLEMENTATION_UNIT 1
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include "StbVorbis.h"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
