// The Vorbis decoder's calls: stb_vorbis from Debian's libstb-dev, as it comes. The build
// finds its header and names it in CORVANE_STB_VORBIS_H, so that the one header is all of
// the system's include folder a build sees (the Windows builds must see nothing else of
// it). VorbisDecoder.cpp compiles the decoder itself; the streams reach it only after
// OggPages and VorbisHeaders have checked them.
#pragma once

#define STB_VORBIS_NO_STDIO 1
#define STB_VORBIS_NO_PUSHDATA_API 1
#ifndef STB_VORBIS_IMPLEMENTATION_UNIT
#define STB_VORBIS_HEADER_ONLY 1
#endif
#include CORVANE_STB_VORBIS_H
