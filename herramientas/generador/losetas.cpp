// The board's tile sheet: every element the beam meets, the floor under them
// and the few masked overlays. Each tile is drawn alone on a 64 x 64 surface
// in its own coordinates, cleaned of mask-coloured pixels (or thresholded to
// the mask for masked tiles), then copied into the sheet.
//
// Look: a dark metal lab bench seen from above, light from the top-left
// (highlights top-left, shadows bottom-right), gunmetal and deep teal, with
// only beam-related things glowing.
#include "disposicion.h"
#include "generador.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double C = LOSETA / 2.0; // centre of a tile

struct Color {
    double r, g, b;
};

// Palette.
constexpr Color SUELO{0.078, 0.137, 0.160};
constexpr Color ACERO{0.36, 0.39, 0.43};
constexpr Color ACERO_OSCURO{0.17, 0.19, 0.22};
constexpr Color NEGRO{0.02, 0.025, 0.03};
constexpr Color BLANCO{1.0, 1.0, 1.0};
constexpr Color LASER{1.0, 0.16, 0.10};
constexpr Color CIAN{0.35, 0.92, 1.0};
constexpr Color VERDE_RECEPTOR{0.35, 1.0, 0.62};
constexpr Color AMBAR{1.0, 0.60, 0.10};
constexpr Color VIOLETA{0.62, 0.30, 0.95};

Color mezclar(Color a, Color b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Color escalar(Color c, double f)
{
    return {std::clamp(c.r * f, 0.0, 1.0), std::clamp(c.g * f, 0.0, 1.0),
            std::clamp(c.b * f, 0.0, 1.0)};
}

void fuente(cairo_t *cr, Color c, double a = 1.0)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, a);
}

void parada(cairo_pattern_t *p, double o, Color c, double a = 1.0)
{
    cairo_pattern_add_color_stop_rgba(p, o, c.r, c.g, c.b, a);
}

// Sets `p` as the source and drops our reference to it.
void usar_patron(cairo_t *cr, cairo_pattern_t *p)
{
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

// Deterministic noise, so every build draws the same sheet.
uint32_t revolver(uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

double azar(uint32_t semilla, uint32_t n)
{
    return revolver(semilla * 0x9e3779b9u + n * 0x85ebca6bu + 0x165667b1u) / 4294967296.0;
}

// ---------------------------------------------------------------- paths

void circulo(cairo_t *cr, double x, double y, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x, y, r, 0, 2 * PI);
    cairo_close_path(cr);
}

void elipse(cairo_t *cr, double x, double y, double rx, double ry)
{
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, rx, ry);
    circulo(cr, 0, 0, 1);
    cairo_restore(cr);
}

void poligono_regular(cairo_t *cr, double x, double y, double r, int lados, double giro)
{
    cairo_new_sub_path(cr);
    for (int i = 0; i < lados; ++i) {
        const double a = giro + 2 * PI * i / lados;
        cairo_line_to(cr, x + r * std::sin(a), y - r * std::cos(a));
    }
    cairo_close_path(cr);
}

// Emitters and receivers are drawn opening downwards and turned to their
// orientation (0 down, 1 left, 2 up, 3 right: quarter turns clockwise).
void orientar(cairo_t *cr, int o)
{
    cairo_translate(cr, C, C);
    cairo_rotate(cr, o * PI / 2);
    cairo_translate(cr, -C, -C);
}

// Turns user space so that "up" points `grados` clockwise from vertical.
void girar(cairo_t *cr, double grados)
{
    cairo_translate(cr, C, C);
    cairo_rotate(cr, grados * PI / 180.0);
    cairo_translate(cr, -C, -C);
}

// ---------------------------------------------------------------- effects

// Three box passes each way: close enough to a gaussian for soft shadows.
void desenfocar(cairo_surface_t *s, int radio)
{
    if (radio <= 0)
        return;
    cairo_surface_flush(s);
    unsigned char *d = cairo_image_surface_get_data(s);
    const int w = cairo_image_surface_get_width(s);
    const int h = cairo_image_surface_get_height(s);
    const int st = cairo_image_surface_get_stride(s);
    std::vector<int> linea(static_cast<size_t>(std::max(w, h)));
    const int ventana = 2 * radio + 1;
    for (int pasada = 0; pasada < 3; ++pasada) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x)
                linea[static_cast<size_t>(x)] = d[y * st + x];
            for (int x = 0; x < w; ++x) {
                int suma = 0;
                for (int k = std::max(0, x - radio); k <= std::min(w - 1, x + radio); ++k)
                    suma += linea[static_cast<size_t>(k)];
                d[y * st + x] = static_cast<unsigned char>(suma / ventana);
            }
        }
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y)
                linea[static_cast<size_t>(y)] = d[y * st + x];
            for (int y = 0; y < h; ++y) {
                int suma = 0;
                for (int k = std::max(0, y - radio); k <= std::min(h - 1, y + radio); ++k)
                    suma += linea[static_cast<size_t>(k)];
                d[y * st + x] = static_cast<unsigned char>(suma / ventana);
            }
        }
    }
    cairo_surface_mark_dirty(s);
}

// Paints `color` through a blurred copy of the shape built by `camino`
// (which draws on a fresh context in tile coordinates).
template <typename F>
void mancha_borrosa(cairo_t *cr, F camino, double dx, double dy, int radio, Color color,
                    double alfa, cairo_operator_t op)
{
    cairo_surface_t *m = cairo_image_surface_create(CAIRO_FORMAT_A8, LOSETA, LOSETA);
    cairo_t *c = cairo_create(m);
    cairo_translate(c, dx, dy);
    camino(c);
    cairo_set_source_rgba(c, 0, 0, 0, 1);
    cairo_fill(c);
    cairo_destroy(c);
    desenfocar(m, radio);
    cairo_save(cr);
    cairo_set_operator(cr, op);
    fuente(cr, color, alfa);
    cairo_mask_surface(cr, m, 0, 0);
    cairo_restore(cr);
    cairo_surface_destroy(m);
}

// Soft drop shadow cast down-right, as the light comes from the top-left.
template <typename F>
void sombra(cairo_t *cr, F camino, double altura = 1.0, double alfa = 0.65)
{
    mancha_borrosa(cr, camino, 1.5 * altura, 2.0 * altura, static_cast<int>(1 + altura), Color{0.0, 0.01, 0.02},
                   alfa, CAIRO_OPERATOR_OVER);
}

// Light added around a shape: glows add up, as light does.
template <typename F>
void resplandor(cairo_t *cr, F camino, Color color, double intensidad, int radio)
{
    mancha_borrosa(cr, camino, 0, 0, radio, color, std::clamp(intensidad, 0.0, 1.0),
                   CAIRO_OPERATOR_ADD);
}

// Fills a shape with a top-left-lit gradient of `base`.
template <typename F>
void relleno_metal(cairo_t *cr, F camino, Color base, double contraste = 0.35)
{
    cairo_new_path(cr);
    camino(cr);
    double x1, y1, x2, y2;
    cairo_path_extents(cr, &x1, &y1, &x2, &y2);
    cairo_pattern_t *g = cairo_pattern_create_linear(x1, y1, x2, y2);
    parada(g, 0.0, escalar(base, 1 + contraste));
    parada(g, 0.5, base);
    parada(g, 1.0, escalar(base, 1 - contraste));
    usar_patron(cr, g);
    cairo_fill(cr);
}

// Bevelled rim: a band `ancho` wide inside the shape, bright on its top-left
// edges and dark on its bottom-right ones, whatever the shape's rotation.
template <typename F>
void bisel(cairo_t *cr, F camino, double ancho, double luz = 0.35, double oscuridad = 0.45)
{
    cairo_save(cr);
    cairo_new_path(cr);
    camino(cr);
    double x1, y1, x2, y2;
    cairo_path_extents(cr, &x1, &y1, &x2, &y2);
    cairo_clip_preserve(cr);
    cairo_pattern_t *g = cairo_pattern_create_linear(x1, y1, x2, y2);
    parada(g, 0.0, BLANCO, luz);
    parada(g, 0.42, BLANCO, 0.0);
    parada(g, 0.58, NEGRO, 0.0);
    parada(g, 1.0, NEGRO, oscuridad);
    usar_patron(cr, g);
    cairo_set_line_width(cr, 2 * ancho);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
    cairo_restore(cr);
}

// A solid part standing on the bench: shadow, metal body and bevelled rim.
template <typename F>
void pieza(cairo_t *cr, F camino, Color base, double altura = 1.5, double ancho_bisel = 2.0)
{
    sombra(cr, camino, altura);
    relleno_metal(cr, camino, base);
    bisel(cr, camino, ancho_bisel);
}

// A polished disc lit from the top-left.
void disco(cairo_t *cr, double x, double y, double r, Color base)
{
    cairo_pattern_t *g = cairo_pattern_create_radial(x - r * 0.4, y - r * 0.45, r * 0.05, x, y, r);
    parada(g, 0.0, escalar(base, 1.6));
    parada(g, 0.55, base);
    parada(g, 1.0, escalar(base, 0.6));
    usar_patron(cr, g);
    circulo(cr, x, y, r);
    cairo_fill(cr);
}

// A little bolt head.
void tornillo(cairo_t *cr, double x, double y, double r = 2.0)
{
    fuente(cr, NEGRO, 0.45);
    circulo(cr, x + 0.7, y + 0.9, r + 0.3);
    cairo_fill(cr);
    disco(cr, x, y, r, Color{0.50, 0.53, 0.57});
    fuente(cr, NEGRO, 0.5);
    cairo_set_line_width(cr, 0.8);
    cairo_move_to(cr, x - r * 0.7, y + r * 0.7);
    cairo_line_to(cr, x + r * 0.7, y - r * 0.7);
    cairo_stroke(cr);
}

// A groove cut into metal: its top-left wall is in shadow, its lower wall lit.
void ranura(cairo_t *cr, double x1, double y1, double x2, double y2, double alfa = 0.35)
{
    cairo_set_line_width(cr, 1.0);
    fuente(cr, NEGRO, alfa);
    cairo_move_to(cr, x1, y1);
    cairo_line_to(cr, x2, y2);
    cairo_stroke(cr);
    fuente(cr, BLANCO, alfa * 0.22);
    cairo_move_to(cr, x1 + 0.8, y1 + 1);
    cairo_line_to(cr, x2 + 0.8, y2 + 1);
    cairo_stroke(cr);
}

