// The pictures of grf.dat other than the tile sheet: a dark metal lab bench
// seen from above, lit from the top-left; beam-related parts glow.
#include "generador.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr double PI = 3.14159265358979323846;

struct Color {
    double r, g, b;
};

// The house palette.
constexpr Color NEGRO_CONTORNO = {0.035, 0.040, 0.050};
constexpr Color METAL_OSCURO = {0.16, 0.18, 0.20};
constexpr Color METAL_MEDIO = {0.30, 0.33, 0.36};
constexpr Color METAL_CLARO = {0.58, 0.63, 0.67};
constexpr Color METAL_BRILLO = {0.82, 0.86, 0.89};
constexpr Color TEAL_PROFUNDO = {0.05, 0.17, 0.21};
constexpr Color TEAL = {0.10, 0.42, 0.47};
constexpr Color CIAN = {0.35, 0.95, 1.00};
constexpr Color ROJO_LASER = {1.00, 0.16, 0.10};
constexpr Color ROJO_OSCURO = {0.40, 0.03, 0.03};

void fuente_color(cairo_t *cr, Color c, double a = 1.0)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, a);
}

void parada(cairo_pattern_t *p, double t, Color c, double a = 1.0)
{
    cairo_pattern_add_color_stop_rgba(p, t, c.r, c.g, c.b, a);
}

// Small deterministic generator, so every build draws the same pictures.
uint32_t semilla = 0x2545F491u;
double azar()
{
    semilla ^= semilla << 13;
    semilla ^= semilla >> 17;
    semilla ^= semilla << 5;
    return double(semilla) / 4294967296.0;
}

void poligono(cairo_t *cr, const double (*p)[2], int n, double dx = 0, double dy = 0)
{
    cairo_move_to(cr, p[0][0] + dx, p[0][1] + dy);
    for (int i = 1; i < n; ++i)
        cairo_line_to(cr, p[i][0] + dx, p[i][1] + dy);
    cairo_close_path(cr);
}

// Fine streaks along one direction over the current clip, for brushed metal.
void cepillado(cairo_t *cr, double x, double y, double ancho, double alto, bool horizontal, double fuerza)
{
    cairo_save(cr);
    cairo_set_line_width(cr, 1.0);
    const double largo = horizontal ? alto : ancho;
    for (double t = 0.5; t < largo; t += 1.0) {
        const double v = azar();
        const double a = fuerza * (0.3 + 0.7 * azar());
        if (v < 0.5)
            cairo_set_source_rgba(cr, 1, 1, 1, a * 0.6);
        else
            cairo_set_source_rgba(cr, 0, 0, 0, a);
        // Streaks of random length so the grain does not look ruled.
        const double inicio = azar() * 0.6, fin = inicio + 0.3 + azar() * 0.7;
        if (horizontal) {
            cairo_move_to(cr, x + ancho * inicio, y + t);
            cairo_line_to(cr, x + ancho * std::min(1.0, fin), y + t);
        } else {
            cairo_move_to(cr, x + t, y + alto * inicio);
            cairo_line_to(cr, x + t, y + alto * std::min(1.0, fin));
        }
        cairo_stroke(cr);
    }
    cairo_restore(cr);
}

// A round screw head lit from the top-left, slot at an angle.
void tornillo(cairo_t *cr, double x, double y, double radio, double angulo)
{
    cairo_save(cr);
    cairo_arc(cr, x + 0.6, y + 0.8, radio + 1.0, 0, 2 * PI);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
    cairo_fill(cr);
    cairo_pattern_t *g = cairo_pattern_create_radial(x - radio * 0.4, y - radio * 0.4, radio * 0.1, x, y, radio);
    parada(g, 0, METAL_BRILLO);
    parada(g, 0.6, METAL_CLARO);
    parada(g, 1, METAL_MEDIO);
    cairo_arc(cr, x, y, radio, 0, 2 * PI);
    cairo_set_source(cr, g);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(g);
    fuente_color(cr, NEGRO_CONTORNO, 0.8);
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
    const double c = std::cos(angulo) * radio * 0.75, s = std::sin(angulo) * radio * 0.75;
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_width(cr, std::max(1.0, radio * 0.3));
    cairo_move_to(cr, x - c + 0.5, y - s + 0.5);
    cairo_line_to(cr, x + c + 0.5, y + s + 0.5);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.35);
    cairo_stroke(cr);
    cairo_move_to(cr, x - c, y - s);
    cairo_line_to(cr, x + c, y + s);
    fuente_color(cr, METAL_OSCURO);
    cairo_stroke(cr);
    cairo_restore(cr);
}

