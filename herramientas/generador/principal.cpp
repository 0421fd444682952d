// generador <output folder>: draws every picture and font of the game,
// writes grf.dat and fuentes.dat, and beside them PNGs to review the art;
// then makes the sound and the intro: snd.dat, msc.dat and intro.dat.
// `generador --icono <output folder>` draws only the desktop icon.
#include "generador.h"
#include "sonido.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct Pieza {
    const char *nombre; // object name inside grf.dat
    const char *png;    // review picture
    cairo_surface_t *superficie;
};

bool guardar_png(cairo_surface_t *s, const std::string &ruta, std::string &error)
{
    const cairo_status_t st = cairo_surface_write_to_png(s, ruta.c_str());
    if (st != CAIRO_STATUS_SUCCESS) {
        error = "cannot write " + ruta + ": " + cairo_status_to_string(st);
        return false;
    }
    return true;
}

uint32_t *fila(cairo_surface_t *s, int y)
{
    return reinterpret_cast<uint32_t *>(cairo_image_surface_get_data(s) +
                                        size_t(y) * size_t(cairo_image_surface_get_stride(s)));
}

// Pixels of the tile sheet that are not fully opaque: the datafile keeps no
// alpha, so they would come out darkened.
long contar_traslucidos(cairo_surface_t *s)
{
    cairo_surface_flush(s);
    long n = 0;
    for (int y = 0; y < cairo_image_surface_get_height(s); ++y)
        for (int x = 0; x < cairo_image_surface_get_width(s); ++x)
            n += (fila(s, y)[x] >> 24) != 0xFF;
    return n;
}

// The logo for the score server's web page: the picture with its magenta
// mask turned transparent.
bool guardar_logo_web(cairo_surface_t *logo, const std::string &ruta, std::string &error)
{
    cairo_surface_flush(logo);
    const int ancho = cairo_image_surface_get_width(logo), alto = cairo_image_surface_get_height(logo);
    cairo_surface_t *web = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, ancho, alto);
    for (int y = 0; y < alto; ++y)
        for (int x = 0; x < ancho; ++x) {
            const uint32_t p = fila(logo, y)[x];
            fila(web, y)[x] = (p & 0x00FFFFFFu) == 0x00FF00FFu ? 0u : p;
        }
    cairo_surface_mark_dirty(web);
    const bool ok = guardar_png(web, ruta, error);
    cairo_surface_destroy(web);
    return ok;
}

// The tiles for the score server, which draws the boards of the levels
// players publish with no graphics library: each tile's 64 x 64 RGB
// pixels, row by row, one tile after another in the game's order, packed
// with zlib.
bool guardar_losetas_web(cairo_surface_t *hoja, const std::string &ruta, std::string &error)
{
    cairo_surface_flush(hoja);
    std::vector<unsigned char> rgb;
    rgb.reserve(size_t(NUM_LOSETAS) * LOSETA * LOSETA * 3);
    constexpr int POR_FILA = HOJA_ANCHO / LOSETA;
    for (int t = 0; t < NUM_LOSETAS; ++t)
        for (int y = 0; y < LOSETA; ++y)
            for (int x = 0; x < LOSETA; ++x) {
                const uint32_t p = fila(hoja, (t / POR_FILA) * LOSETA + y)[(t % POR_FILA) * LOSETA + x];
                rgb.push_back(static_cast<unsigned char>(p >> 16));
                rgb.push_back(static_cast<unsigned char>(p >> 8));
                rgb.push_back(static_cast<unsigned char>(p));
            }
    uLongf largo = compressBound(rgb.size());
    std::vector<unsigned char> comprimido(largo);
    if (compress2(comprimido.data(), &largo, rgb.data(), rgb.size(), Z_BEST_COMPRESSION) != Z_OK) {
        error = "cannot pack the tiles for " + ruta;
        return false;
    }
    FILE *f = std::fopen(ruta.c_str(), "wb");
    const bool bien = f != nullptr && std::fwrite(comprimido.data(), 1, largo, f) == largo;
    if (f == nullptr || std::fclose(f) != 0 || !bien) {
        error = "cannot write " + ruta;
        return false;
    }
    return true;
}