// Draws the shape made by `dibujo` as a translucent layer.
template <typename F>
void capa(cairo_t *cr, double alfa, F dibujo)
{
    if (alfa <= 0.0)
        return;
    cairo_push_group(cr);
    dibujo(cr);
    cairo_pop_group_to_source(cr);
    cairo_paint_with_alpha(cr, std::min(alfa, 1.0));
}

// ---------------------------------------------------------------- floor

// Every floor plate shares its edges (lit top-left lip, dark bottom-right
// lip, half-block ticks) so any two plates sit side by side without a seam;
// only the interior changes.
struct VarianteSuelo {
    uint8_t remaches;  // bits 0-3 corners TL TR BR BL, bits 4-7 edge middles T R B L
    uint8_t juntas;    // 0 none, 1 horizontal seam, 2 vertical, 3 both, 4 inset panel, 5 corner panel
    uint8_t rejilla;   // vent slots: 0 none, else quadrant 1-4
    uint8_t rayas;     // faint scratches
    uint8_t escotilla; // round inspection hatch
    uint8_t desgaste;  // dark wear stain
};

constexpr std::array<VarianteSuelo, 12> VARIANTES_SUELO{{
    {0x0F, 0, 0, 2, 0, 0},
    {0x0F, 1, 0, 3, 0, 0},
    {0x00, 4, 0, 1, 0, 1},
    {0x05, 0, 2, 3, 0, 0},
    {0xF0, 2, 0, 2, 0, 0},
    {0x0A, 0, 0, 5, 0, 1},
    {0x0F, 0, 0, 1, 1, 0},
    {0x00, 3, 0, 2, 0, 0},
    {0x0F, 5, 0, 2, 0, 0},
    {0x00, 0, 4, 4, 0, 1},
    {0x50, 1, 1, 1, 0, 0},
    {0x0F, 4, 0, 3, 0, 0},
}};

// Brushed-metal grain: fine per-pixel noise over short horizontal streaks.
void grano(cairo_t *cr, uint32_t semilla)
{
    cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, LOSETA, LOSETA);
    cairo_surface_flush(s);
    unsigned char *d = cairo_image_surface_get_data(s);
    const int st = cairo_image_surface_get_stride(s);
    for (int y = 0; y < LOSETA; ++y) {
        for (int x = 0; x < LOSETA; ++x) {
            const uint32_t n = static_cast<uint32_t>(y * LOSETA + x);
            const double racha = azar(semilla, static_cast<uint32_t>(1000 + y * 8 + x / 11)) - 0.5;
            const double v = (azar(semilla, n) - 0.5) * 0.05 + racha * 0.035;
            const uint8_t a = static_cast<uint8_t>(std::min(255.0, std::fabs(v) * 255.0));
            const uint8_t c = v > 0 ? a : 0; // premultiplied white or black
            auto *p = reinterpret_cast<uint32_t *>(d + y * st) + x;
            *p = (uint32_t{a} << 24) | (uint32_t{c} << 16) | (uint32_t{c} << 8) | c;
        }
    }
    cairo_surface_mark_dirty(s);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(s);
}

void remache(cairo_t *cr, double x, double y)
{
    fuente(cr, NEGRO, 0.35);
    circulo(cr, x + 0.6, y + 0.8, 2.0);
    cairo_fill(cr);
    disco(cr, x, y, 1.7, Color{0.22, 0.29, 0.32});
}

void dibujar_suelo(cairo_t *cr, int variante)
{
    const VarianteSuelo &v = VARIANTES_SUELO[static_cast<size_t>(variante)];
    const uint32_t semilla = 77u + static_cast<uint32_t>(variante);
    fuente(cr, SUELO);
    cairo_paint(cr);
    grano(cr, semilla);

    if (v.desgaste)
        mancha_borrosa(cr, [&](cairo_t *c) {
            elipse(c, 18 + 28 * azar(semilla, 1), 18 + 28 * azar(semilla, 2), 10, 7);
        }, 0, 0, 5, NEGRO, 0.18, CAIRO_OPERATOR_OVER);

    switch (v.juntas) {
    case 1: ranura(cr, 3, 32.5, 61, 32.5); break;
    case 2: ranura(cr, 32.5, 3, 32.5, 61); break;
    case 3:
        ranura(cr, 3, 32.5, 61, 32.5);
        ranura(cr, 32.5, 3, 32.5, 32);
        ranura(cr, 32.5, 33.5, 32.5, 61);
        break;
    case 4:
        cairo_set_line_width(cr, 1);
        fuente(cr, NEGRO, 0.3);
        rect_redondeado(cr, 10.5, 10.5, 43, 43, 4);
        cairo_stroke(cr);
        fuente(cr, BLANCO, 0.06);
        rect_redondeado(cr, 11.5, 11.5, 43, 43, 4);
        cairo_stroke(cr);
        break;
    case 5:
        ranura(cr, 40.5, 36, 40.5, 61);
        ranura(cr, 41, 35.5, 61, 35.5);
        break;
    default: break;
    }

    if (v.rejilla) {
        const double ox = (v.rejilla == 2 || v.rejilla == 3) ? 38 : 10;
        const double oy = v.rejilla >= 3 ? 38 : 10;
        for (int i = 0; i < 4; ++i) {
            fuente(cr, NEGRO, 0.45);
            rect_redondeado(cr, ox, oy + i * 4, 16, 2, 1);
            cairo_fill(cr);
            fuente(cr, BLANCO, 0.07);
            cairo_rectangle(cr, ox + 1, oy + i * 4 + 2, 15, 0.8);
            cairo_fill(cr);
        }
    }

    if (v.escotilla) {
        cairo_set_line_width(cr, 1);
        fuente(cr, NEGRO, 0.3);
        circulo(cr, C, C, 15);
        cairo_stroke(cr);
        fuente(cr, BLANCO, 0.07);
        circulo(cr, C + 0.8, C + 1, 15);
        cairo_stroke(cr);
        for (int i = 0; i < 4; ++i) {
            const double a = PI / 4 + i * PI / 2;
            remache(cr, C + 11 * std::cos(a), C + 11 * std::sin(a));
        }
    }

    for (int i = 0; i < v.rayas; ++i) {
        const double x = 8 + 48 * azar(semilla, 10u + static_cast<uint32_t>(i));
        const double y = 8 + 48 * azar(semilla, 20u + static_cast<uint32_t>(i));
        const double a = -0.5 + azar(semilla, 30u + static_cast<uint32_t>(i)) * 0.9;
        const double l = 5 + 9 * azar(semilla, 40u + static_cast<uint32_t>(i));
        cairo_set_line_width(cr, 0.7);
        fuente(cr, Color{0.7, 0.85, 0.9}, 0.07);
        cairo_move_to(cr, x, y);
        cairo_line_to(cr, x + l * std::cos(a), y + l * std::sin(a));
        cairo_stroke(cr);
    }

    static constexpr double REMACHES[8][2] = {{5, 5}, {59, 5}, {59, 59}, {5, 59},
                                              {32, 5}, {59, 32}, {32, 59}, {5, 32}};
    for (int i = 0; i < 8; ++i)
        if (v.remaches & (1 << i))
            remache(cr, REMACHES[i][0], REMACHES[i][1]);

    // Half-block ticks: a faint grid that also lines up with wall blocks.
    ranura(cr, 32.5, 1, 32.5, 3.5, 0.3);
    ranura(cr, 32.5, 60.5, 32.5, 63, 0.3);
    ranura(cr, 1, 32.5, 3.5, 32.5, 0.3);
    ranura(cr, 60.5, 32.5, 63, 32.5, 0.3);

    // Plate lips: lit top and left, dark bottom and right, so neighbouring
    // plates meet in a consistent seam.
    fuente(cr, Color{0.55, 0.75, 0.80}, 0.10);
    cairo_rectangle(cr, 0, 0, LOSETA, 1);
    cairo_rectangle(cr, 0, 1, 1, LOSETA - 2);
    cairo_fill(cr);
    fuente(cr, NEGRO, 0.45);
    cairo_rectangle(cr, 0, LOSETA - 1, LOSETA, 1);
    cairo_rectangle(cr, LOSETA - 1, 1, 1, LOSETA - 2);
    cairo_fill(cr);
}

// ---------------------------------------------------------------- walls

// One 32 x 32 block of absorbing wall: matte black rubber with a soft
// rounded edge and a stipple that swallows the light.
void bloque_absorbente(cairo_t *cr, double x, double y)
{
    fuente(cr, Color{0.045, 0.048, 0.055});
    cairo_rectangle(cr, x, y, 32, 32);
    cairo_fill(cr);
    // Soft pillow shading, wide and low-contrast.
    cairo_pattern_t *g = cairo_pattern_create_radial(x + 13, y + 12, 2, x + 16, y + 16, 24);
    parada(g, 0.0, Color{0.13, 0.14, 0.16}, 1.0);
    parada(g, 0.6, Color{0.075, 0.08, 0.09}, 1.0);
    parada(g, 1.0, Color{0.03, 0.03, 0.035}, 1.0);
    usar_patron(cr, g);
    rect_redondeado(cr, x + 1, y + 1, 30, 30, 5);
    cairo_fill(cr);
    bisel(cr, [&](cairo_t *c) { rect_redondeado(c, x + 1, y + 1, 30, 30, 5); }, 2.5, 0.16, 0.5);
    // Stipple of small pits.
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            const double px = x + 6.5 + i * 4.75 + (j % 2) * 2.3;
            const double py = y + 6.5 + j * 4.75;
            if (px > x + 27)
                continue;
            fuente(cr, NEGRO, 0.55);
            circulo(cr, px, py, 0.9);
            cairo_fill(cr);
            fuente(cr, BLANCO, 0.05);
            circulo(cr, px + 0.6, py + 0.7, 0.7);
            cairo_fill(cr);
        }
    // Cut line round the block so neighbours read as separate blocks.
    fuente(cr, NEGRO, 0.9);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, x + 0.5, y + 0.5, 31, 31);
    cairo_stroke(cr);
}

