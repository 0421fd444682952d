// The game's two colour fonts, rasterised from a TrueType file with Cairo.
//
// Allegro 4.4 reads truecolour font ranges from a datafile and converts
// them to the colour depth in force at load, keeping magenta as the
// transparent colour, so the glyphs carry their own fill gradient and
// outline. (8-bit colour ranges would go through palette_color, which is
// black until a graphics mode is set; monochrome ranges cannot be outlined.)
#include "generador.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

struct Color {
    double r, g, b;
};

struct EstiloFuente {
    int alto;             // cell height, the font height Allegro reports
    double borde;         // outline width outside the letter shapes
    double sombra;        // drop shadow offset, down (and half of it right)
    Color relleno_arriba; // fill gradient, top of the letters...
    Color relleno_abajo;  // ...to the baseline
    Color contorno;
};

// Warm light letters with a dark outline read on the dark backdrop, on the
// metal buttons and on the floor tiles alike.
constexpr EstiloFuente ESTILOS[NUM_FUENTES] = {
    {21, 1.4, 1.0, {1.00, 0.98, 0.88}, {0.98, 0.74, 0.30}, {0.05, 0.04, 0.03}},
    {32, 2.2, 1.5, {1.00, 0.98, 0.88}, {0.96, 0.70, 0.26}, {0.05, 0.04, 0.03}},
};

// Printable ASCII and the printable half of ISO 8859-1, which holds every
// letter Spanish needs.
struct Tramo {
    uint32_t primero, ultimo;
};
constexpr Tramo TRAMOS[] = {{32, 126}, {160, 255}};

FT_Library biblioteca_ft = nullptr;
FT_Face cara_ft = nullptr;
cairo_font_face_t *cara_cairo = nullptr;

// UTF-8 for one Latin-1 character; its code point is its byte value.
std::string utf8(uint32_t c)
{
    std::string s;
    if (c < 0x80) {
        s += char(c);
    } else {
        s += char(0xC0 | (c >> 6));
        s += char(0x80 | (c & 0x3F));
    }
    return s;
}

void elegir_cara(cairo_t *cr, cairo_font_face_t *cara, double tamano)
{
    cairo_set_font_face(cr, cara);
    cairo_set_font_size(cr, tamano);
    cairo_font_options_t *op = cairo_font_options_create();
    cairo_font_options_set_antialias(op, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(op, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(op, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, op);
    cairo_font_options_destroy(op);
}

// How far the ink of the whole character set reaches above and below the
// baseline, per unit of font size.
void medir_tinta(cairo_font_face_t *cara, double &arriba, double &abajo)
{
    cairo_surface_t *s = nueva_superficie(1, 1);
    cairo_t *cr = cairo_create(s);
    elegir_cara(cr, cara, 100.0);
    arriba = abajo = 0;
    for (const Tramo &t : TRAMOS) {
        for (uint32_t c = t.primero; c <= t.ultimo; ++c) {
            cairo_text_extents_t e;
            cairo_text_extents(cr, utf8(c).c_str(), &e);
            if (e.width <= 0)
                continue;
            arriba = std::max(arriba, -e.y_bearing / 100.0);
            abajo = std::max(abajo, (e.height + e.y_bearing) / 100.0);
        }
    }
    cairo_destroy(cr);
    cairo_surface_destroy(s);
}

Glifo rasterizar_glifo(cairo_font_face_t *cara, const EstiloFuente &est, double tamano,
                       double linea_base, double arriba, uint32_t c)
{
    const std::string texto = utf8(c);

    cairo_surface_t *medida = nueva_superficie(1, 1);
    cairo_t *cm = cairo_create(medida);
    elegir_cara(cm, cara, tamano);
    cairo_text_extents_t e;
    cairo_text_extents(cm, texto.c_str(), &e);
    cairo_destroy(cm);
    cairo_surface_destroy(medida);

    // The cell spans the advance, widened only where the outline and shadow
    // poke out of it: the letters' side bearings take most of the outline,
    // so the text keeps the font's own spacing.
    const bool vacio = e.width <= 0;
    const double izquierda = vacio ? 0 : std::min(0.0, e.x_bearing - est.borde);
    const double derecha = vacio ? e.x_advance
                                 : std::max(e.x_advance, e.x_bearing + e.width + est.borde + est.sombra / 2);
    const int ancho = std::max(1, int(std::lround(derecha - izquierda)));
    const double ox = std::round(-izquierda);

    cairo_surface_t *s = nueva_superficie(ancho, est.alto);
    if (!vacio) {
        cairo_t *cr = cairo_create(s);
        elegir_cara(cr, cara, tamano);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);

        // Shadow, then outline, then the fill on top.
        cairo_move_to(cr, ox + est.sombra / 2, linea_base + est.sombra);
        cairo_text_path(cr, texto.c_str());
        cairo_set_line_width(cr, 2 * est.borde);
        cairo_set_source_rgb(cr, est.contorno.r, est.contorno.g, est.contorno.b);
        cairo_stroke_preserve(cr);
        cairo_fill(cr);

        cairo_move_to(cr, ox, linea_base);
        cairo_text_path(cr, texto.c_str());
        cairo_stroke_preserve(cr);

        cairo_pattern_t *g = cairo_pattern_create_linear(0, linea_base - arriba * tamano * 0.8, 0, linea_base);
        cairo_pattern_add_color_stop_rgb(g, 0, est.relleno_arriba.r, est.relleno_arriba.g, est.relleno_arriba.b);
        cairo_pattern_add_color_stop_rgb(g, 1, est.relleno_abajo.r, est.relleno_abajo.g, est.relleno_abajo.b);
        cairo_set_source(cr, g);
        cairo_fill(cr);
        cairo_pattern_destroy(g);
        cairo_destroy(cr);
    }
    aplicar_mascara(s);

    Glifo gl;
    gl.ancho = ancho;
    gl.alto = est.alto;
    gl.rgb.reserve(size_t(ancho) * size_t(est.alto) * 3);
    const uint8_t *datos = cairo_image_surface_get_data(s);
    const int paso = cairo_image_surface_get_stride(s);
    for (int y = 0; y < est.alto; ++y) {
        const auto *fila = reinterpret_cast<const uint32_t *>(datos + size_t(y) * size_t(paso));
        for (int x = 0; x < ancho; ++x) {
            gl.rgb.push_back(uint8_t(fila[x] >> 16));
            gl.rgb.push_back(uint8_t(fila[x] >> 8));
            gl.rgb.push_back(uint8_t(fila[x]));
        }
    }
    cairo_surface_destroy(s);
    return gl;
}

const Glifo *buscar_glifo(const FuenteGenerada &f, uint8_t c)
{
    for (const RangoFuente &r : f.rangos)
        if (c >= r.primero && c <= r.ultimo)
            return &r.glifos[c - r.primero];
    return nullptr;
}

} // namespace

