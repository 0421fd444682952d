// audio: music and sound effects.
#pragma once

#include <cstdint>

// Starts the sound output and loads msc.dat and snd.dat.
void ini_audio();

// Stops everything and frees what ini_audio loaded.
void fin_audio();