// One 32 x 32 block of reflecting wall: polished chrome ingot with a crisp
// bevel and a sharp diagonal highlight.
void bloque_reflectante(cairo_t *cr, double x, double y)
{
    cairo_pattern_t *g = cairo_pattern_create_linear(x, y, x + 32, y + 32);
    parada(g, 0.00, Color{0.93, 0.97, 1.00});
    parada(g, 0.30, Color{0.62, 0.69, 0.75});
    parada(g, 0.48, Color{0.36, 0.42, 0.48});
    parada(g, 0.56, Color{0.82, 0.89, 0.94});
    parada(g, 0.75, Color{0.50, 0.57, 0.63});
    parada(g, 1.00, Color{0.30, 0.35, 0.40});
    usar_patron(cr, g);
    cairo_rectangle(cr, x, y, 32, 32);
    cairo_fill(cr);
    // Raised face: bevel faces lit top/left, shaded bottom/right.
    auto cara = [&](double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4,
                    Color col, double a) {
        fuente(cr, col, a);
        cairo_move_to(cr, x1, y1);
        cairo_line_to(cr, x2, y2);
        cairo_line_to(cr, x3, y3);
        cairo_line_to(cr, x4, y4);
        cairo_close_path(cr);
        cairo_fill(cr);
    };
    const double b = 4;
    cara(x, y, x + 32, y, x + 32 - b, y + b, x + b, y + b, BLANCO, 0.55);
    cara(x, y, x + b, y + b, x + b, y + 32 - b, x, y + 32, BLANCO, 0.32);
    cara(x + 32, y, x + 32, y + 32, x + 32 - b, y + 32 - b, x + 32 - b, y + b, NEGRO, 0.35);
    cara(x, y + 32, x + b, y + 32 - b, x + 32 - b, y + 32 - b, x + 32, y + 32, NEGRO, 0.5);
    // Sharp highlight streak across the face.
    cairo_save(cr);
    cairo_rectangle(cr, x + b, y + b, 32 - 2 * b, 32 - 2 * b);
    cairo_clip(cr);
    fuente(cr, BLANCO, 0.85);
    cairo_move_to(cr, x + 8, y + b);
    cairo_line_to(cr, x + 11, y + b);
    cairo_line_to(cr, x + b, y + 11);
    cairo_line_to(cr, x + b, y + 8);
    cairo_close_path(cr);
    cairo_fill(cr);
    fuente(cr, BLANCO, 0.35);
    cairo_move_to(cr, x + 15, y + b);
    cairo_line_to(cr, x + 16.5, y + b);
    cairo_line_to(cr, x + b, y + 16.5);
    cairo_line_to(cr, x + b, y + 15);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_restore(cr);
    // Crisp outline.
    fuente(cr, Color{0.1, 0.12, 0.15}, 0.9);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, x + 0.5, y + 0.5, 31, 31);
    cairo_stroke(cr);
    fuente(cr, BLANCO, 0.9);
    cairo_move_to(cr, x + 1, y + 1.5);
    cairo_line_to(cr, x + 31, y + 1.5);
    cairo_move_to(cr, x + 1.5, y + 1);
    cairo_line_to(cr, x + 1.5, y + 31);
    cairo_stroke(cr);
}

// Quarter mask bits: 1 top-left, 2 top-right, 4 bottom-right, 8 bottom-left.
constexpr double BLOQUES[4][2] = {{0, 0}, {32, 0}, {32, 32}, {0, 32}};

void dibujar_muro(cairo_t *cr, int mascara, bool reflectante)
{
    dibujar_suelo(cr, 0);
    // Contact shadow on the floor blocks next to a wall block, inside the cell.
    for (int i = 0; i < 4; ++i)
        if (mascara & (1 << i))
            sombra(cr, [&](cairo_t *c) { cairo_rectangle(c, BLOQUES[i][0], BLOQUES[i][1], 32, 32); }, 1.2, 0.55);
    for (int i = 0; i < 4; ++i)
        if (mascara & (1 << i)) {
            if (reflectante)
                bloque_reflectante(cr, BLOQUES[i][0], BLOQUES[i][1]);
            else
                bloque_absorbente(cr, BLOQUES[i][0], BLOQUES[i][1]);
        }
}

// ---------------------------------------------------------------- emitter and receiver

// Pulse of a four-frame glow loop.
constexpr double PULSO[4] = {0.4, 0.7, 1.0, 0.7};

void dibujar_emisor(cairo_t *cr, int o, int fase)
{
    dibujar_suelo(cr, 0);
    const double b = PULSO[fase];
    auto cuerpo = [o](cairo_t *c) {
        cairo_save(c);
        orientar(c, o);
        rect_redondeado(c, 9, 5, 46, 36, 6);
        cairo_restore(c);
    };
    auto canon = [o](cairo_t *c) {
        cairo_save(c);
        orientar(c, o);
        rect_redondeado(c, 21, 34, 22, 34, 3); // runs off the edge: the beam leaves there
        cairo_restore(c);
    };
    auto collar = [o](cairo_t *c) {
        cairo_save(c);
        orientar(c, o);
        rect_redondeado(c, 18, 43, 28, 7, 2);
        cairo_restore(c);
    };
    sombra(cr, canon, 1.5);
    pieza(cr, cuerpo, ACERO, 2.0, 2.0);
    pieza(cr, canon, ACERO_OSCURO, 1.2, 1.5);
    pieza(cr, collar, Color{0.42, 0.45, 0.5}, 0.8, 1.2);

    // Cooling fins across the back of the housing.
    cairo_save(cr);
    orientar(cr, o);
    for (int i = 0; i < 4; ++i) {
        const double y = 10.5 + i * 4;
        ranura(cr, 15, y, 49, y, 0.55);
    }
    cairo_restore(cr);

    // Warning lens on the housing and the aperture at the edge.
    cairo_save(cr);
    orientar(cr, o);
    double lx = 32, ly = 30, ax = 32, ay = 62;
    cairo_user_to_device(cr, &lx, &ly);
    cairo_user_to_device(cr, &ax, &ay);
    cairo_restore(cr);

    disco(cr, lx, ly, 6.5, Color{0.08, 0.08, 0.09});
    {
        cairo_pattern_t *g = cairo_pattern_create_radial(lx, ly, 0, lx, ly, 5);
        parada(g, 0.0, mezclar(LASER, BLANCO, 0.5 * b), 0.95);
        parada(g, 0.6, escalar(LASER, 0.6 + 0.4 * b), 0.9);
        parada(g, 1.0, escalar(LASER, 0.25), 0.9);
        usar_patron(cr, g);
        circulo(cr, lx, ly, 4.5);
        cairo_fill(cr);
        fuente(cr, BLANCO, 0.7);
        circulo(cr, lx - 1.5, ly - 1.6, 1.0);
        cairo_fill(cr);
    }
    resplandor(cr, [&](cairo_t *c) { circulo(c, lx, ly, 4); }, LASER, 0.5 * b, 3);

    // The aperture: a lens in the muzzle, hot at the edge the beam leaves by.
    cairo_save(cr);
    orientar(cr, o);
    fuente(cr, NEGRO);
    rect_redondeado(cr, 25, 54, 14, 12, 2);
    cairo_fill(cr);
    cairo_pattern_t *lente = cairo_pattern_create_linear(0, 55, 0, 64);
    parada(lente, 0.0, escalar(LASER, 0.3 + 0.3 * b));
    parada(lente, 1.0, mezclar(LASER, BLANCO, 0.45 * b));
    usar_patron(cr, lente);
    rect_redondeado(cr, 27, 56, 10, 10, 1.5);
    cairo_fill(cr);
    cairo_restore(cr);
    resplandor(cr, [&](cairo_t *c) { circulo(c, ax, ay, 6 + 3 * b); }, LASER, 0.55 + 0.45 * b, 3);
    resplandor(cr, [&](cairo_t *c) { circulo(c, ax, ay, 2 + 1.5 * b); }, mezclar(LASER, BLANCO, 0.7), b, 1);
}

