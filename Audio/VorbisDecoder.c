/* The OGG Vorbis decoder (stb_vorbis from the system's stb package), compiled once into
   the audio library as a C unit of its own; SampleDecoder.cpp uses its reading calls. */
#define STB_VORBIS_NO_STDIO 1
#define STB_VORBIS_NO_PUSHDATA_API 1
#include <stb/stb_vorbis.h>
