// Music and sound effects. Stand-ins until the sound output is built: the
// game runs silently.
#include "audio/audio.h"

void ini_audio()
{
}

void fin_audio()
{
}

int8_t reproducir_sonido(int8_t, int8_t)
{
  return -1;
}