// Receiver: a wide collecting horn facing its opening; its throat shutter is
// closed while waiting and opens, glowing, when the level is done.
void dibujar_receptor(cairo_t *cr, int o, int fase)
{
    dibujar_suelo(cr, 0);
    const bool abierto = fase > 0;
    constexpr double BRILLO[4] = {0.0, 0.7, 1.0, 0.82};
    const double b = BRILLO[fase];
    const Color carcasa{0.30, 0.36, 0.40};
    auto cuerpo = [o](cairo_t *c) {
        cairo_save(c);
        orientar(c, o);
        rect_redondeado(c, 8, 4, 48, 30, 7);
        cairo_restore(c);
    };
    // The horn and its inside: trapezoids widening towards the opening.
    auto trapecio = [o](cairo_t *c, double arriba_i, double arriba_d, double y, double abajo_d,
                        double abajo_i) {
        cairo_save(c);
        orientar(c, o);
        cairo_move_to(c, arriba_i, y);
        cairo_line_to(c, arriba_d, y);
        cairo_line_to(c, abajo_d, 66);
        cairo_line_to(c, abajo_i, 66);
        cairo_close_path(c);
        cairo_restore(c);
    };
    auto bocina = [trapecio](cairo_t *c) { trapecio(c, 19, 45, 26, 58, 6); };
    auto interior = [trapecio](cairo_t *c) { trapecio(c, 24, 40, 32, 51, 13); };
    sombra(cr, bocina, 1.5);
    pieza(cr, cuerpo, carcasa, 2.0, 2.0);
    pieza(cr, bocina, carcasa, 0.1, 2.0);

    // Horn interior: dark, lit from its throat when open. The gradient runs
    // along the horn, so it is set while turned.
    cairo_save(cr);
    orientar(cr, o);
    double tx = 32, ty = 33;
    cairo_user_to_device(cr, &tx, &ty);
    cairo_pattern_t *g = cairo_pattern_create_linear(32, 32, 32, 64);
    parada(g, 0.0, mezclar(Color{0.02, 0.03, 0.035}, VERDE_RECEPTOR, 0.6 * b));
    parada(g, 1.0, mezclar(Color{0.06, 0.08, 0.09}, VERDE_RECEPTOR, 0.15 * b));
    usar_patron(cr, g);
    cairo_new_path(cr);
    cairo_move_to(cr, 24, 32);
    cairo_line_to(cr, 40, 32);
    cairo_line_to(cr, 51, 66);
    cairo_line_to(cr, 13, 66);
    cairo_close_path(cr);
    cairo_fill(cr);
    cairo_restore(cr);
    // Guide ribs down the horn.
    cairo_save(cr);
    orientar(cr, o);
    for (int i = -1; i <= 1; i += 2) {
        cairo_set_line_width(cr, 1);
        fuente(cr, escalar(carcasa, 0.6), 0.9);
        cairo_move_to(cr, 32 + i * 4, 36);
        cairo_line_to(cr, 32 + i * 11, 64);
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    // Throat: sensor lens behind a two-leaf shutter.
    disco(cr, tx, ty, 8.5, Color{0.28, 0.32, 0.36});
    if (abierto) {
        cairo_pattern_t *l = cairo_pattern_create_radial(tx, ty, 0, tx, ty, 6.5);
        parada(l, 0.0, BLANCO);
        parada(l, 0.5, mezclar(VERDE_RECEPTOR, BLANCO, 0.3 * b));
        parada(l, 1.0, escalar(VERDE_RECEPTOR, 0.4 + 0.4 * b));
        usar_patron(cr, l);
        circulo(cr, tx, ty, 6.5);
        cairo_fill(cr);
        resplandor(cr, [&](cairo_t *c) { circulo(c, tx, ty, 8); }, VERDE_RECEPTOR, 0.8 * b, 4);
        resplandor(cr, interior, VERDE_RECEPTOR, 0.25 * b, 3);
    } else {
        // Closed leaves meeting across the lens, with a dim pilot glow at the seam.
        disco(cr, tx, ty, 6.5, Color{0.40, 0.44, 0.48});
        cairo_save(cr);
        orientar(cr, o);
        fuente(cr, NEGRO, 0.8);
        cairo_set_line_width(cr, 1.2);
        cairo_move_to(cr, 25.5, 33);
        cairo_line_to(cr, 38.5, 33);
        cairo_stroke(cr);
        cairo_restore(cr);
        resplandor(cr, [&](cairo_t *c) { circulo(c, tx, ty, 1.6); }, VERDE_RECEPTOR, 0.35, 1);
    }

    // Status lamps on the back of the housing: dim while waiting, chasing when lit.
    for (int i = 0; i < 3; ++i) {
        double x = 22 + i * 10, y = 12;
        cairo_save(cr);
        orientar(cr, o);
        cairo_user_to_device(cr, &x, &y);
        cairo_restore(cr);
        const bool encendida = abierto && (i + 1 == fase || fase == 2);
        disco(cr, x, y, 3, encendida ? mezclar(VERDE_RECEPTOR, BLANCO, 0.3) : Color{0.10, 0.22, 0.16});
        if (encendida)
            resplandor(cr, [&](cairo_t *c) { circulo(c, x, y, 3); }, VERDE_RECEPTOR, 0.8, 2);
    }
}

// ---------------------------------------------------------------- mirrors

void dibujar_espejo(cairo_t *cr, int a, bool encendido)
{
    dibujar_suelo(cr, 0);
    const double grados = a * 11.25;

    // Fixed bezel with ticks every 22.5 degrees: odd mirror angles point
    // between ticks, even ones at a tick, so neighbours differ visibly.
    pieza(cr, [](cairo_t *c) { circulo(c, C, C, 29); }, ACERO_OSCURO, 2.0, 2.0);
    for (int i = 0; i < 16; ++i) {
        const double t = i * PI / 8;
        const double largo = (i % 4 == 0) ? 4.0 : 2.5;
        cairo_set_line_width(cr, i % 4 == 0 ? 1.4 : 1.0);
        fuente(cr, Color{0.62, 0.70, 0.74}, i % 4 == 0 ? 0.9 : 0.6);
        cairo_move_to(cr, C + 28 * std::sin(t), C - 28 * std::cos(t));
        cairo_line_to(cr, C + (28 - largo) * std::sin(t), C - (28 - largo) * std::cos(t));
        cairo_stroke(cr);
    }

    // Turntable.
    sombra(cr, [](cairo_t *c) { circulo(c, C, C, 23.5); }, 0.8, 0.6);
    disco(cr, C, C, 23.5, Color{0.34, 0.37, 0.41});
    cairo_set_line_width(cr, 0.6);
    for (int r = 8; r <= 20; r += 4) {
        fuente(cr, BLANCO, 0.06);
        circulo(cr, C, C, r);
        cairo_stroke(cr);
    }
    bisel(cr, [](cairo_t *c) { circulo(c, C, C, 23.5); }, 1.5, 0.4, 0.5);

    // Pointer notches at both ends of the mirror, touching the bezel ticks.
    cairo_save(cr);
    girar(cr, grados);
    for (int lado = 0; lado < 2; ++lado) {
        const double s = lado ? 1 : -1;
        cairo_move_to(cr, C, C + s * 27.5);
        cairo_line_to(cr, C - 3, C + s * 22.5);
        cairo_line_to(cr, C + 3, C + s * 22.5);
        cairo_close_path(cr);
        fuente(cr, encendido ? mezclar(LASER, BLANCO, 0.5) : CIAN, 0.95);
        cairo_fill_preserve(cr);
        fuente(cr, NEGRO, 0.6);
        cairo_set_line_width(cr, 0.6);
        cairo_stroke(cr);
    }
    cairo_restore(cr);

    auto barra = [grados](cairo_t *c) {
        cairo_save(c);
        girar(c, grados);
        rect_redondeado(c, C - 3.5, C - 21, 7, 42, 2);
        cairo_restore(c);
    };
    auto nucleo = [grados](cairo_t *c) {
        cairo_save(c);
        girar(c, grados);
        cairo_rectangle(c, C - 0.6, C - 19.5, 1.2, 39);
        cairo_restore(c);
    };
    if (encendido)
        resplandor(cr, barra, LASER, 1.0, 4);
    sombra(cr, barra, 1.2, 0.7);
    // Silvered glass on both faces, graded from the light side.
    {
        cairo_new_path(cr);
        barra(cr);
        cairo_pattern_t *g = cairo_pattern_create_linear(C - 22, C - 22, C + 22, C + 22);
        if (encendido) {
            parada(g, 0.0, Color{1.0, 0.93, 0.90});
            parada(g, 0.5, Color{1.0, 0.55, 0.48});
            parada(g, 1.0, Color{0.85, 0.25, 0.20});
        } else {
            parada(g, 0.0, Color{0.95, 0.99, 1.0});
            parada(g, 0.5, Color{0.62, 0.76, 0.84});
            parada(g, 1.0, Color{0.36, 0.46, 0.54});
        }
        usar_patron(cr, g);
        cairo_fill(cr);
    }
    // The reflecting line itself.
    cairo_new_path(cr);
    nucleo(cr);
    fuente(cr, encendido ? BLANCO : Color{0.12, 0.16, 0.20}, encendido ? 1.0 : 0.8);
    cairo_fill(cr);
    if (encendido)
        resplandor(cr, nucleo, mezclar(LASER, BLANCO, 0.5), 0.9, 1);
    bisel(cr, barra, 1.0, 0.6, 0.5);
    cairo_new_path(cr);
    barra(cr);
    fuente(cr, NEGRO, 0.7);
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);

    // Hub pin.
    tornillo(cr, C, C, 2.2);
}

// ---------------------------------------------------------------- polarisers