cairo_font_face_t *abrir_cara_fuente(std::string &error)
{
    if (cara_cairo)
        return cara_cairo;
    std::FILE *f = std::fopen(FUENTE_TTF, "rb");
    if (!f) {
        error = std::string("font file not found: ") + FUENTE_TTF;
        return nullptr;
    }
    std::fclose(f);
    if (FT_Init_FreeType(&biblioteca_ft) != 0) {
        error = "cannot start FreeType";
        return nullptr;
    }
    if (FT_New_Face(biblioteca_ft, FUENTE_TTF, 0, &cara_ft) != 0) {
        error = std::string("FreeType cannot read ") + FUENTE_TTF;
        return nullptr;
    }
    cara_cairo = cairo_ft_font_face_create_for_ft_face(cara_ft, 0);
    if (cairo_font_face_status(cara_cairo) != CAIRO_STATUS_SUCCESS) {
        error = std::string("Cairo cannot use ") + FUENTE_TTF;
        return nullptr;
    }
    return cara_cairo;
}

FuenteGenerada rasterizar_fuente(cairo_font_face_t *cara, int indice)
{
    const EstiloFuente &est = ESTILOS[indice];
    double arriba, abajo;
    medir_tinta(cara, arriba, abajo);

    // The largest size whose ink, outline and shadow fit the cell height.
    const double libre = est.alto - 2 * est.borde - est.sombra;
    const double tamano = std::floor(libre / (arriba + abajo) * 4) / 4;
    const double linea_base = std::round(est.borde + arriba * tamano);

    FuenteGenerada f;
    f.alto = est.alto;
    for (const Tramo &t : TRAMOS) {
        RangoFuente r;
        r.primero = t.primero;
        r.ultimo = t.ultimo;
        for (uint32_t c = t.primero; c <= t.ultimo; ++c)
            r.glifos.push_back(rasterizar_glifo(cara, est, tamano, linea_base, arriba, c));
        f.rangos.push_back(std::move(r));
    }
    return f;
}

int ancho_texto(const FuenteGenerada &fuente, const char *texto)
{
    int ancho = 0;
    for (const char *p = texto; *p; ++p)
        if (const Glifo *g = buscar_glifo(fuente, uint8_t(*p)))
            ancho += g->ancho;
    return ancho;
}

int dibujar_texto(cairo_surface_t *destino, const FuenteGenerada &fuente,
                  const char *texto, int x, int y)
{
    cairo_surface_flush(destino);
    const int ancho = cairo_image_surface_get_width(destino);
    const int alto = cairo_image_surface_get_height(destino);
    const int paso = cairo_image_surface_get_stride(destino);
    uint8_t *datos = cairo_image_surface_get_data(destino);
    const int x0 = x;
    for (const char *p = texto; *p; ++p) {
        const Glifo *g = buscar_glifo(fuente, uint8_t(*p));
        if (!g)
            continue;
        for (int gy = 0; gy < g->alto; ++gy) {
            for (int gx = 0; gx < g->ancho; ++gx) {
                const uint8_t *px = &g->rgb[(size_t(gy) * size_t(g->ancho) + size_t(gx)) * 3];
                const int dx = x + gx, dy = y + gy;
                if ((px[0] == 255 && px[1] == 0 && px[2] == 255) || dx < 0 || dy < 0 || dx >= ancho || dy >= alto)
                    continue;
                auto *d = reinterpret_cast<uint32_t *>(datos + size_t(dy) * size_t(paso)) + dx;
                *d = 0xFF000000u | (uint32_t(px[0]) << 16) | (uint32_t(px[1]) << 8) | px[2];
            }
        }
        x += g->ancho;
    }
    cairo_surface_mark_dirty(destino);
    return x - x0;
}
