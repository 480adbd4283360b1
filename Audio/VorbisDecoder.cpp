// The OGG Vorbis decoder (stb_vorbis, our checked copy in ThirdParty/), compiled once into
// the audio library in a unit of its own; SampleDecoder.cpp uses its reading calls. It is
// compiled as C++20, where shifting a negative value left is defined: the decoder does so
// when a damaged packet runs out, which C leaves undefined.
#define STB_VORBIS_NO_STDIO 1
#define STB_VORBIS_NO_PUSHDATA_API 1
#include <stb/stb_vorbis.h>