void dibujar_polarizador(cairo_t *cr, int k, bool reflectante)
{
    dibujar_suelo(cr, 0);
    const double grados = k * 22.5;
    const Color marco = reflectante ? Color{0.66, 0.74, 0.80} : Color{0.24, 0.16, 0.34};
    const Color acento = reflectante ? CIAN : VIOLETA;
    const Color fondo = reflectante ? Color{0.10, 0.32, 0.38} : Color{0.07, 0.03, 0.11};
    const Color listones = reflectante ? Color{0.78, 0.86, 0.90} : Color{0.20, 0.15, 0.27};

    pieza(cr, [](cairo_t *c) { circulo(c, C, C, 27); }, marco, 2.0, 2.5);
    // Accent ring.
    cairo_set_line_width(cr, 1.5);
    fuente(cr, acento, reflectante ? 0.8 : 0.9);
    circulo(cr, C, C, 22.8);
    cairo_stroke(cr);

    // Window: slits along the axis, recessed under the frame.
    cairo_save(cr);
    circulo(cr, C, C, 21.5);
    cairo_clip(cr);
    {
        cairo_pattern_t *g = cairo_pattern_create_radial(C, C, 2, C, C, 22);
        parada(g, 0.0, escalar(fondo, reflectante ? 1.6 : 2.2));
        parada(g, 1.0, escalar(fondo, 0.6));
        usar_patron(cr, g);
        cairo_paint(cr);
    }
    girar(cr, grados);
    for (int i = -4; i <= 4; ++i) {
        const double x = C + i * 5.0;
        cairo_pattern_t *g = cairo_pattern_create_linear(x - 1.6, 0, x + 1.6, 0);
        parada(g, 0.0, escalar(listones, 1.25));
        parada(g, 0.5, listones);
        parada(g, 1.0, escalar(listones, 0.55));
        usar_patron(cr, g);
        cairo_rectangle(cr, x - 1.6, C - 24, 3.2, 48);
        cairo_fill(cr);
    }
    cairo_restore(cr);
    // Inner shadow from the frame lip.
    mancha_borrosa(cr, [](cairo_t *c) {
        cairo_rectangle(c, 0, 0, LOSETA, LOSETA);
        cairo_new_sub_path(c);
        cairo_arc_negative(c, C + 1.5, C + 2, 20.5, 0, -2 * PI);
    }, 0, 0, 2, NEGRO, 0.7, CAIRO_OPERATOR_OVER);
    bisel(cr, [](cairo_t *c) { circulo(c, C, C, 27); }, 2.5, 0.45, 0.5);
    // Redraw the frame ring over the soft inner shadow spill.
    cairo_save(cr);
    circulo(cr, C, C, 27);
    circulo(cr, C, C, 21.5);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_clip(cr);
    relleno_metal(cr, [](cairo_t *c) { circulo(c, C, C, 27); }, marco);
    bisel(cr, [](cairo_t *c) { circulo(c, C, C, 27); }, 2.5, 0.45, 0.5);
    cairo_set_line_width(cr, 1.4);
    fuente(cr, acento, 0.9);
    circulo(cr, C, C, 22.4);
    cairo_stroke(cr);
    cairo_restore(cr);

    // Axis markers on the frame at both ends of the slits.
    cairo_save(cr);
    girar(cr, grados);
    for (int lado = 0; lado < 2; ++lado) {
        const double s = lado ? 1 : -1;
        cairo_move_to(cr, C, C + s * 22);
        cairo_line_to(cr, C - 3.2, C + s * 27.5);
        cairo_line_to(cr, C + 3.2, C + s * 27.5);
        cairo_close_path(cr);
        fuente(cr, mezclar(acento, BLANCO, 0.25));
        cairo_fill_preserve(cr);
        fuente(cr, NEGRO, 0.6);
        cairo_set_line_width(cr, 0.7);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    for (int i = 0; i < 4; ++i) {
        const double t = PI / 4 + i * PI / 2 + grados * PI / 180.0;
        tornillo(cr, C + 24.7 * std::sin(t), C - 24.7 * std::cos(t), 1.5);
    }
}

// ---------------------------------------------------------------- mine

void dibujar_mina(cairo_t *cr, int fase)
{
    dibujar_suelo(cr, 0);
    constexpr double LUZ[4] = {0.35, 0.7, 1.0, 0.55};
    const double l = LUZ[fase];
    auto puas = [](cairo_t *c) {
        for (int i = 0; i < 8; ++i) {
            const double t = i * PI / 4 + PI / 8;
            const double px = std::sin(t), py = -std::cos(t);
            cairo_move_to(c, C + 25 * px, C + 25 * py);
            cairo_line_to(c, C + 12 * px - 4.5 * py, C + 12 * py + 4.5 * px);
            cairo_line_to(c, C + 12 * px + 4.5 * py, C + 12 * py - 4.5 * px);
            cairo_close_path(c);
        }
    };
    auto cuerpo = [](cairo_t *c) { circulo(c, C, C, 16); };
    sombra(cr, [&](cairo_t *c) { puas(c); cuerpo(c); }, 2.0);
    relleno_metal(cr, puas, Color{0.40, 0.42, 0.45}, 0.5);
    bisel(cr, puas, 1.0, 0.5, 0.5);
    disco(cr, C, C, 16, Color{0.20, 0.21, 0.23});
    bisel(cr, cuerpo, 1.5, 0.35, 0.5);
    // Hazard band.
    cairo_save(cr);
    cairo_set_line_width(cr, 3);
    for (int i = 0; i < 16; ++i) {
        fuente(cr, i % 2 ? Color{0.08, 0.08, 0.08} : escalar(AMBAR, 0.8), 0.95);
        cairo_arc(cr, C, C, 12, i * PI / 8, (i + 1) * PI / 8);
        cairo_stroke(cr);
    }
    cairo_restore(cr);
    // Warning light.
    disco(cr, C, C, 7.5, Color{0.10, 0.10, 0.11});
    cairo_pattern_t *g = cairo_pattern_create_radial(C - 1, C - 1, 0, C, C, 5.5);
    parada(g, 0.0, mezclar(LASER, BLANCO, 0.6 * l));
    parada(g, 0.6, escalar(LASER, 0.45 + 0.55 * l));
    parada(g, 1.0, escalar(LASER, 0.3 + 0.2 * l));
    usar_patron(cr, g);
    circulo(cr, C, C, 5.5);
    cairo_fill(cr);
    resplandor(cr, [](cairo_t *c) { circulo(c, C, C, 6); }, LASER, 0.75 * l, static_cast<int>(2 + 3 * l));
    fuente(cr, BLANCO, 0.75);
    circulo(cr, C - 2, C - 2.2, 1.2);
    cairo_fill(cr);
}

// ---------------------------------------------------------------- fibre optics

constexpr Color COLORES_FIBRA[4] = {
    {0.30, 1.00, 0.38}, // green
    {0.30, 0.58, 1.00}, // blue
    {1.00, 0.50, 0.12}, // orange
    {0.80, 0.38, 1.00}, // violet
};

void dibujar_fibra(cairo_t *cr, int par, int fase)
{
    dibujar_suelo(cr, 0);
    const Color col = COLORES_FIBRA[par];
    const double b = 0.35 + 0.65 * fase / 3.0;
    auto placa = [](cairo_t *c) { rect_redondeado(c, 9, 9, 46, 46, 7); };
    pieza(cr, placa, ACERO, 2.0, 2.0);
    for (const double p : {14.5, 49.5})
        for (const double q : {14.5, 49.5})
            tornillo(cr, p, q, 2.0);
    // Colour-coded collar so the pair reads even at its dimmest.
    sombra(cr, [](cairo_t *c) { circulo(c, C, C, 16); }, 1.0);
    disco(cr, C, C, 16, escalar(col, 0.55));
    bisel(cr, [](cairo_t *c) { circulo(c, C, C, 16); }, 1.5, 0.45, 0.5);
    // Steel ferrule.
    disco(cr, C, C, 12, Color{0.55, 0.58, 0.62});
    bisel(cr, [](cairo_t *c) { circulo(c, C, C, 12); }, 1.2, 0.5, 0.5);
    fuente(cr, NEGRO);
    circulo(cr, C, C, 9.5);
    cairo_fill(cr);
    // Bundle end: hexagonally packed fibres, each a glowing point.
    for (int j = -3; j <= 3; ++j)
        for (int i = -3; i <= 3; ++i) {
            const double x = C + (i + (j & 1) * 0.5) * 2.7;
            const double y = C + j * 2.35;
            if (std::hypot(x - C, y - C) > 8.5)
                continue;
            const double d = std::hypot(x - C, y - C) / 8.5;
            fuente(cr, mezclar(escalar(col, 0.35 + 0.65 * b), BLANCO, 0.55 * b * (1 - d)));
            circulo(cr, x, y, 1.05);
            cairo_fill(cr);
        }
    resplandor(cr, [](cairo_t *c) { circulo(c, C, C, 8.5); }, col, 0.3 + 0.5 * b, 3);
    resplandor(cr, [](cairo_t *c) { circulo(c, C, C, 3.5); }, BLANCO, 0.45 * b, 2);
}

// ---------------------------------------------------------------- re-emitter

// Facets of a hexagonal crystal, shaded from the top-left light, tinted
// towards `luz` by `brillo`.
void cristal(cairo_t *cr, double r, Color base, Color luz, double brillo)
{
    for (int i = 0; i < 6; ++i) {
        const double a0 = i * PI / 3, a1 = (i + 1) * PI / 3;
        const double am = (a0 + a1) / 2;
        // Facet normal against the light (coming from the top-left).
        const double luz_faceta = 0.5 + 0.5 * (-std::sin(am) * 0.7071 + std::cos(am) * 0.7071);
        Color c = escalar(base, 0.45 + 0.9 * luz_faceta);
        c = mezclar(c, luz, brillo * (0.55 + 0.35 * luz_faceta));
        fuente(cr, c);
        cairo_move_to(cr, C, C);
        cairo_line_to(cr, C + r * std::sin(a0), C - r * std::cos(a0));
        cairo_line_to(cr, C + r * std::sin(a1), C - r * std::cos(a1));
        cairo_close_path(cr);
        cairo_fill(cr);
    }
    // Facet edges.
    cairo_set_line_width(cr, 0.7);
    fuente(cr, BLANCO, 0.35 + 0.4 * brillo);
    for (int i = 0; i < 6; ++i) {
        const double a = i * PI / 3;
        cairo_move_to(cr, C, C);
        cairo_line_to(cr, C + r * std::sin(a), C - r * std::cos(a));
    }
    cairo_stroke(cr);
    poligono_regular(cr, C, C, r, 6, 0);
    fuente(cr, NEGRO, 0.75);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
}

void dibujar_reemisor(cairo_t *cr, int fase)
{
    dibujar_suelo(cr, 0);
    const double b = fase / 4.0;
    pieza(cr, [](cairo_t *c) { poligono_regular(c, C, C, 25, 6, PI / 6); }, ACERO_OSCURO, 2.0, 2.0);
    // Six prongs holding the crystal.
    for (int i = 0; i < 6; ++i) {
        const double a = i * PI / 3;
        auto diente = [a](cairo_t *c) {
            cairo_save(c);
            cairo_translate(c, C, C);
            cairo_rotate(c, a);
            rect_redondeado(c, -2.2, -21, 4.4, 10, 1.5);
            cairo_restore(c);
        };
        pieza(cr, diente, Color{0.50, 0.53, 0.57}, 0.8, 1.0);
    }
    if (fase > 0) {
        // Scattered rays in fixed odd directions, more and longer as it charges.
        for (int i = 0; i < 2 + fase; ++i) {
            const double t = 2 * PI * azar(501, static_cast<uint32_t>(i));
            const double largo = 16 + 4 * fase;
            auto rayo = [t, largo](cairo_t *c) {
                cairo_save(c);
                cairo_translate(c, C, C);
                cairo_rotate(c, t);
                cairo_move_to(c, -1.2, 0);
                cairo_line_to(c, 0, -largo);
                cairo_line_to(c, 1.2, 0);
                cairo_close_path(c);
                cairo_restore(c);
            };
            resplandor(cr, rayo, LASER, 0.5 + 0.4 * b, 1);
        }
        resplandor(cr, [fase](cairo_t *c) { circulo(c, C, C, 10 + 2 * fase); }, LASER, 0.35 + 0.5 * b, 4);
    }
    sombra(cr, [](cairo_t *c) { poligono_regular(c, C, C, 13, 6, 0); }, 1.0);
    cristal(cr, 13, Color{0.42, 0.55, 0.66}, mezclar(LASER, BLANCO, 0.25), 0.85 * b);
    if (fase > 0)
        resplandor(cr, [fase](cairo_t *c) { circulo(c, C, C, 2.0 + fase); }, mezclar(LASER, BLANCO, 0.7), 0.5 + 0.5 * b, 2);
    else {
        fuente(cr, BLANCO, 0.55);
        circulo(cr, C - 4, C - 5, 1.5);
        cairo_fill(cr);
    }
}

// ---------------------------------------------------------------- targets

// The detonator cell: a bolted octagonal socket holding an amber dome.
void dibujar_diana(cairo_t *cr, double brillo)
{
    auto base = [](cairo_t *c) { poligono_regular(c, C, C, 25, 8, PI / 8); };
    pieza(cr, base, Color{0.26, 0.27, 0.30}, 2.0, 2.0);
    for (int i = 0; i < 4; ++i) {
        const double t = PI / 4 + i * PI / 2;
        tornillo(cr, C + 19 * std::sin(t), C - 19 * std::cos(t), 1.8);
        // Amber sight ticks on the four sides.
        const double u = i * PI / 2;
        cairo_set_line_width(cr, 2);
        fuente(cr, AMBAR, 0.9);
        cairo_move_to(cr, C + 23 * std::sin(u), C - 23 * std::cos(u));
        cairo_line_to(cr, C + 18 * std::sin(u), C - 18 * std::cos(u));
        cairo_stroke(cr);
    }
    // Dark collar, then the glowing dome.
    disco(cr, C, C, 14.5, Color{0.12, 0.12, 0.13});
    resplandor(cr, [](cairo_t *c) { circulo(c, C, C, 12); }, AMBAR, 0.55 * brillo, 4);
    cairo_pattern_t *g = cairo_pattern_create_radial(C - 3.5, C - 4, 0.5, C, C, 11.5);
    parada(g, 0.0, Color{1.0, 0.97, 0.80});
    parada(g, 0.25, Color{1.0, 0.82, 0.35});
    parada(g, 0.7, escalar(AMBAR, 0.6 + 0.4 * brillo));
    parada(g, 1.0, Color{0.55, 0.20, 0.02});
    usar_patron(cr, g);
    circulo(cr, C, C, 11.5);
    cairo_fill(cr);
    // Filament ring inside the dome.
    cairo_set_line_width(cr, 1);
    fuente(cr, Color{1.0, 0.95, 0.7}, 0.55);
    circulo(cr, C, C, 6.5);
    cairo_stroke(cr);
    fuente(cr, BLANCO, 0.8);
    elipse(cr, C - 4, C - 5, 2.8, 1.6);
    cairo_fill(cr);
}

// Soot left where a target burst: heat-tinted metal, a blackened splash with
// ragged streaks, a shallow crater and charred bits of the socket.
void dibujar_quemadura(cairo_t *cr)
{
    // Heat tint: the plate went bronze around the blast.
    mancha_borrosa(cr, [](cairo_t *c) { circulo(c, C, C, 27); }, 0, 0, 4, Color{0.42, 0.26, 0.12}, 0.35,
                   CAIRO_OPERATOR_OVER);
    mancha_borrosa(cr, [](cairo_t *c) {
        for (int i = 0; i < 8; ++i) {
            const double t = 2 * PI * azar(901, static_cast<uint32_t>(i));
            const double d = 9 * azar(902, static_cast<uint32_t>(i));
            circulo(c, C + d * std::cos(t), C + d * std::sin(t), 10 + 7 * azar(903, static_cast<uint32_t>(i)));
        }
    }, 0, 0, 4, Color{0.01, 0.01, 0.01}, 0.92, CAIRO_OPERATOR_OVER);
    // Ragged soot streaks thrown outwards.
    mancha_borrosa(cr, [](cairo_t *c) {
        for (int i = 0; i < 11; ++i) {
            const double t = 2 * PI * (i + azar(904, static_cast<uint32_t>(i)) * 0.8) / 11;
            const double l = 20 + 10 * azar(905, static_cast<uint32_t>(i));
            const double w = 0.12 + 0.12 * azar(909, static_cast<uint32_t>(i));
            cairo_move_to(c, C + 10 * std::cos(t - w), C + 10 * std::sin(t - w));
            cairo_curve_to(c, C + l * 0.7 * std::cos(t - w * 0.5), C + l * 0.7 * std::sin(t - w * 0.5),
                           C + l * std::cos(t), C + l * std::sin(t), C + l * std::cos(t), C + l * std::sin(t));
            cairo_line_to(c, C + 10 * std::cos(t + w), C + 10 * std::sin(t + w));
            cairo_close_path(c);
        }
    }, 0, 0, 1, Color{0.02, 0.015, 0.01}, 0.75, CAIRO_OPERATOR_OVER);
    // Shallow crater: lit on its far (bottom-right) wall.
    cairo_pattern_t *g = cairo_pattern_create_linear(C - 8, C - 8, C + 8, C + 8);
    parada(g, 0.0, Color{0.0, 0.0, 0.0}, 0.9);
    parada(g, 0.6, Color{0.08, 0.06, 0.05}, 0.9);
    parada(g, 1.0, Color{0.35, 0.25, 0.18}, 0.9);
    usar_patron(cr, g);
    elipse(cr, C, C, 8, 7.5);
    cairo_fill(cr);
    // Still-warm ash in the crater.
    mancha_borrosa(cr, [](cairo_t *c) { circulo(c, C + 1, C + 1, 3); }, 0, 0, 2, Color{0.55, 0.18, 0.04}, 0.6,
                   CAIRO_OPERATOR_ADD);
    // Charred, twisted fragments of the socket.
    for (int i = 0; i < 7; ++i) {
        const double t = 2 * PI * (i + 0.6 * azar(906, static_cast<uint32_t>(i))) / 7;
        const double d = 13 + 10 * azar(907, static_cast<uint32_t>(i));
        const double x = C + d * std::cos(t), y = C + d * std::sin(t);
        const double s = 1.8 + 1.8 * azar(908, static_cast<uint32_t>(i));
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_rotate(cr, 6 * azar(910, static_cast<uint32_t>(i)));
        cairo_move_to(cr, -s, -s * 0.3);
        cairo_line_to(cr, -s * 0.2, -s * 0.8);
        cairo_line_to(cr, s, -s * 0.2);
        cairo_line_to(cr, s * 0.4, s * 0.7);
        cairo_line_to(cr, -s * 0.6, s * 0.5);
        cairo_close_path(cr);
        cairo_restore(cr);
        fuente(cr, Color{0.16, 0.15, 0.15});
        cairo_fill_preserve(cr);
        cairo_set_line_width(cr, 0.6);
        fuente(cr, BLANCO, 0.18);
        cairo_stroke(cr);
    }
}

// Embers and flash: hot points that add light.
void chispa(cairo_t *cr, double x, double y, double r, Color col, double alfa)
{
    cairo_pattern_t *g = cairo_pattern_create_radial(x, y, 0, x, y, r);
    parada(g, 0.0, BLANCO, alfa);
    parada(g, 0.35, col, alfa);
    parada(g, 1.0, col, 0.0);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
    usar_patron(cr, g);
    circulo(cr, x, y, r);
    cairo_fill(cr);
    cairo_restore(cr);
}

// Explosion 1: a fireball swells, rolls into smoke and leaves the scorch.
void dibujar_explosion_fuego(cairo_t *cr, int f)
{
    constexpr double DIANA[8] = {1, 0.55, 0.1, 0, 0, 0, 0, 0};
    constexpr double HOLLIN[8] = {0, 0.1, 0.3, 0.5, 0.7, 0.85, 0.95, 1};
    constexpr double RADIO[8] = {7, 17, 24, 28, 27, 23, 16, 0};
    constexpr double CALOR[8] = {1, 1, 0.9, 0.7, 0.5, 0.3, 0.15, 0};
    constexpr double HUMO[8] = {0, 0, 0.2, 0.45, 0.6, 0.55, 0.35, 0};
    dibujar_suelo(cr, 0);
    capa(cr, HOLLIN[f], dibujar_quemadura);
    capa(cr, DIANA[f], [](cairo_t *c) { dibujar_diana(c, 1.0); });
    // Smoke rolls outward under the flame.
    if (HUMO[f] > 0)
        for (int i = 0; i < 7; ++i) {
            const double t = 2 * PI * (i + 0.3 * azar(31, static_cast<uint32_t>(i))) / 7;
            const double d = RADIO[f] * 0.55 + 4;
            const double x = C + d * std::cos(t), y = C + d * std::sin(t);
            const double r = 7 + RADIO[f] * 0.25;
            mancha_borrosa(cr, [&](cairo_t *c) { circulo(c, x, y, r); }, 0, 0, 3, Color{0.12, 0.11, 0.11},
                           HUMO[f], CAIRO_OPERATOR_OVER);
            fuente(cr, BLANCO, 0.06 * HUMO[f]);
            circulo(cr, x - r * 0.3, y - r * 0.3, r * 0.5);
            cairo_fill(cr);
        }
    // Fireball: overlapping hot blobs, cooling from white to deep red.
    const double h = CALOR[f];
    if (RADIO[f] > 0) {
        const Color exterior = mezclar(Color{0.6, 0.05, 0.0}, Color{1.0, 0.45, 0.05}, h);
        const Color interior = mezclar(Color{1.0, 0.45, 0.05}, Color{1.0, 0.95, 0.7}, h);
        for (int i = 0; i < 6; ++i) {
            const double t = 2 * PI * azar(41, static_cast<uint32_t>(i));
            const double d = RADIO[f] * 0.35 * azar(42, static_cast<uint32_t>(i));
            const double x = C + d * std::cos(t), y = C + d * std::sin(t);
            const double r = RADIO[f] * (0.55 + 0.3 * azar(43, static_cast<uint32_t>(i)));
            cairo_pattern_t *g = cairo_pattern_create_radial(x, y, 0, x, y, r);
            parada(g, 0.0, interior, 0.9 * (0.3 + h));
            parada(g, 0.55, exterior, 0.7 * (0.3 + h));
            parada(g, 1.0, exterior, 0.0);
            cairo_save(cr);
            cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
            usar_patron(cr, g);
            circulo(cr, x, y, r);
            cairo_fill(cr);
            cairo_restore(cr);
        }
    }
    if (f == 0) {
        // The instant of the hit: a white star flash over the dome.
        for (int i = 0; i < 4; ++i) {
            auto rayo = [i](cairo_t *c) {
                cairo_save(c);
                cairo_translate(c, C, C);
                cairo_rotate(c, i * PI / 4);
                cairo_move_to(c, -1.5, 0);
                cairo_line_to(c, 0, -(i % 2 ? 14 : 24));
                cairo_line_to(c, 1.5, 0);
                cairo_line_to(c, 0, i % 2 ? 14 : 24);
                cairo_close_path(c);
                cairo_restore(c);
            };
            resplandor(cr, rayo, BLANCO, 0.9, 1);
        }
        chispa(cr, C, C, 10, Color{1.0, 0.9, 0.6}, 1.0);
    }
    // Embers thrown out, cooling as they go.
    if (f >= 2)
        for (int i = 0; i < 9; ++i) {
            const double t = 2 * PI * azar(51, static_cast<uint32_t>(i));
            const double d = 10 + (f - 1) * (3 + 2.5 * azar(52, static_cast<uint32_t>(i)));
            const double x = C + d * std::cos(t), y = C + d * std::sin(t);
            if (x < 2 || y < 2 || x > 62 || y > 62)
                continue;
            chispa(cr, x, y, 2.2, Color{1.0, 0.5, 0.1}, std::max(0.0, 1.0 - f / 8.0));
        }
}

// Explosion 2: the dome shatters; amber shards fly out behind a shock ring.
void dibujar_explosion_esquirlas(cairo_t *cr, int f)
{
    constexpr double HOLLIN[8] = {0, 0.25, 0.45, 0.6, 0.75, 0.88, 0.96, 1};
    dibujar_suelo(cr, 0);
    capa(cr, HOLLIN[f], dibujar_quemadura);
    if (f == 0) {
        dibujar_diana(cr, 1.3);
        // Cracks across the dome.
        cairo_set_line_width(cr, 1.1);
        fuente(cr, Color{0.35, 0.1, 0.0}, 0.9);
        for (int i = 0; i < 5; ++i) {
            const double t = 2 * PI * (i + 0.4 * azar(61, static_cast<uint32_t>(i))) / 5;
            cairo_move_to(cr, C, C);
            cairo_line_to(cr, C + 5 * std::cos(t + 0.3), C + 5 * std::sin(t + 0.3));
            cairo_line_to(cr, C + 11.5 * std::cos(t), C + 11.5 * std::sin(t));
        }
        cairo_stroke(cr);
        chispa(cr, C, C, 14, Color{1.0, 0.8, 0.4}, 0.9);
        return;
    }
    // Remains of the socket fading into the soot.
    capa(cr, std::max(0.0, 0.6 - f * 0.15), [](cairo_t *c) { dibujar_diana(c, 0.2); });
    // Shock ring.
    const double anillo = 6 + f * 5.5;
    const double fuerza = 1.0 - f / 8.0;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
    cairo_set_line_width(cr, 3.5 * fuerza + 0.5);
    fuente(cr, Color{1.0, 0.7, 0.3}, 0.5 * fuerza);
    circulo(cr, C, C, anillo);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 1.2);
    fuente(cr, BLANCO, 0.6 * fuerza);
    circulo(cr, C, C, anillo);
    cairo_stroke(cr);
    cairo_restore(cr);
    // Central flash dying out.
    if (f <= 3)
        chispa(cr, C, C, 16 - 3 * f, Color{1.0, 0.55, 0.1}, 1.0 - f * 0.25);
    // Shards: each flies and spins, glowing amber then cooling to dark glass;
    // by the last frame they are gone and only the scorch is left.
    for (int i = 0; i < 12 && f < 7; ++i) {
        const double t = 2 * PI * (i + 0.5 * azar(71, static_cast<uint32_t>(i))) / 12;
        const double v = 1.6 + 4.4 * azar(72, static_cast<uint32_t>(i));
        const double d = 5 + 3 * azar(75, static_cast<uint32_t>(i)) + f * v;
        const double x = C + d * std::cos(t), y = C + d * std::sin(t);
        if (x < 1 || y < 1 || x > 63 || y > 63)
            continue;
        const double giro = f * (0.6 + azar(73, static_cast<uint32_t>(i)));
        const double s = 2.2 + 2 * azar(74, static_cast<uint32_t>(i));
        const double calor = std::max(0.0, 1.0 - f / 6.0);
        cairo_save(cr);
        cairo_translate(cr, x, y);
        cairo_rotate(cr, giro);
        cairo_move_to(cr, -s, -s * 0.5);
        cairo_line_to(cr, s * 0.8, -s * 0.7);
        cairo_line_to(cr, s * 0.2, s);
        cairo_close_path(cr);
        cairo_restore(cr);
        fuente(cr, mezclar(Color{0.25, 0.12, 0.05}, Color{1.0, 0.75, 0.3}, calor));
        cairo_fill_preserve(cr);
        fuente(cr, mezclar(Color{0.5, 0.4, 0.3}, BLANCO, calor), 0.8);
        cairo_set_line_width(cr, 0.6);
        cairo_stroke(cr);
        if (calor > 0)
            chispa(cr, x, y, 4, AMBAR, 0.5 * calor);
    }
}

