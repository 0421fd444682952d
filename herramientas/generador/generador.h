// generador: draws every picture and font of the game and writes them as
// Allegro datafiles. Run by the build as `generador <output folder>`.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

// Pixels that a masked picture leaves transparent: pure magenta.
constexpr double MAGENTA_R = 1.0, MAGENTA_G = 0.0, MAGENTA_B = 1.0;

// Size of the tile sheet: 180 tiles of 64 x 64, four to a row.
constexpr int HOJA_ANCHO = 256;
constexpr int HOJA_ALTO = 2880;
constexpr int LOSETA = 64;
constexpr int NUM_LOSETAS = 180;

// Draws the whole tile sheet into `cr`, whose target is an ARGB32 surface of
// HOJA_ANCHO x HOJA_ALTO. Every pixel ends fully opaque; transparent parts
// of masked tiles are opaque magenta.
void dibujar_hoja_losetas(cairo_t *cr);

// Adds a rectangle with corners rounded to radius `r` to the current path.
void rect_redondeado(cairo_t *cr, double x, double y, double w, double h, double r);

// ---- Allegro 4 datafiles (datafile.cpp) ----

// Allegro's four-letter type ids, as stored big-endian in the file.
constexpr uint32_t id_dat(char a, char b, char c, char d)
{
    return (uint32_t(uint8_t(a)) << 24) | (uint32_t(uint8_t(b)) << 16) |
           (uint32_t(uint8_t(c)) << 8) | uint32_t(uint8_t(d));
}
constexpr uint32_t DAT_ID_BITMAP = id_dat('B', 'M', 'P', ' ');
constexpr uint32_t DAT_ID_FUENTE = id_dat('F', 'O', 'N', 'T');
constexpr uint32_t DAT_ID_SAMPLE = id_dat('S', 'A', 'M', 'P');
// Raw bytes the game reads in place (the music modules).
constexpr uint32_t DAT_ID_DATOS = id_dat('D', 'A', 'T', 'A');

// One object of a datafile: its type, its name (stored as the NAME
// property, which `dat -l` shows) and its already encoded contents.
struct ObjetoDat {
    uint32_t tipo;
    std::string nombre;
    std::vector<uint8_t> datos;
};

// A glyph of a truecolour font range: red, green, blue bytes a pixel, row
// after row; magenta pixels are transparent.
struct Glifo {
    int ancho = 0, alto = 0;
    std::vector<uint8_t> rgb;
};

// A range of consecutive characters, primero..ultimo inclusive, with one
// glyph for each.
struct RangoFuente {
    uint32_t primero = 0, ultimo = 0;
    std::vector<Glifo> glifos;
};

// Contents of a "BMP " object at 32 bits per pixel from an ARGB32 surface.
// Alpha is dropped: every pixel of our pictures is opaque.
std::vector<uint8_t> codificar_bitmap(cairo_surface_t *superficie);

// Contents of a "FONT" object made of 24-bit truecolour ranges.
std::vector<uint8_t> codificar_fuente(const std::vector<RangoFuente> &rangos);

// Contents of a "SAMP" object: mono 16-bit samples at `frecuencia` Hz.
// (A "DATA" object's contents are just its bytes.)
std::vector<uint8_t> codificar_sample(const std::vector<int16_t> &datos, int frecuencia);

// Writes an uncompressed datafile with `objetos` in order. On failure
// returns false and explains why in `error`.
bool escribir_datafile(const std::string &ruta,
                       const std::vector<ObjetoDat> &objetos,
                       std::string &error);

// ---- Pictures (dibujos.cpp) ----

// A new ARGB32 surface, fully transparent. Aborts on allocation failure,
// which in a build tool is not worth recovering from.
cairo_surface_t *nueva_superficie(int ancho, int alto);

// Turns a picture drawn over transparency into a masked one: pixels less
// than half covered become magenta, the rest opaque in their own colour.
void aplicar_mascara(cairo_surface_t *superficie);

// Nudges every opaque colour that 16-bit 5-6-5 would fold into the mask
// colour (r >= 248, g < 4, b >= 248), leaving pure magenta alone.
void apartar_de_magenta(cairo_surface_t *superficie);

// A copy of a rectangle of `origen`.
cairo_surface_t *recortar(cairo_surface_t *origen, int x, int y, int ancho, int alto);

// The board frame as one 1024 x 640 picture with the board hole; the four
// strips of grf.dat are cut from it so they always join.
constexpr int PANTALLA_ANCHO = 1024, PANTALLA_ALTO = 640, MARCO = 32;
cairo_surface_t *dibujar_marco();

constexpr int LOGO_ANCHO = 788, LOGO_ALTO = 150;
cairo_surface_t *dibujar_logo(cairo_font_face_t *cara);

constexpr int FIN_ANCHO = 620, FIN_ALTO = 180;
cairo_surface_t *dibujar_fin_partida();

constexpr int PUNTERO_LADO = 32;
cairo_surface_t *dibujar_puntero();

constexpr int BOTON_ANCHO = 192, BOTON_ALTO = 56;
enum EstadoBoton { BOTON_REPOSO, BOTON_ENCIMA, BOTON_PULSADO };
cairo_surface_t *dibujar_boton(EstadoBoton estado);

// ---- Fonts (fuentes.cpp) ----

// DejaVu Sans Bold from FUENTE_TTF, for the fonts and the logo. Null on
// failure, with the reason in `error`. Lives until the program ends.
cairo_font_face_t *abrir_cara_fuente(std::string &error);

// The two fonts of fuentes.dat: 0 for button captions, 1 for text.
constexpr int NUM_FUENTES = 2;
struct FuenteGenerada {
    int alto = 0;
    std::vector<RangoFuente> rangos;
};
FuenteGenerada rasterizar_fuente(cairo_font_face_t *cara, int indice);

// Draws `texto` (ISO 8859-1 bytes) with a generated font onto an image
// surface with its top-left corner at (x, y), the way Allegro's textout_ex
// with transparent background would; for the review pictures. Returns the
// width drawn.
int dibujar_texto(cairo_surface_t *destino, const FuenteGenerada &fuente,
                  const char *texto, int x, int y);
int ancho_texto(const FuenteGenerada &fuente, const char *texto);

// ---- The desktop icon (icono.cpp) ----

// Sizes of the icon in pixels, each drawn for its size.
constexpr int TAMANOS_ICONO[] = {48, 128, 256};

// The icon at `lado` x `lado` pixels, over transparency.
cairo_surface_t *dibujar_icono(int lado);

// The level editor's icon: the game's, with a pencil across it.
cairo_surface_t *dibujar_icono_editor(int lado);

// Writes fotonauta-<size>.png and fotonauta-editor-<size>.png for every
// size into `carpeta` (ending in '/'). On failure returns false and
// explains why in `error`.
bool generar_iconos(const std::string &carpeta, std::string &error);
