// Music and sound effects. Stand-ins until the sound output is built: the
// game runs silently.
#include "audio/audio.h"

void ini_audio()
{
}

void fin_audio()
{
}
