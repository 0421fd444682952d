// cargador: reading the game's five data files (grf.dat, fuentes.dat,
// intro.dat, msc.dat, snd.dat) for start-up and the audio layer.
//
// What it promises:
// - A file is loaded only when every object it lists lies whole inside it:
//   a cut-off or foreign file gives null, never a half-built datafile
//   (Allegro's own loader takes a cut-off file for a good one, or crashes
//   on it).
// - What it gives is what Allegro's load_datafile gives for the same file,
//   value for value, properties and nested files included, and is freed
//   the same way, with unload_datafile. Bitmaps come at the colour depth
//   and format set when the file is read.
// - Files may be read ahead on other threads while the program does
//   something else (opens the window); taking one waits for its thread.
//   Every call is made from the main thread.
#pragma once

#include <allegro.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Where the data file `nombre` (a bare name, "grf.dat") is read from, in
// this order: the working folder, when it holds a file of that name (the
// player's own copy, or a folder prepared with the data files); else beside
// the program, in its build's datos/ folder or in its installation's data
// folder, whichever holds it. A name with a folder in it is taken as it is.
// When no place holds it, the bare name.
std::string ruta_dato(const char *nombre);

// The places ruta_dato looks in for `nombre`, comma-separated, to name
// them when the file is not found.
std::string lugares_dato(const char *nombre);

// True when `fichero` is a datafile whose every object lies whole inside
// it. A compressed datafile cannot be walked without unpacking it; it is
// left to the library's loader.
bool datafile_completo(const char *fichero);

// The loader every caller uses: leer_datafile of a file that passes that
// check; null otherwise. A file being read ahead is waited for and taken
// instead. A bare name is looked for as ruta_dato says.
DATAFILE *cargar_datafile(const char *fichero);

// Starts reading the `n` files named (found as ruta_dato says), one after
// another, on a thread of its own, so that cargar_datafile finds them
// read. Bitmaps and fonts are built for the colour depth and format set
// when this is called, so nothing may change those until they are taken;
// with `solo_sonido` a file holding
// anything but samples and raw data is left for cargar_datafile to read.
// A file read ahead and not taken is dropped when it is read ahead again.
// Without a thread to spare the files are simply read when taken.
void adelantar_datafiles(const char *const ficheros[], int n, bool solo_sonido);

// For cargar_datafile: true, with the result, when `fichero` was read
// ahead; false when it must be read now. Either way it is no longer ahead.
bool tomar_adelanto(const char *fichero, DATAFILE **datos);

// Waits for every file still being read ahead and frees what nobody took:
// on a failed start-up, and at exit (registered with atexit on the first
// read ahead).
void soltar_adelantos();

// What load_datafile gives (freed with unload_datafile), read in one go
// and built in plain loops; a file it does not expect is left to
// load_datafile. Null when the file cannot be read or an object in it is
// cut short. It does not run the completeness check: cargar_datafile does.
DATAFILE *leer_datafile(const char *fichero);

// The walk leer_datafile makes first, of a file: null when the file is not
// one it takes (compressed, nested, cut short), `*probar_allegro` then
// saying whether load_datafile should have it.
DATAFILE *recorrer_datafile(const char *fichero, bool solo_sonido, bool *probar_allegro);

// The same walk of a datafile's `n` bytes in memory: null for anything it
// does not take. For a host with no files (the web build).
DATAFILE *leer_datafile_memoria(const uint8_t *datos, size_t n);
