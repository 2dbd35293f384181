/* SDL_mixer's Ogg Vorbis decoder, built with the push API its own build leaves out. */
#define STB_VORBIS_NO_PULLDATA_API 1
#include <stb_vorbis/stb_vorbis.h>