uint32_t *fila(cairo_surface_t *s, int y)
{
    return reinterpret_cast<uint32_t *>(cairo_image_surface_get_data(s) +
                                        size_t(y) * size_t(cairo_image_surface_get_stride(s)));
}

constexpr uint32_t PIXEL_MAGENTA = 0xFFFF00FFu;

uint32_t lejos_de_magenta(uint32_t p)
{
    const uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
    if (p != PIXEL_MAGENTA && r >= 248 && g < 4 && b >= 248)
        return (p & 0xFFFF00FFu) | (4u << 8);
    return p;
}

// The chamfered plate every button shares, `dentro` pixels in from its edge.
void silueta_boton(cairo_t *cr, double dentro)
{
    const double c = 11 - dentro * 0.4, x0 = dentro, y0 = dentro;
    const double x1 = BOTON_ANCHO - dentro, y1 = BOTON_ALTO - dentro;
    const double p[][2] = {{x0 + c, y0}, {x1 - c, y0}, {x1, y0 + c}, {x1, y1 - c},
                           {x1 - c, y1}, {x0 + c, y1}, {x0, y1 - c}, {x0, y0 + c}};
    poligono(cr, p, 8);
}

} // namespace

cairo_surface_t *nueva_superficie(int ancho, int alto)
{
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, ancho, alto);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "generador: cannot create a %d x %d surface\n", ancho, alto);
        std::exit(1);
    }
    return s;
}

void aplicar_mascara(cairo_surface_t *superficie)
{
    cairo_surface_flush(superficie);
    const int ancho = cairo_image_surface_get_width(superficie);
    const int alto = cairo_image_surface_get_height(superficie);
    for (int y = 0; y < alto; ++y) {
        uint32_t *f = fila(superficie, y);
        for (int x = 0; x < ancho; ++x) {
            const uint32_t a = f[x] >> 24;
            if (a < 128) {
                f[x] = PIXEL_MAGENTA;
                continue;
            }
            // Undo Cairo's premultiplication so edge pixels keep the colour
            // of what was drawn there, not a blend towards black.
            uint32_t p = 0xFF000000u;
            for (int desp = 0; desp <= 16; desp += 8) {
                const uint32_t c = std::min<uint32_t>(255, (((f[x] >> desp) & 0xFF) * 255 + a / 2) / a);
                p |= c << desp;
            }
            f[x] = lejos_de_magenta(p);
        }
    }
    cairo_surface_mark_dirty(superficie);
}

void apartar_de_magenta(cairo_surface_t *superficie)
{
    cairo_surface_flush(superficie);
    const int ancho = cairo_image_surface_get_width(superficie);
    const int alto = cairo_image_surface_get_height(superficie);
    for (int y = 0; y < alto; ++y) {
        uint32_t *f = fila(superficie, y);
        for (int x = 0; x < ancho; ++x)
            f[x] = lejos_de_magenta(f[x]);
    }
    cairo_surface_mark_dirty(superficie);
}

cairo_surface_t *recortar(cairo_surface_t *origen, int x, int y, int ancho, int alto)
{
    cairo_surface_t *s = nueva_superficie(ancho, alto);
    cairo_t *cr = cairo_create(s);
    cairo_set_source_surface(cr, origen, -x, -y);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    return s;
}