// ---------------------------------------------------------------- tea

void dibujar_te(cairo_t *cr)
{
    dibujar_suelo(cr, 0);
    const Color porcelana{0.90, 0.92, 0.94};
    constexpr double cx = 31, cy = 34;
    // Saucer.
    sombra(cr, [](cairo_t *c) { circulo(c, 32, 35, 24); }, 2.0, 0.7);
    disco(cr, 32, 35, 24, escalar(porcelana, 0.95));
    cairo_set_line_width(cr, 1.2);
    fuente(cr, Color{0.25, 0.45, 0.70}, 0.85);
    circulo(cr, 32, 35, 21);
    cairo_stroke(cr);
    bisel(cr, [](cairo_t *c) { circulo(c, 32, 35, 24); }, 2.0, 0.6, 0.35);
    // Spoon resting on the saucer.
    cairo_save(cr);
    cairo_translate(cr, 46, 48);
    cairo_rotate(cr, -0.7);
    fuente(cr, NEGRO, 0.3);
    elipse(cr, 1, 1.2, 3, 4.5);
    cairo_rectangle(cr, 0.2, 4, 1.6, 10);
    cairo_fill(cr);
    fuente(cr, Color{0.78, 0.80, 0.84});
    elipse(cr, 0, 0, 3, 4.5);
    cairo_rectangle(cr, -0.8, 3, 1.6, 10);
    cairo_fill(cr);
    cairo_restore(cr);
    // Handle: a porcelain loop.
    cairo_set_line_width(cr, 3.2);
    fuente(cr, NEGRO, 0.35);
    rect_redondeado(cr, 42.5, cy - 3, 10, 8, 3.5);
    cairo_stroke(cr);
    fuente(cr, escalar(porcelana, 0.9));
    rect_redondeado(cr, 41.5, cy - 4, 10, 8, 3.5);
    cairo_stroke(cr);
    // Cup.
    sombra(cr, [&](cairo_t *c) { circulo(c, cx, cy, 15); }, 2.0, 0.6);
    disco(cr, cx, cy, 15, porcelana);
    fuente(cr, Color{0.25, 0.45, 0.70}, 0.9);
    cairo_set_line_width(cr, 1);
    circulo(cr, cx, cy, 13.7);
    cairo_stroke(cr);
    // Tea.
    cairo_pattern_t *g = cairo_pattern_create_radial(cx - 3, cy - 3, 1, cx, cy, 12);
    parada(g, 0.0, Color{0.72, 0.40, 0.14});
    parada(g, 0.7, Color{0.48, 0.23, 0.07});
    parada(g, 1.0, Color{0.30, 0.13, 0.04});
    usar_patron(cr, g);
    circulo(cr, cx, cy, 12.2);
    cairo_fill(cr);
    fuente(cr, BLANCO, 0.45);
    elipse(cr, cx - 4.5, cy - 5, 3.5, 1.6);
    cairo_fill(cr);
    // Steam: soft wisps curling up off the cup.
    for (int i = 0; i < 3; ++i) {
        const double x0 = cx - 6 + i * 6;
        mancha_borrosa(cr, [x0, i](cairo_t *c) {
            cairo_set_line_width(c, 3.4 - 0.5 * i);
            cairo_set_line_cap(c, CAIRO_LINE_CAP_ROUND);
            cairo_move_to(c, x0, cy + 2);
            cairo_curve_to(c, x0 - 7, cy - 6, x0 + 7, cy - 14, x0 - 1, cy - 22 - 3 * (i % 2));
            cairo_curve_to(c, x0 - 6, cy - 26, x0 + 3, cy - 30, x0 + 1, cy - 33);
            cairo_stroke(c); // the mask is painted; leave no path to fill
        }, 0, 0, 1, Color{0.92, 0.95, 1.0}, 0.5 + 0.12 * i, CAIRO_OPERATOR_OVER);
    }
}