// Copies `origen` onto `destino` at (x, y); magenta pixels are skipped, or
// shown as a checkerboard when `tablero` is set.
void pegar(cairo_surface_t *destino, cairo_surface_t *origen, int ox, int oy, int x, int y,
           int ancho, int alto, bool tablero)
{
    cairo_surface_flush(destino);
    cairo_surface_flush(origen);
    const int dw = cairo_image_surface_get_width(destino), dh = cairo_image_surface_get_height(destino);
    for (int j = 0; j < alto; ++j) {
        for (int i = 0; i < ancho; ++i) {
            const int dx = x + i, dy = y + j;
            if (dx < 0 || dy < 0 || dx >= dw || dy >= dh)
                continue;
            uint32_t p = fila(origen, oy + j)[ox + i];
            if ((p | 0xFF000000u) == 0xFFFF00FFu) {
                if (!tablero)
                    continue;
                p = ((i / 8 + j / 8) % 2) ? 0xFF9A9A9Au : 0xFFC8C8C8u;
            }
            fila(destino, dy)[dx] = p | 0xFF000000u;
        }
    }
    cairo_surface_mark_dirty(destino);
}

void pegar_todo(cairo_surface_t *destino, cairo_surface_t *origen, int x, int y)
{
    pegar(destino, origen, 0, 0, x, y, cairo_image_surface_get_width(origen),
          cairo_image_surface_get_height(origen), false);
}

void rotulo(cairo_t *cr, cairo_font_face_t *cara, double tam, double x, double y, const char *texto)
{
    cairo_set_font_face(cr, cara);
    cairo_set_font_size(cr, tam);
    cairo_text_extents_t e;
    cairo_text_extents(cr, texto, &e);
    cairo_move_to(cr, x - e.x_advance / 2, y);
    cairo_show_text(cr, texto);
}

// All 180 tiles with their numbers, magenta shown as a checkerboard.
cairo_surface_t *hoja_de_contactos(cairo_surface_t *hoja, cairo_font_face_t *cara)
{
    constexpr int COLUMNAS = 12, CELDA_X = LOSETA + 12, CELDA_Y = LOSETA + 22;
    const int filas = (NUM_LOSETAS + COLUMNAS - 1) / COLUMNAS;
    cairo_surface_t *s = nueva_superficie(COLUMNAS * CELDA_X + 12, filas * CELDA_Y + 12);
    cairo_t *cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
    cairo_paint(cr);
    for (int n = 0; n < NUM_LOSETAS; ++n) {
        const int x = 12 + (n % COLUMNAS) * CELDA_X, y = 12 + (n / COLUMNAS) * CELDA_Y;
        pegar(s, hoja, (n % 4) * LOSETA, (n / 4) * LOSETA, x, y, LOSETA, LOSETA, true);
        char numero[8];
        std::snprintf(numero, sizeof numero, "%d", n);
        cairo_set_source_rgb(cr, 1, 1, 1);
        rotulo(cr, cara, 12, x + LOSETA / 2.0, y + LOSETA + 14, numero);
    }
    cairo_destroy(cr);
    return s;
}

// Every glyph of a font on the dark backdrop, and some sample lines.
cairo_surface_t *muestra_fuente(const FuenteGenerada &f, cairo_font_face_t *cara)
{
    int ancho_max = 0;
    for (const RangoFuente &r : f.rangos)
        for (const Glifo &g : r.glifos)
            ancho_max = std::max(ancho_max, g.ancho);
    const int celda_x = ancho_max + 10, celda_y = f.alto + 18;
    const int filas = (95 + 15) / 16 + (96 + 15) / 16;
    const char *muestras[] = {
        "Espa\xF1ol   Trainer   English",
        "\xA1" "Bien hecho! \xBFOtra vez? Ping\xFCino, a\xF1o, cami\xF3n.",
        "\xE1\xE9\xED\xF3\xFA\xF1\xFC \xC1\xC9\xCD\xD3\xDA\xD1\xDC \xA1\xBF \xAB\xBB \xA9 0123456789",
    };
    const int ancho = std::max(16 * celda_x + 20, ancho_texto(f, muestras[1]) + 40);
    cairo_surface_t *s = nueva_superficie(ancho, filas * celda_y + 3 * (f.alto + 10) + 40);
    cairo_t *cr = cairo_create(s);
    cairo_set_source_rgb(cr, 0.08, 0.10, 0.12);
    cairo_paint(cr);
    int fila_actual = 0;
    for (const RangoFuente &r : f.rangos) {
        for (uint32_t c = r.primero; c <= r.ultimo; ++c) {
            const int i = int(c - r.primero);
            const int x = 10 + (i % 16) * celda_x, y = 10 + (fila_actual + i / 16) * celda_y;
            cairo_rectangle(cr, x - 0.5, y - 0.5, r.glifos[size_t(i)].ancho + 1, f.alto + 1);
            cairo_set_source_rgb(cr, 0.18, 0.22, 0.25);
            cairo_set_line_width(cr, 1);
            cairo_stroke(cr);
            cairo_surface_flush(s);
            const char texto[2] = {char(c), 0};
            dibujar_texto(s, f, texto, x, y);
            char codigo[8];
            std::snprintf(codigo, sizeof codigo, "%u", c);
            cairo_set_source_rgb(cr, 0.5, 0.55, 0.6);
            rotulo(cr, cara, 9, x + ancho_max / 2.0, y + f.alto + 11, codigo);
        }
        fila_actual += int(r.ultimo - r.primero) / 16 + 1;
    }
    cairo_surface_flush(s);
    int y = 10 + fila_actual * celda_y + 10;
    for (const char *m : muestras) {
        dibujar_texto(s, f, m, 20, y);
        y += f.alto + 10;
    }
    cairo_destroy(cr);
    return s;
}