cairo_surface_t *dibujar_marco()
{
    constexpr double W = PANTALLA_ANCHO, H = PANTALLA_ALTO, M = MARCO;
    cairo_surface_t *s = nueva_superficie(PANTALLA_ANCHO, PANTALLA_ALTO);
    cairo_t *cr = cairo_create(s);
    semilla = 0x1234567u;

    // The four mitred pieces of the frame: top, bottom, left, right.
    const double piezas[4][4][2] = {
        {{0, 0}, {W, 0}, {W - M, M}, {M, M}},
        {{M, H - M}, {W - M, H - M}, {W, H}, {0, H}},
        {{0, 0}, {M, M}, {M, H - M}, {0, H}},
        {{W, 0}, {W, H}, {W - M, H - M}, {W - M, M}},
    };
    // Each piece's face tilts a little, so each catches the top-left light
    // differently: top brightest, bottom darkest.
    const double luz[4] = {1.10, 0.78, 1.00, 0.86};
    for (int i = 0; i < 4; ++i) {
        cairo_save(cr);
        poligono(cr, piezas[i], 4);
        cairo_clip(cr);
        cairo_pattern_t *g = cairo_pattern_create_linear(0, 0, W * 0.35, H);
        const double k = luz[i];
        cairo_pattern_add_color_stop_rgb(g, 0, 0.34 * k, 0.37 * k, 0.40 * k);
        cairo_pattern_add_color_stop_rgb(g, 1, 0.22 * k, 0.245 * k, 0.27 * k);
        cairo_set_source(cr, g);
        cairo_paint(cr);
        cairo_pattern_destroy(g);
        const bool horizontal = i < 2;
        cepillado(cr, 0, 0, horizontal ? W : M, horizontal ? H : H, horizontal, 0.05);
        if (!horizontal)
            cepillado(cr, W - M, 0, M, H, false, 0.05);
        cairo_restore(cr);
    }

    // Outer bevel: lit along the top and left, shaded along the bottom and right.
    const double b = 3;
    const double exterior[4][4][2] = {
        {{0, 0}, {W, 0}, {W - b, b}, {b, b}},
        {{b, H - b}, {W - b, H - b}, {W, H}, {0, H}},
        {{0, 0}, {b, b}, {b, H - b}, {0, H}},
        {{W, 0}, {W, H}, {W - b, H - b}, {W - b, b}},
    };
    const Color tonos_ext[4] = {{0.70, 0.74, 0.78}, {0.07, 0.08, 0.09}, {0.60, 0.64, 0.68}, {0.10, 0.11, 0.12}};
    for (int i = 0; i < 4; ++i) {
        poligono(cr, exterior[i], 4);
        fuente_color(cr, tonos_ext[i], 0.9);
        cairo_fill(cr);
    }

    // Inner bevel, down into the board: its top and left walls face away
    // from the light.
    const double d = 5;
    const double interior[4][4][2] = {
        {{M - d, M - d}, {W - M + d, M - d}, {W - M, M}, {M, M}},
        {{M, H - M}, {W - M, H - M}, {W - M + d, H - M + d}, {M - d, H - M + d}},
        {{M - d, M - d}, {M, M}, {M, H - M}, {M - d, H - M + d}},
        {{W - M + d, M - d}, {W - M + d, H - M + d}, {W - M, H - M}, {W - M, M}},
    };
    const Color tonos_int[4] = {{0.06, 0.07, 0.08}, {0.52, 0.56, 0.60}, {0.09, 0.10, 0.11}, {0.42, 0.46, 0.50}};
    for (int i = 0; i < 4; ++i) {
        poligono(cr, interior[i], 4);
        fuente_color(cr, tonos_int[i]);
        cairo_fill(cr);
    }
    // A highlight on the lip where the face turns down into the bevel.
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, M - d - 0.5, M - d - 0.5, W - 2 * M + 2 * d + 1, H - 2 * M + 2 * d + 1);
    cairo_set_source_rgba(cr, 0.75, 0.80, 0.84, 0.35);
    cairo_stroke(cr);
    // The board's rim, a hairline of teal light like a lit seam.
    cairo_rectangle(cr, M - 0.5, M - 0.5, W - 2 * M + 1, H - 2 * M + 1);
    fuente_color(cr, TEAL, 0.9);
    cairo_stroke(cr);

    // Mitre seams from each outer corner to the inner one.
    const double esquinas[4][2][2] = {{{0, 0}, {M - d, M - d}},
                                      {{W, 0}, {W - M + d, M - d}},
                                      {{0, H}, {M - d, H - M + d}},
                                      {{W, H}, {W - M + d, H - M + d}}};
    for (const auto &e : esquinas) {
        cairo_move_to(cr, e[0][0], e[0][1]);
        cairo_line_to(cr, e[1][0], e[1][1]);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
        cairo_set_line_width(cr, 1.2);
        cairo_stroke(cr);
        cairo_move_to(cr, e[0][0] + 0.8, e[0][1] + 0.8);
        cairo_line_to(cr, e[1][0] + 0.8, e[1][1] + 0.8);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.12);
        cairo_set_line_width(cr, 0.8);
        cairo_stroke(cr);
    }

    // Engraved ticks at every tile boundary, like the scale of a bench.
    for (int k = 0; k <= 15; ++k) {
        const double x = M + 64 * k;
        for (const double y : {M - d - 6.0, H - M + d + 1.0}) {
            cairo_rectangle(cr, x - 0.5, y, 1, 5);
            cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
            cairo_fill(cr);
            cairo_rectangle(cr, x + 0.5, y, 1, 5);
            cairo_set_source_rgba(cr, 1, 1, 1, 0.14);
            cairo_fill(cr);
        }
    }
    for (int k = 0; k <= 9; ++k) {
        const double y = M + 64 * k;
        for (const double x : {M - d - 6.0, W - M + d + 1.0}) {
            cairo_rectangle(cr, x, y - 0.5, 5, 1);
            cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
            cairo_fill(cr);
            cairo_rectangle(cr, x, y + 0.5, 5, 1);
            cairo_set_source_rgba(cr, 1, 1, 1, 0.14);
            cairo_fill(cr);
        }
    }

    // Screws: a big one in each corner, small ones every three tiles.
    const double cx[2] = {M / 2 - 1, W - M / 2 - 1}, cy[2] = {M / 2 - 1, H - M / 2 - 1};
    for (double x : cx)
        for (double y : cy)
            tornillo(cr, x, y, 6.5, 0.6 + x * 0.01 + y * 0.02);
    for (int k = 3; k < 15; k += 3)
        for (double y : cy)
            tornillo(cr, M + 64 * k, y - 2, 3.5, k * 0.7);
    for (int k = 3; k < 9; k += 3)
        for (double x : cx)
            tornillo(cr, x - 2, M + 64 * k, 3.5, k * 1.1);

    cairo_destroy(cr);
    // The hole is never part of any strip; make the surface opaque anyway.
    cairo_surface_flush(s);
    for (int y = 0; y < PANTALLA_ALTO; ++y) {
        uint32_t *f = fila(s, y);
        for (int x = 0; x < PANTALLA_ANCHO; ++x)
            f[x] = lejos_de_magenta(f[x] | 0xFF000000u);
    }
    cairo_surface_mark_dirty(s);
    return s;
}

