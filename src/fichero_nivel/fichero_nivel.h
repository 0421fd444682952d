// Level files on disk, read and written through the level format's text
// form. The rules themselves touch no file system; this is what stands
// between them and one.
#pragma once

#include <string>

#include "nucleo/nucleo.h"

// Reads a level file; the message of a failure starts with the path.
bool leer_nivel_texto(const std::string &ruta, nivel_texto &nivel, std::string &error);

// Writes a level file through a new file renamed over the old one, so a
// failed write leaves the old file whole. On failure returns false with a
// message.
bool guardar_nivel_texto(const std::string &ruta, const nivel_texto &nivel, std::string &error);