// ---------------------------------------------------------------- masked overlays

// Selection marker: glowing corner brackets joined by a thin frame line;
// everything inside is mask so the cell or a button caption shows through.
void dibujar_seleccion(cairo_t *cr)
{
    auto corchetes = [](cairo_t *c, double ancho, double largo) {
        const double m = 2 + ancho / 2;
        const double lados[4][2] = {{m, m}, {LOSETA - m, m}, {LOSETA - m, LOSETA - m}, {m, LOSETA - m}};
        for (int i = 0; i < 4; ++i) {
            const double x = lados[i][0], y = lados[i][1];
            const double sx = (i == 1 || i == 2) ? -1 : 1;
            const double sy = (i >= 2) ? -1 : 1;
            cairo_move_to(c, x + sx * largo, y);
            cairo_line_to(c, x, y);
            cairo_line_to(c, x, y + sy * largo);
        }
        cairo_set_line_width(c, ancho);
        cairo_set_line_cap(c, CAIRO_LINE_CAP_SQUARE);
        cairo_set_line_join(c, CAIRO_LINE_JOIN_MITER);
        cairo_stroke(c);
    };
    // Thin frame, dark-edged so it reads on light and dark tiles alike.
    cairo_set_line_width(cr, 3);
    fuente(cr, Color{0.02, 0.1, 0.14});
    cairo_rectangle(cr, 3.5, 3.5, LOSETA - 7, LOSETA - 7);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 1);
    fuente(cr, escalar(CIAN, 0.8));
    cairo_rectangle(cr, 3.5, 3.5, LOSETA - 7, LOSETA - 7);
    cairo_stroke(cr);
    fuente(cr, Color{0.02, 0.1, 0.14});
    corchetes(cr, 7, 15);
    fuente(cr, CIAN);
    corchetes(cr, 4, 14);
    fuente(cr, Color{0.85, 1.0, 1.0});
    corchetes(cr, 1.5, 13);
}

// Gate dissolving: sparks and short arcs swarm over the cell, then thin out.
void dibujar_disolucion(cairo_t *cr, int f)
{
    constexpr double FUERZA[8] = {0.3, 0.6, 0.9, 1.0, 0.85, 0.6, 0.35, 0.15};
    const double s = FUERZA[f];
    const int cuantas = static_cast<int>(8 + 34 * s);
    for (int i = 0; i < cuantas; ++i) {
        const uint32_t n = static_cast<uint32_t>(i + f * 61);
        const double x = 4 + 56 * azar(81, n);
        const double y = 4 + 56 * azar(82, n);
        const double r = 1.2 + 2.3 * s * azar(83, n);
        const Color col = azar(84, n) < 0.6 ? CIAN : (azar(85, n) < 0.5 ? BLANCO : VERDE_RECEPTOR);
        if (azar(86, n) < 0.3) {
            // A short crackling arc.
            const double t = 2 * PI * azar(87, n);
            const double l = 4 + 6 * s;
            cairo_set_line_width(cr, 2.6);
            fuente(cr, Color{0.02, 0.1, 0.14});
            cairo_move_to(cr, x, y);
            cairo_line_to(cr, x + l * 0.5 * std::cos(t + 0.6), y + l * 0.5 * std::sin(t + 0.6));
            cairo_line_to(cr, x + l * std::cos(t), y + l * std::sin(t));
            cairo_stroke_preserve(cr);
            cairo_set_line_width(cr, 1.2);
            fuente(cr, col);
            cairo_stroke(cr);
        } else {
            // A four-pointed spark.
            cairo_move_to(cr, x, y - r * 1.8);
            cairo_line_to(cr, x + r * 0.45, y - r * 0.45);
            cairo_line_to(cr, x + r * 1.8, y);
            cairo_line_to(cr, x + r * 0.45, y + r * 0.45);
            cairo_line_to(cr, x, y + r * 1.8);
            cairo_line_to(cr, x - r * 0.45, y + r * 0.45);
            cairo_line_to(cr, x - r * 1.8, y);
            cairo_line_to(cr, x - r * 0.45, y - r * 0.45);
            cairo_close_path(cr);
            fuente(cr, Color{0.02, 0.1, 0.14});
            cairo_set_line_width(cr, 1.6);
            cairo_stroke_preserve(cr);
            fuente(cr, col);
            cairo_fill(cr);
            fuente(cr, BLANCO);
            circulo(cr, x, y, std::max(0.8, r * 0.35));
            cairo_fill(cr);
        }
    }
}