cairo_surface_t *dibujar_logo(cairo_font_face_t *cara)
{
    cairo_surface_t *s = nueva_superficie(LOGO_ANCHO, LOGO_ALTO);
    cairo_t *cr = cairo_create(s);
    const char *palabra = "fotonauta";

    cairo_set_font_face(cr, cara);
    cairo_set_font_size(cr, 100);
    cairo_text_extents_t e;
    cairo_text_extents(cr, palabra, &e);
    // Letters as wide as the picture allows, leaving room for the outline,
    // the extrusion and the flare at the end of the beam.
    const double escala = 700.0 / e.width;
    const double tam = 100 * escala;
    cairo_set_font_size(cr, tam);
    cairo_text_extents(cr, palabra, &e);
    const double x0 = 30 - e.x_bearing;
    const double base = (LOGO_ALTO - e.height) / 2 - e.y_bearing - 4;
    const double arriba = base + e.y_bearing, abajo = arriba + e.height;

    // Extrusion: the letters stand as thick plates, their sides in shadow.
    for (int i = 7; i >= 1; --i) {
        cairo_move_to(cr, x0 + i, base + i);
        cairo_text_path(cr, palabra);
        const double t = i / 7.0;
        cairo_set_source_rgb(cr, 0.05 + 0.08 * (1 - t), 0.09 + 0.13 * (1 - t), 0.11 + 0.15 * (1 - t));
        cairo_set_line_width(cr, 6);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke_preserve(cr);
        cairo_fill(cr);
    }
    cairo_move_to(cr, x0, base);
    cairo_text_path(cr, palabra);
    cairo_path_t *letras = cairo_copy_path(cr);
    fuente_color(cr, NEGRO_CONTORNO);
    cairo_set_line_width(cr, 6);
    cairo_stroke(cr);

    // Polished steel: a bright sky above a sharp horizon, as chrome reflects.
    const double y_laser = arriba + (abajo - arriba) * 0.56;
    cairo_pattern_t *g = cairo_pattern_create_linear(0, arriba, 0, abajo);
    parada(g, 0.00, {0.97, 0.99, 1.00});
    parada(g, 0.40, {0.66, 0.74, 0.80});
    parada(g, 0.55, {0.38, 0.46, 0.52});
    parada(g, 0.56, {0.16, 0.22, 0.27});
    parada(g, 0.80, {0.30, 0.40, 0.46});
    parada(g, 1.00, {0.62, 0.72, 0.78});
    cairo_append_path(cr, letras);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);

    // Rim light along the upper-left edges of the letters.
    cairo_save(cr);
    cairo_append_path(cr, letras);
    cairo_clip(cr);
    cairo_new_path(cr);
    cairo_translate(cr, 2, 2);
    cairo_append_path(cr, letras);
    cairo_translate(cr, -2, -2);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_rectangle(cr, 0, 0, LOGO_ANCHO, LOGO_ALTO);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
    cairo_fill(cr);
    cairo_restore(cr);

    // Where the beam crosses the letters it lights them red.
    cairo_save(cr);
    cairo_append_path(cr, letras);
    cairo_clip(cr);
    g = cairo_pattern_create_linear(0, y_laser - 18, 0, y_laser + 18);
    parada(g, 0, ROJO_LASER, 0);
    parada(g, 0.5, ROJO_LASER, 0.6);
    parada(g, 1, ROJO_LASER, 0);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
    cairo_restore(cr);

    // The beam itself: a dark-red sheath, a red body and a white-hot core;
    // it fades in from the left edge and ends in a flare past the last letter.
    const double fin = x0 + e.x_advance + 12;
    const double grosores[3] = {9, 5.5, 2};
    const Color tonos[3] = {ROJO_OSCURO, ROJO_LASER, {1.0, 0.85, 0.80}};
    for (int i = 0; i < 3; ++i) {
        cairo_move_to(cr, 4, y_laser);
        cairo_line_to(cr, 40, y_laser - grosores[i] / 2);
        cairo_line_to(cr, fin, y_laser - grosores[i] / 2);
        cairo_line_to(cr, fin, y_laser + grosores[i] / 2);
        cairo_line_to(cr, 40, y_laser + grosores[i] / 2);
        cairo_close_path(cr);
        fuente_color(cr, tonos[i]);
        cairo_fill(cr);
    }
    // Flare: two crossed spikes and a hot centre.
    for (int i = 0; i < 2; ++i) {
        const double largo = i == 0 ? 24 : 13, ancho = i == 0 ? 4.5 : 3.5;
        const double rx = i == 0 ? largo : ancho, ry = i == 0 ? ancho : largo;
        cairo_move_to(cr, fin - rx, y_laser);
        cairo_curve_to(cr, fin - ancho * 0.5, y_laser - ancho * 0.5, fin - ancho * 0.5, y_laser - ancho * 0.5, fin, y_laser - ry);
        cairo_curve_to(cr, fin + ancho * 0.5, y_laser - ancho * 0.5, fin + ancho * 0.5, y_laser - ancho * 0.5, fin + rx, y_laser);
        cairo_curve_to(cr, fin + ancho * 0.5, y_laser + ancho * 0.5, fin + ancho * 0.5, y_laser + ancho * 0.5, fin, y_laser + ry);
        cairo_curve_to(cr, fin - ancho * 0.5, y_laser + ancho * 0.5, fin - ancho * 0.5, y_laser + ancho * 0.5, fin - rx, y_laser);
        cairo_close_path(cr);
        fuente_color(cr, ROJO_OSCURO);
        cairo_set_line_width(cr, 2.5);
        cairo_stroke_preserve(cr);
        fuente_color(cr, {1.0, 0.55, 0.45});
        cairo_fill(cr);
    }
    g = cairo_pattern_create_radial(fin, y_laser, 0, fin, y_laser, 8);
    parada(g, 0, {1, 1, 1});
    parada(g, 0.5, {1.0, 0.75, 0.65});
    parada(g, 1, ROJO_LASER);
    cairo_arc(cr, fin, y_laser, 7, 0, 2 * PI);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);

    cairo_path_destroy(letras);
    cairo_destroy(cr);
    aplicar_mascara(s);
    return s;
}