// A mock of the screens, to judge the pieces together.
cairo_surface_t *vista(const std::vector<Pieza> &piezas, const FuenteGenerada fuentes[])
{
    cairo_surface_t *s = nueva_superficie(PANTALLA_ANCHO * 2 + 16, PANTALLA_ALTO);
    cairo_t *cr = cairo_create(s);
    // Left: the title screen on a dark particle backdrop.
    cairo_set_source_rgb(cr, 0.03, 0.04, 0.06);
    cairo_paint(cr);
    uint32_t semilla = 99;
    for (int i = 0; i < 400; ++i) {
        semilla = semilla * 1664525u + 1013904223u;
        const double x = (semilla >> 8) % PANTALLA_ANCHO;
        semilla = semilla * 1664525u + 1013904223u;
        const double y = (semilla >> 8) % PANTALLA_ALTO;
        const double b = 0.2 + 0.6 * ((semilla >> 4) % 100) / 100.0;
        cairo_set_source_rgb(cr, b * 0.6, b * 0.9, b);
        cairo_rectangle(cr, x, y, 2, 2);
        cairo_fill(cr);
    }
    cairo_surface_flush(s);
    pegar_todo(s, piezas[4].superficie, (PANTALLA_ANCHO - LOGO_ANCHO) / 2, 40);
    const char *botones[] = {"Espa\xF1ol", "Trainer", "English"};
    for (int i = 0; i < 3; ++i) {
        const int x = (PANTALLA_ANCHO - BOTON_ANCHO) / 2, y = 250 + i * 80;
        pegar_todo(s, piezas[size_t(7 + i)].superficie, x, y);
        const int w = ancho_texto(fuentes[0], botones[i]);
        dibujar_texto(s, fuentes[0], botones[i], x + (BOTON_ANCHO - w) / 2, y + (BOTON_ALTO - fuentes[0].alto) / 2);
    }
    dibujar_texto(s, fuentes[1], "\xA1" "Fotones en camino! \xBFPreparado?", 120, 500);
    dibujar_texto(s, fuentes[1], "Nivel 7   Puntos 12 480", 120, 564);
    pegar_todo(s, piezas[6].superficie, 600 + 40, 280 + 40);

    // Right: the board in its frame, washed grey, with the game-over picture.
    const int dx = PANTALLA_ANCHO + 16;
    pegar_todo(s, piezas[0].superficie, dx, 0);
    pegar_todo(s, piezas[1].superficie, dx, 608);
    pegar_todo(s, piezas[2].superficie, dx, 32);
    pegar_todo(s, piezas[3].superficie, dx + 992, 32);
    for (int ty = 0; ty < 9; ++ty)
        for (int tx = 0; tx < 15; ++tx)
            pegar(s, piezas[10].superficie, 0, 0, dx + MARCO + tx * LOSETA, MARCO + ty * LOSETA, LOSETA, LOSETA, true);
    dibujar_texto(s, fuentes[1], "Nivel 7", dx + 64, 64);
    for (int y = MARCO; y < PANTALLA_ALTO - MARCO; ++y) {
        uint32_t *f = fila(s, y);
        for (int x = dx + MARCO; x < dx + PANTALLA_ANCHO - MARCO; ++x) {
            const uint32_t p = f[x];
            const uint32_t l = (((p >> 16) & 0xFF) * 3 + ((p >> 8) & 0xFF) * 6 + (p & 0xFF)) / 10;
            const uint32_t v = 60 + l / 2;
            f[x] = 0xFF000000u | (v << 16) | (v << 8) | v;
        }
    }
    cairo_surface_mark_dirty(s);
    pegar_todo(s, piezas[5].superficie, dx + (PANTALLA_ANCHO - FIN_ANCHO) / 2, 289);
    cairo_destroy(cr);
    return s;
}