// Gremlin seen from above, walking up the screen: big ears, glowing eyes,
// feet and arms swinging in a four-step cycle.
void dibujar_duende(cairo_t *cr, int f)
{
    constexpr double PASO[4] = {5, 0, -5, 0};
    constexpr double BOTE[4] = {0, -1, 0, -1};
    const double p = PASO[f], yb = BOTE[f];
    const Color piel{0.36, 0.74, 0.22};
    const Color piel_oscura{0.18, 0.42, 0.10};
    const Color contorno{0.04, 0.10, 0.03};

    // Every part: dark outline first, then a lit fill.
    auto parte = [&](auto camino, Color col) {
        cairo_new_path(cr);
        camino(cr);
        fuente(cr, contorno);
        cairo_set_line_width(cr, 2.4);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke_preserve(cr);
        double x1, y1, x2, y2;
        cairo_path_extents(cr, &x1, &y1, &x2, &y2);
        cairo_pattern_t *g = cairo_pattern_create_linear(x1, y1, x2, y2);
        parada(g, 0.0, escalar(col, 1.35));
        parada(g, 1.0, escalar(col, 0.75));
        usar_patron(cr, g);
        cairo_fill(cr);
    };
    // Tail swishing behind.
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, 32, 46 + yb);
    cairo_curve_to(cr, 32 + p, 52, 40 - p, 56, 44 - p * 0.6, 60);
    fuente(cr, contorno);
    cairo_set_line_width(cr, 4.5);
    cairo_stroke_preserve(cr);
    fuente(cr, piel_oscura);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    parte([&](cairo_t *c) {
        cairo_move_to(c, 44 - p * 0.6, 56);
        cairo_line_to(c, 48 - p * 0.6, 62);
        cairo_line_to(c, 41 - p * 0.6, 61);
        cairo_close_path(c);
    }, piel_oscura);
    // Feet.
    parte([&](cairo_t *c) { elipse(c, 25, 45 - p + yb, 4, 5.5); }, piel_oscura);
    parte([&](cairo_t *c) { elipse(c, 39, 45 + p + yb, 4, 5.5); }, piel_oscura);
    // Arms swing opposite to the feet, claws out.
    parte([&](cairo_t *c) { elipse(c, 19, 34 + p * 0.8 + yb, 3.5, 5.5); }, piel);
    parte([&](cairo_t *c) { elipse(c, 45, 34 - p * 0.8 + yb, 3.5, 5.5); }, piel);
    // Body.
    parte([&](cairo_t *c) { elipse(c, 32, 38 + yb, 11, 12); }, piel);
    fuente(cr, piel_oscura, 0.9);
    for (int i = 0; i < 3; ++i) {
        elipse(cr, 32, 36 + i * 5 + yb, 4.5 - i, 1.2);
        cairo_fill(cr);
    }
    // Ears: long, pointed, flared sideways.
    parte([&](cairo_t *c) {
        cairo_move_to(c, 24, 19 + yb);
        cairo_curve_to(c, 16, 12 + yb, 8, 11 + yb, 3, 8 + yb);
        cairo_curve_to(c, 9, 18 + yb, 14, 25 + yb, 24, 27 + yb);
        cairo_close_path(c);
    }, piel);
    parte([&](cairo_t *c) {
        cairo_move_to(c, 40, 19 + yb);
        cairo_curve_to(c, 48, 12 + yb, 56, 11 + yb, 61, 8 + yb);
        cairo_curve_to(c, 55, 18 + yb, 50, 25 + yb, 40, 27 + yb);
        cairo_close_path(c);
    }, piel);
    fuente(cr, Color{0.85, 0.45, 0.45});
    for (const double s : {-1.0, 1.0}) {
        cairo_move_to(cr, 32 + s * 10, 20.5 + yb);
        cairo_curve_to(cr, 32 + s * 16, 16 + yb, 32 + s * 21, 14.5 + yb, 32 + s * 25, 13 + yb);
        cairo_curve_to(cr, 32 + s * 20, 19 + yb, 32 + s * 16, 23 + yb, 32 + s * 10, 24.5 + yb);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
    // Head.
    parte([&](cairo_t *c) { elipse(c, 32, 22 + yb, 10, 9.5); }, piel);
    // Eyes: glowing yellow with slit pupils, and a wicked grin.
    for (const double s : {-1.0, 1.0}) {
        fuente(cr, contorno);
        elipse(cr, 32 + s * 4.2, 19.5 + yb, 3.3, 2.6);
        cairo_fill(cr);
        fuente(cr, Color{1.0, 0.92, 0.2});
        elipse(cr, 32 + s * 4.2, 19.5 + yb, 2.5, 1.9);
        cairo_fill(cr);
        fuente(cr, contorno);
        elipse(cr, 32 + s * 4.2, 19.5 + yb, 0.7, 1.8);
        cairo_fill(cr);
    }
    fuente(cr, contorno);
    cairo_move_to(cr, 26.5, 24.5 + yb);
    cairo_curve_to(cr, 29, 28.5 + yb, 35, 28.5 + yb, 37.5, 24.5 + yb);
    cairo_curve_to(cr, 35, 26.5 + yb, 29, 26.5 + yb, 26.5, 24.5 + yb);
    cairo_close_path(cr);
    cairo_fill(cr);
    fuente(cr, Color{0.95, 0.95, 0.85});
    for (const double x : {29.5, 34.5}) {
        cairo_move_to(cr, x - 1, 26 + yb);
        cairo_line_to(cr, x + 1, 26 + yb);
        cairo_line_to(cr, x, 27.6 + yb);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
}

// ---------------------------------------------------------------- sheet

static_assert(NUM_LOSETAS == NUM_LOSETAS_HOJA);

bool es_enmascarada(int i)
{
    const dibujo_loseta d = loseta_de_hoja(i).dibujo;
    return d == D_SELECCION || d == D_DISOLUCION || d == D_DUENDE;
}

void dibujar_loseta(cairo_t *cr, int i)
{
    const loseta_hoja l = loseta_de_hoja(i);
    const int v = l.variante;
    switch (l.dibujo) {
    case D_EMISOR: dibujar_emisor(cr, v, l.fase); break;
    case D_ESPEJO: dibujar_espejo(cr, v, false); break;
    case D_MURO: dibujar_muro(cr, v, false); break;
    case D_SELECCION: dibujar_seleccion(cr); break;
    case D_MURO_REFLECTANTE: dibujar_muro(cr, v, true); break;
    case D_TE: dibujar_te(cr); break;
    case D_POLARIZADOR_REFLECTANTE: dibujar_polarizador(cr, v, true); break;
    case D_POLARIZADOR_ABSORBENTE: dibujar_polarizador(cr, v, false); break;
    case D_SUELO: dibujar_suelo(cr, v); break;
    case D_MINA: dibujar_mina(cr, v); break;
    case D_FIBRA: dibujar_fibra(cr, v, l.fase); break;
    case D_ESPEJO_ENCENDIDO: dibujar_espejo(cr, v, true); break;
    case D_REEMISOR: dibujar_reemisor(cr, v); break;
    case D_SUELO_RECOMPUESTO: dibujar_suelo(cr, 0); break; // overwritten by the game at run time
    case D_QUEMADURA:
        dibujar_suelo(cr, 0);
        dibujar_quemadura(cr);
        break;
    case D_DIANA:
        dibujar_suelo(cr, 0);
        dibujar_diana(cr, 1.0);
        break;
    case D_EXPLOSION_FUEGO: dibujar_explosion_fuego(cr, v); break;
    case D_EXPLOSION_ESQUIRLAS: dibujar_explosion_esquirlas(cr, v); break;
    case D_DISOLUCION: dibujar_disolucion(cr, v); break;
    case D_RECEPTOR: dibujar_receptor(cr, v, l.fase); break;
    case D_DUENDE: dibujar_duende(cr, v); break;
    }
}

// Makes every pixel opaque. Masked tiles: under half coverage becomes the
// mask colour, the rest keeps its own (un-blended) colour so no pink fringe
// appears. No other pixel may come out as the mask colour once the game
// reduces it to 5-6-5 bits, so near-magenta is pushed away from it.
void fijar_pixeles(cairo_surface_t *s, bool enmascarada)
{
    cairo_surface_flush(s);
    unsigned char *d = cairo_image_surface_get_data(s);
    const int st = cairo_image_surface_get_stride(s);
    for (int y = 0; y < LOSETA; ++y) {
        auto *fila = reinterpret_cast<uint32_t *>(d + y * st);
        for (int x = 0; x < LOSETA; ++x) {
            const uint32_t p = fila[x];
            const uint32_t a = p >> 24;
            uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
            if (enmascarada) {
                if (a < 128) {
                    fila[x] = 0xFFFF00FFu;
                    continue;
                }
                r = std::min(255u, r * 255 / a);
                g = std::min(255u, g * 255 / a);
                b = std::min(255u, b * 255 / a);
            }
            // Non-masked tiles are opaque already; anything left over is
            // taken as drawn over black, which premultiplied values are.
            if (r >= 232 && g < 24 && b >= 232)
                g = 24;
            fila[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(s);
}

} // namespace

void rect_redondeado(cairo_t *cr, double x, double y, double w, double h, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, PI / 2, PI);
    cairo_arc(cr, x + r, y + r, r, PI, 3 * PI / 2);
    cairo_close_path(cr);
}

void dibujar_hoja_losetas(cairo_t *cr)
{
    cairo_surface_t *loseta = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, LOSETA, LOSETA);
    for (int i = 0; i < NUM_LOSETAS; ++i) {
        cairo_t *c = cairo_create(loseta);
        cairo_set_operator(c, CAIRO_OPERATOR_CLEAR);
        cairo_paint(c);
        cairo_set_operator(c, CAIRO_OPERATOR_OVER);
        cairo_set_antialias(c, CAIRO_ANTIALIAS_GOOD);
        dibujar_loseta(c, i);
        cairo_destroy(c);
        fijar_pixeles(loseta, es_enmascarada(i));

        const double x = LOSETA * (i % 4), y = LOSETA * (i / 4);
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, loseta, x, y);
        cairo_rectangle(cr, x, y, LOSETA, LOSETA);
        cairo_fill(cr);
        cairo_restore(cr);
    }
    cairo_surface_destroy(loseta);
}