cairo_surface_t *dibujar_fin_partida()
{
    cairo_surface_t *s = nueva_superficie(FIN_ANCHO, FIN_ALTO);
    cairo_t *cr = cairo_create(s);
    semilla = 0xBADC0DEu;
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    const double cy = 100;

    // Smoke rising from the dead emitter, drawn first so the metal covers it.
    const double humo[][3] = {{262, 62, 16}, {250, 40, 13}, {268, 22, 11}, {284, 44, 12}, {244, 14, 8}};
    for (const auto &h : humo) {
        cairo_arc(cr, h[0], h[1], h[2] + 2.5, 0, 2 * PI);
        fuente_color(cr, NEGRO_CONTORNO);
        cairo_fill(cr);
    }
    for (const auto &h : humo) {
        cairo_pattern_t *g = cairo_pattern_create_radial(h[0] - h[2] * 0.4, h[1] - h[2] * 0.4, 1, h[0], h[1], h[2]);
        parada(g, 0, {0.55, 0.57, 0.60});
        parada(g, 1, {0.26, 0.28, 0.30});
        cairo_arc(cr, h[0], h[1], h[2], 0, 2 * PI);
        cairo_set_source(cr, g);
        cairo_fill(cr);
        cairo_pattern_destroy(g);
    }

    // Emitter body: a bevelled steel box with a teal band and vents.
    const double bx = 18, by = cy - 46, bw = 200, bh = 92;
    cairo_rectangle(cr, bx - 2.5, by - 2.5, bw + 5, bh + 5);
    fuente_color(cr, NEGRO_CONTORNO);
    cairo_fill(cr);
    cairo_pattern_t *g = cairo_pattern_create_linear(bx, by, bx + bw * 0.3, by + bh);
    parada(g, 0, METAL_CLARO);
    parada(g, 0.15, METAL_MEDIO);
    parada(g, 1, METAL_OSCURO);
    cairo_rectangle(cr, bx, by, bw, bh);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_save(cr);
    cairo_rectangle(cr, bx + 4, by + 4, bw - 8, bh - 8);
    cairo_clip(cr);
    g = cairo_pattern_create_linear(bx, by, bx, by + bh);
    parada(g, 0, {0.36, 0.40, 0.44});
    parada(g, 1, {0.20, 0.23, 0.26});
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
    cepillado(cr, bx, by, bw, bh, true, 0.06);
    cairo_restore(cr);
    cairo_rectangle(cr, bx + 4, by + bh - 26, bw - 8, 12);
    fuente_color(cr, TEAL_PROFUNDO);
    cairo_fill(cr);
    cairo_rectangle(cr, bx + 4, by + bh - 26, bw - 8, 1);
    fuente_color(cr, TEAL, 0.8);
    cairo_fill(cr);
    for (int i = 0; i < 6; ++i) {
        const double vx = bx + 22 + i * 16;
        cairo_rectangle(cr, vx, by + 16, 7, 36);
        fuente_color(cr, NEGRO_CONTORNO, 0.85);
        cairo_fill(cr);
        cairo_rectangle(cr, vx + 7, by + 16, 1, 36);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.25);
        cairo_fill(cr);
    }
    // Its status lamp, dead.
    cairo_arc(cr, bx + 168, by + 30, 9, 0, 2 * PI);
    fuente_color(cr, NEGRO_CONTORNO);
    cairo_fill(cr);
    g = cairo_pattern_create_radial(bx + 165, by + 27, 1, bx + 168, by + 30, 7);
    parada(g, 0, {0.45, 0.18, 0.16});
    parada(g, 1, {0.14, 0.03, 0.03});
    cairo_arc(cr, bx + 168, by + 30, 7, 0, 2 * PI);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    for (double sx : {bx + 10.0, bx + bw - 10.0})
        for (double sy : {by + 10.0, by + bh - 10.0})
            tornillo(cr, sx, sy, 3.5, sx * 0.05 + sy * 0.03);

    // Nozzle, and on its end the lens, cracked.
    const double nx = bx + bw, nw = 46, nh = 52;
    cairo_rectangle(cr, nx - 1, cy - nh / 2 - 2.5, nw + 3.5, nh + 5);
    fuente_color(cr, NEGRO_CONTORNO);
    cairo_fill(cr);
    g = cairo_pattern_create_linear(0, cy - nh / 2, 0, cy + nh / 2);
    parada(g, 0, METAL_OSCURO);
    parada(g, 0.18, METAL_BRILLO);
    parada(g, 0.45, METAL_MEDIO);
    parada(g, 1, {0.10, 0.11, 0.12});
    cairo_rectangle(cr, nx, cy - nh / 2, nw, nh);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    for (int i = 1; i < 4; ++i) {
        cairo_rectangle(cr, nx + i * 11, cy - nh / 2, 1.5, nh);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
        cairo_fill(cr);
    }
    const double lx = nx + nw + 6;
    cairo_save(cr);
    cairo_translate(cr, lx, cy);
    cairo_scale(cr, 0.45, 1);
    cairo_arc(cr, 0, 0, 30, 0, 2 * PI);
    cairo_restore(cr);
    fuente_color(cr, NEGRO_CONTORNO);
    cairo_fill(cr);
    cairo_save(cr);
    cairo_translate(cr, lx, cy);
    cairo_scale(cr, 0.45, 1);
    cairo_arc(cr, 0, 0, 27, 0, 2 * PI);
    cairo_restore(cr);
    g = cairo_pattern_create_radial(lx - 4, cy - 10, 1, lx, cy, 28);
    parada(g, 0, {0.42, 0.55, 0.60});
    parada(g, 0.5, {0.10, 0.18, 0.22});
    parada(g, 1, {0.04, 0.07, 0.09});
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    // Cracks radiating from the point of impact.
    const double grietas[][4][2] = {
        {{lx + 2, cy - 4}, {lx - 3, cy - 12}, {lx + 1, cy - 19}, {lx - 2, cy - 26}},
        {{lx + 2, cy - 4}, {lx + 6, cy + 5}, {lx + 2, cy + 14}, {lx + 5, cy + 24}},
        {{lx + 2, cy - 4}, {lx - 5, cy + 2}, {lx - 8, cy + 11}, {lx - 7, cy + 18}},
        {{lx + 2, cy - 4}, {lx + 7, cy - 10}, {lx + 9, cy - 7}, {lx + 10, cy - 15}},
    };
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    for (const auto &gr : grietas) {
        poligono(cr, gr, 4);
        cairo_new_path(cr);
        cairo_move_to(cr, gr[0][0], gr[0][1]);
        for (int i = 1; i < 4; ++i)
            cairo_line_to(cr, gr[i][0], gr[i][1]);
        cairo_set_source_rgba(cr, 0.90, 0.97, 1.0, 0.9);
        cairo_set_line_width(cr, 1.3);
        cairo_stroke(cr);
    }

    // The beam, snapped: chunks tumbling away, dimming as they go, then
    // splinters of light scattered on the bench.
    struct Trozo {
        double x, y, largo, angulo, brillo;
    };
    const Trozo trozos[] = {
        {lx + 30, cy + 1, 42, 0.04, 1.00}, {lx + 88, cy + 7, 36, 0.18, 0.85},
        {lx + 140, cy + 20, 30, -0.22, 0.70}, {lx + 186, cy + 36, 24, 0.50, 0.55},
        {lx + 226, cy + 50, 18, -0.45, 0.42},
    };
    for (const Trozo &t : trozos) {
        cairo_save(cr);
        cairo_translate(cr, t.x, t.y);
        cairo_rotate(cr, t.angulo);
        const double m = t.largo / 2;
        // Jagged broken ends.
        const double p[][2] = {{-m, -6}, {m - 4, -6}, {m + 2, -2}, {m - 3, 1}, {m + 1, 6},
                               {-m + 3, 6}, {-m - 2, 2}, {-m + 2, -1}};
        poligono(cr, p, 8);
        cairo_set_line_width(cr, 3);
        fuente_color(cr, NEGRO_CONTORNO);
        cairo_stroke_preserve(cr);
        cairo_set_source_rgb(cr, 0.30 + 0.70 * t.brillo, 0.04 + 0.12 * t.brillo, 0.03 + 0.08 * t.brillo);
        cairo_fill(cr);
        cairo_rectangle(cr, -m + 3, -1.5, t.largo - 7, 3);
        cairo_set_source_rgb(cr, 0.40 + 0.60 * t.brillo, 0.15 + 0.70 * t.brillo, 0.12 + 0.66 * t.brillo);
        cairo_fill(cr);
        cairo_restore(cr);
    }
    // Splinters of light where the beam's end fell apart.
    for (int i = 0; i < 18; ++i) {
        const double x = lx + 250 + azar() * 70, y = cy + 10 + (azar() - 0.5) * 90;
        const double r = 3.5 + azar() * 4.5, a = azar() * 2 * PI;
        const double brillo = 0.25 + 0.5 * azar();
        cairo_move_to(cr, x + r * std::cos(a), y + r * std::sin(a));
        cairo_line_to(cr, x + r * 0.6 * std::cos(a + 2.3), y + r * 0.6 * std::sin(a + 2.3));
        cairo_line_to(cr, x + r * 0.8 * std::cos(a + 4.0), y + r * 0.8 * std::sin(a + 4.0));
        cairo_close_path(cr);
        cairo_set_line_width(cr, 2.5);
        fuente_color(cr, NEGRO_CONTORNO);
        cairo_stroke_preserve(cr);
        cairo_set_source_rgb(cr, 0.35 + 0.6 * brillo, 0.06 + 0.1 * brillo, 0.05 + 0.1 * brillo);
        cairo_fill(cr);
    }
    // Sparks still spitting from the lens.
    const double chispas[][3] = {{lx + 10, cy - 22, 5}, {lx + 16, cy + 24, 4}, {lx + 4, cy - 36, 3.5}};
    for (const auto &c : chispas) {
        for (int i = 0; i < 2; ++i) {
            const double r = c[2], w = i == 0 ? 2.8 : 1.2;
            cairo_move_to(cr, c[0] - r, c[1]);
            cairo_line_to(cr, c[0] + r, c[1]);
            cairo_move_to(cr, c[0], c[1] - r);
            cairo_line_to(cr, c[0], c[1] + r);
            cairo_set_line_width(cr, w + (i == 0 ? 1.5 : 0));
            if (i == 0)
                fuente_color(cr, ROJO_OSCURO);
            else
                cairo_set_source_rgb(cr, 1, 0.85, 0.6);
            cairo_stroke(cr);
        }
    }

    cairo_destroy(cr);
    aplicar_mascara(s);
    return s;
}