int fallar(const std::string &error)
{
    std::fprintf(stderr, "generador: %s\n", error.c_str());
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::string(argv[1]) == "--icono") {
        std::string error;
        return generar_iconos(std::string(argv[2]) + "/", error) ? 0 : fallar(error);
    }
    if (argc != 2) {
        std::fprintf(stderr, "usage: generador <output folder>\n"
                             "       generador --icono <output folder>\n");
        return 2;
    }
    const std::string carpeta = std::string(argv[1]) + "/";
    std::string error;

    cairo_font_face_t *cara = abrir_cara_fuente(error);
    if (!cara)
        return fallar(error);

    cairo_surface_t *hoja = nueva_superficie(HOJA_ANCHO, HOJA_ALTO);
    {
        cairo_t *cr = cairo_create(hoja);
        dibujar_hoja_losetas(cr);
        const cairo_status_t st = cairo_status(cr);
        cairo_destroy(cr);
        if (st != CAIRO_STATUS_SUCCESS)
            return fallar(std::string("drawing the tile sheet: ") + cairo_status_to_string(st));
    }
    if (const long n = contar_traslucidos(hoja))
        std::fprintf(stderr, "generador: warning: %ld pixels of the tile sheet are not opaque\n", n);

    cairo_surface_t *marco = dibujar_marco();
    constexpr size_t GRF_LOGO_WEB = 4;
    // In the order of grf.dat; the game refers to them by index.
    const std::vector<Pieza> piezas = {
        {"BORDE_ARRIBA", "borde0.png", recortar(marco, 0, 0, PANTALLA_ANCHO, MARCO)},
        {"BORDE_ABAJO", "borde1.png", recortar(marco, 0, PANTALLA_ALTO - MARCO, PANTALLA_ANCHO, MARCO)},
        {"BORDE_IZQUIERDA", "borde2.png", recortar(marco, 0, MARCO, MARCO, PANTALLA_ALTO - 2 * MARCO)},
        {"BORDE_DERECHA", "borde3.png",
         recortar(marco, PANTALLA_ANCHO - MARCO, MARCO, MARCO, PANTALLA_ALTO - 2 * MARCO)},
        {"LOGO", "logo.png", dibujar_logo(cara)},
        {"FIN_PARTIDA", "fin_partida.png", dibujar_fin_partida()},
        {"PUNTERO", "puntero.png", dibujar_puntero()},
        {"BOTON", "boton_reposo.png", dibujar_boton(BOTON_REPOSO)},
        {"BOTON_ENCIMA", "boton_encima.png", dibujar_boton(BOTON_ENCIMA)},
        {"BOTON_PULSADO", "boton_pulsado.png", dibujar_boton(BOTON_PULSADO)},
        {"LOSETAS", "hoja_losetas.png", hoja},
    };
    cairo_surface_destroy(marco);

    std::vector<ObjetoDat> graficos;
    for (const Pieza &p : piezas) {
        graficos.push_back({DAT_ID_BITMAP, p.nombre, codificar_bitmap(p.superficie)});
        if (!guardar_png(p.superficie, carpeta + p.png, error))
            return fallar(error);
    }
    if (!guardar_logo_web(piezas[GRF_LOGO_WEB].superficie, carpeta + "logo_web.png", error) ||
        !guardar_losetas_web(hoja, carpeta + "losetas_web.bin", error))
        return fallar(error);

    FuenteGenerada fuentes[NUM_FUENTES];
    std::vector<ObjetoDat> objetos_fuentes;
    const char *nombres_fuentes[NUM_FUENTES] = {"FUENTE_BOTONES", "FUENTE_TEXTO"};
    for (int i = 0; i < NUM_FUENTES; ++i) {
        fuentes[i] = rasterizar_fuente(cara, i);
        objetos_fuentes.push_back({DAT_ID_FUENTE, nombres_fuentes[i], codificar_fuente(fuentes[i].rangos)});
        cairo_surface_t *m = muestra_fuente(fuentes[i], cara);
        const bool ok = guardar_png(m, carpeta + "fuente" + std::to_string(i) + ".png", error);
        cairo_surface_destroy(m);
        if (!ok)
            return fallar(error);
    }

    cairo_surface_t *contactos = hoja_de_contactos(hoja, cara);
    cairo_surface_t *mock = vista(piezas, fuentes);
    const bool ok = guardar_png(contactos, carpeta + "losetas.png", error) &&
                    guardar_png(mock, carpeta + "vista.png", error);
    cairo_surface_destroy(contactos);
    cairo_surface_destroy(mock);
    if (!ok)
        return fallar(error);

    if (!escribir_datafile(carpeta + "grf.dat", graficos, error) ||
        !escribir_datafile(carpeta + "fuentes.dat", objetos_fuentes, error))
        return fallar(error);

    if (!generar_efectos(carpeta, error) || !generar_musica(PARTITURAS_DIR, carpeta, error) ||
        !generar_intro(cara, carpeta, error))
        return fallar(error);

    for (const Pieza &p : piezas)
        cairo_surface_destroy(p.superficie);
    return 0;
}