cairo_surface_t *dibujar_puntero()
{
    cairo_surface_t *s = nueva_superficie(PUNTERO_LADO, PUNTERO_LADO);
    cairo_t *cr = cairo_create(s);
    // The silhouette is drawn without anti-aliasing so the tip is exactly
    // the top-left pixel, the hot spot.
    const double fuera[][2] = {{0, 0}, {0, 24}, {6, 19}, {10.5, 28.5}, {15.5, 26.5}, {11.5, 17.5}, {19, 17.5}};
    const double dentro[][2] = {{1.6, 3.6}, {1.6, 20.3}, {6.6, 16.1}, {11.3, 26.2}, {13.4, 25.4}, {8.8, 16.2}, {15.0, 16.2}};
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    poligono(cr, fuera, 7);
    fuente_color(cr, NEGRO_CONTORNO);
    cairo_fill(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_pattern_t *g = cairo_pattern_create_linear(0, 0, 12, 26);
    parada(g, 0, {1, 1, 1});
    parada(g, 0.55, {0.86, 0.97, 1.0});
    parada(g, 1, {0.45, 0.85, 0.95});
    poligono(cr, dentro, 7);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_destroy(cr);
    aplicar_mascara(s);
    return s;
}

cairo_surface_t *dibujar_boton(EstadoBoton estado)
{
    cairo_surface_t *s = nueva_superficie(BOTON_ANCHO, BOTON_ALTO);
    cairo_t *cr = cairo_create(s);
    semilla = 0xB07011u; // the same grain in all three states
    const bool pulsado = estado == BOTON_PULSADO, encima = estado == BOTON_ENCIMA;

    // The silhouette, crisp, so that all three states share one hit shape.
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    silueta_boton(cr, 0);
    fuente_color(cr, NEGRO_CONTORNO);
    cairo_fill(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);

    // Bevel: the plate's edges catch the light on the top-left when it
    // stands up, on the bottom-right when it is pushed in.
    const Color luz = pulsado ? Color{0.07, 0.08, 0.09} : METAL_BRILLO;
    const Color sombra = pulsado ? Color{0.55, 0.60, 0.64} : Color{0.09, 0.10, 0.11};
    cairo_save(cr);
    silueta_boton(cr, 1.5);
    cairo_clip(cr);
    fuente_color(cr, sombra);
    cairo_paint(cr);
    cairo_translate(cr, -2.5, -2.5);
    silueta_boton(cr, 1.5);
    cairo_pattern_t *g = cairo_pattern_create_linear(0, 0, BOTON_ANCHO * 0.4, BOTON_ALTO);
    parada(g, 0, luz);
    parada(g, 1, pulsado ? luz : METAL_MEDIO);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_restore(cr);

    // The face: deep teal steel, brighter under the pointer.
    const Color arriba = encima ? Color{0.17, 0.40, 0.45} : pulsado ? Color{0.06, 0.14, 0.17} : Color{0.14, 0.27, 0.31};
    const Color abajo = encima ? Color{0.08, 0.22, 0.26} : pulsado ? Color{0.11, 0.22, 0.26} : Color{0.06, 0.13, 0.16};
    cairo_save(cr);
    silueta_boton(cr, 4.5);
    cairo_clip(cr);
    g = cairo_pattern_create_linear(0, 4, 0, BOTON_ALTO - 4);
    parada(g, 0, arriba);
    parada(g, 1, abajo);
    cairo_set_source(cr, g);
    cairo_paint(cr);
    cairo_pattern_destroy(g);
    cepillado(cr, 0, 0, BOTON_ANCHO, BOTON_ALTO, true, 0.045);
    // A soft sheen over the upper half of the raised plate.
    if (!pulsado) {
        g = cairo_pattern_create_linear(0, 4, 0, BOTON_ALTO / 2.0);
        cairo_pattern_add_color_stop_rgba(g, 0, 1, 1, 1, 0.16);
        cairo_pattern_add_color_stop_rgba(g, 1, 1, 1, 1, 0.0);
        cairo_set_source(cr, g);
        cairo_paint(cr);
        cairo_pattern_destroy(g);
    }
    cairo_restore(cr);
    // A thin seam around the face; it glows cyan under the pointer.
    silueta_boton(cr, 5);
    cairo_set_line_width(cr, 1);
    if (encima) {
        fuente_color(cr, CIAN, 0.35);
        cairo_set_line_width(cr, 3);
        cairo_stroke_preserve(cr);
        cairo_set_line_width(cr, 1);
        fuente_color(cr, CIAN, 0.95);
    } else {
        fuente_color(cr, TEAL, pulsado ? 0.35 : 0.6);
    }
    cairo_stroke(cr);

    // Screws at both ends, clear of the caption.
    for (const double x : {14.0, BOTON_ANCHO - 14.0})
        tornillo(cr, x + (pulsado ? 1 : 0), BOTON_ALTO / 2.0 + (pulsado ? 1 : 0), 3.8, x * 0.13);

    cairo_destroy(cr);
    aplicar_mascara(s);
    return s;
}
