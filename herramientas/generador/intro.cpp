// intro.dat: the title card shown on the intro's blue-grey screen, and the
// sound that plays with it.
#include "sonido.h"

#include <cmath>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int CARTA_ANCHO = 900, CARTA_ALTO = 520;

struct Rgb {
    double r, g, b;
};

void color(cairo_t *cr, Rgb c, double a = 1)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, a);
}

uint32_t semilla = 0x9E3779B9u;
double azar()
{
    semilla ^= semilla << 13;
    semilla ^= semilla >> 17;
    semilla ^= semilla << 5;
    return double(semilla) / 4294967296.0;
}

void tornillo(cairo_t *cr, double x, double y, double radio, double angulo)
{
    cairo_arc(cr, x + 0.7, y + 0.9, radio + 1, 0, 2 * PI);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
    cairo_fill(cr);
    cairo_pattern_t *g = cairo_pattern_create_radial(x - radio * 0.4, y - radio * 0.4, radio * 0.1, x, y, radio);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.82, 0.86, 0.89);
    cairo_pattern_add_color_stop_rgb(g, 0.6, 0.58, 0.63, 0.67);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.30, 0.33, 0.36);
    cairo_arc(cr, x, y, radio, 0, 2 * PI);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    const double c = std::cos(angulo) * radio * 0.75, s = std::sin(angulo) * radio * 0.75;
    cairo_set_line_width(cr, radio * 0.3);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_move_to(cr, x - c, y - s);
    cairo_line_to(cr, x + c, y + s);
    cairo_set_source_rgb(cr, 0.16, 0.18, 0.20);
    cairo_stroke(cr);
}

// A stretch of beam: a wide soft glow, a red body and a white-hot core.
void rayo(cairo_t *cr, const double (*p)[2], int n)
{
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    const struct {
        double ancho, a;
        Rgb c;
    } capas[] = {{34, 0.05, {1, 0.1, 0.05}}, {20, 0.10, {1, 0.15, 0.08}}, {11, 0.25, {1, 0.2, 0.1}},
                 {6, 0.85, {1, 0.16, 0.10}}, {2.5, 1, {1, 0.85, 0.75}}};
    for (const auto &c : capas) {
        cairo_move_to(cr, p[0][0], p[0][1]);
        for (int i = 1; i < n; ++i)
            cairo_line_to(cr, p[i][0], p[i][1]);
        color(cr, c.c, c.a);
        cairo_set_line_width(cr, c.ancho);
        cairo_stroke(cr);
    }
}

// A soft star of light where the beam strikes.
void destello(cairo_t *cr, double x, double y, double radio)
{
    cairo_pattern_t *g = cairo_pattern_create_radial(x, y, 0, x, y, radio);
    cairo_pattern_add_color_stop_rgba(g, 0, 1, 0.95, 0.9, 0.95);
    cairo_pattern_add_color_stop_rgba(g, 0.15, 1, 0.4, 0.3, 0.6);
    cairo_pattern_add_color_stop_rgba(g, 1, 1, 0.1, 0.05, 0);
    cairo_arc(cr, x, y, radio, 0, 2 * PI);
    cairo_set_source(cr, g);
    cairo_fill(cr);
    cairo_pattern_destroy(g);
    cairo_set_line_width(cr, 1.5);
    for (int i = 0; i < 4; ++i) {
        const double a = i * PI / 4 + 0.2;
        cairo_move_to(cr, x - std::cos(a) * radio * 1.3, y - std::sin(a) * radio * 1.3);
        cairo_line_to(cr, x + std::cos(a) * radio * 1.3, y + std::sin(a) * radio * 1.3);
        cairo_set_source_rgba(cr, 1, 0.8, 0.7, i % 2 ? 0.35 : 0.7);
        cairo_stroke(cr);
    }
}

// The emitter: a ribbed housing with a lens facing right.
void emisor(cairo_t *cr, double x, double y)
{
    cairo_pattern_t *g = cairo_pattern_create_linear(0, y - 34, 0, y + 34);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.55, 0.60, 0.64);
    cairo_pattern_add_color_stop_rgb(g, 0.45, 0.28, 0.31, 0.34);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.10, 0.12, 0.14);
    cairo_rectangle(cr, x, y - 34, 120, 68);
    cairo_set_source(cr, g);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(g);
    cairo_set_source_rgb(cr, 0.03, 0.03, 0.04);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    for (int i = 0; i < 6; ++i) {
        cairo_rectangle(cr, x + 14 + i * 12, y - 22, 5, 44);
        cairo_set_source_rgb(cr, 0.06, 0.07, 0.08);
        cairo_fill(cr);
    }
    // Barrel and lens.
    cairo_rectangle(cr, x + 120, y - 16, 36, 32);
    cairo_pattern_t *b = cairo_pattern_create_linear(0, y - 16, 0, y + 16);
    cairo_pattern_add_color_stop_rgb(b, 0, 0.75, 0.80, 0.84);
    cairo_pattern_add_color_stop_rgb(b, 0.5, 0.35, 0.38, 0.42);
    cairo_pattern_add_color_stop_rgb(b, 1, 0.12, 0.14, 0.16);
    cairo_set_source(cr, b);
    cairo_fill(cr);
    cairo_pattern_destroy(b);
    cairo_arc(cr, x + 104, y - 20, 4, 0, 2 * PI);
    cairo_set_source_rgb(cr, 1, 0.25, 0.1);
    cairo_fill(cr);
    tornillo(cr, x + 8, y - 27, 3.5, 0.3);
    tornillo(cr, x + 8, y + 27, 3.5, 1.2);
}

// A mirror on its pivot, at `angulo` radians.
void espejo(cairo_t *cr, double x, double y, double angulo)
{
    cairo_arc(cr, x, y, 24, 0, 2 * PI);
    cairo_set_source_rgb(cr, 0.12, 0.14, 0.16);
    cairo_fill(cr);
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, angulo);
    cairo_rectangle(cr, -40, -6, 80, 12);
    cairo_pattern_t *g = cairo_pattern_create_linear(0, -6, 0, 6);
    cairo_pattern_add_color_stop_rgb(g, 0, 0.95, 0.98, 1.0);
    cairo_pattern_add_color_stop_rgb(g, 0.5, 0.55, 0.75, 0.85);
    cairo_pattern_add_color_stop_rgb(g, 1, 0.20, 0.30, 0.36);
    cairo_set_source(cr, g);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(g);
    cairo_set_source_rgb(cr, 0.03, 0.04, 0.05);
    cairo_set_line_width(cr, 1.5);
    cairo_stroke(cr);
    cairo_restore(cr);
    tornillo(cr, x, y, 5, 0.8);
}

// Copies a masked picture (magenta transparent) onto `destino` at (x, y).
void pegar_enmascarado(cairo_surface_t *destino, cairo_surface_t *origen, int x, int y)
{
    cairo_surface_flush(destino);
    cairo_surface_flush(origen);
    const int w = cairo_image_surface_get_width(origen), h = cairo_image_surface_get_height(origen);
    for (int j = 0; j < h; ++j) {
        const auto *o = reinterpret_cast<const uint32_t *>(cairo_image_surface_get_data(origen) +
                                                           size_t(j) * size_t(cairo_image_surface_get_stride(origen)));
        auto *d = reinterpret_cast<uint32_t *>(cairo_image_surface_get_data(destino) +
                                               size_t(y + j) * size_t(cairo_image_surface_get_stride(destino)));
        for (int i = 0; i < w; ++i)
            if ((o[i] | 0xFF000000u) != 0xFFFF00FFu)
                d[x + i] = o[i] | 0xFF000000u;
    }
    cairo_surface_mark_dirty(destino);
}

cairo_surface_t *dibujar_carta(cairo_font_face_t *cara)
{
    cairo_surface_t *s = nueva_superficie(CARTA_ANCHO, CARTA_ALTO);
    cairo_t *cr = cairo_create(s);

    // The lab wall: dark steel panels, a faint grid of seams, a few lights.
    cairo_pattern_t *fondo = cairo_pattern_create_linear(0, 0, 0, CARTA_ALTO);
    cairo_pattern_add_color_stop_rgb(fondo, 0, 0.10, 0.12, 0.14);
    cairo_pattern_add_color_stop_rgb(fondo, 0.6, 0.05, 0.06, 0.08);
    cairo_pattern_add_color_stop_rgb(fondo, 1, 0.08, 0.09, 0.10);
    cairo_set_source(cr, fondo);
    cairo_paint(cr);
    cairo_pattern_destroy(fondo);
    cairo_set_line_width(cr, 1);
    for (int i = 0; i < 700; ++i) {
        const double y = azar() * CARTA_ALTO, x = azar() * CARTA_ANCHO, l = 40 + azar() * 200;
        cairo_move_to(cr, x, y + 0.5);
        cairo_line_to(cr, x + l, y + 0.5);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.015 + 0.02 * azar());
        cairo_stroke(cr);
    }
    for (int x = 150; x < CARTA_ANCHO; x += 150) {
        cairo_move_to(cr, x + 0.5, 0);
        cairo_line_to(cr, x + 0.5, CARTA_ALTO);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
        cairo_stroke(cr);
        cairo_move_to(cr, x + 1.5, 0);
        cairo_line_to(cr, x + 1.5, CARTA_ALTO);
        cairo_set_source_rgba(cr, 1, 1, 1, 0.06);
        cairo_stroke(cr);
    }
    for (int y = 130; y < CARTA_ALTO; y += 130) {
        cairo_move_to(cr, 0, y + 0.5);
        cairo_line_to(cr, CARTA_ANCHO, y + 0.5);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
        cairo_stroke(cr);
    }
    for (int x = 150; x < CARTA_ANCHO; x += 150)
        for (int y = 130; y < CARTA_ALTO; y += 130)
            tornillo(cr, x + 1, y + 1, 3, x * 0.07 + y * 0.03);
    const double luces[][3] = {{70, 60, 0}, {92, 60, 1}, {820, 470, 2}, {842, 470, 0}, {864, 470, 1}};
    for (const auto &l : luces) {
        const Rgb c = l[2] == 0 ? Rgb{0.35, 0.95, 1.0} : (l[2] == 1 ? Rgb{1.0, 0.7, 0.2} : Rgb{0.4, 1.0, 0.4});
        cairo_arc(cr, l[0], l[1], 9, 0, 2 * PI);
        color(cr, c, 0.15);
        cairo_fill(cr);
        cairo_arc(cr, l[0], l[1], 4, 0, 2 * PI);
        color(cr, c);
        cairo_fill(cr);
    }

    // The beam: from the emitter across the card to a mirror, and up and
    // away past the title, under the frame.
    const double y_rayo = 392;
    emisor(cr, 60, y_rayo);
    const double xe = 760;
    const double tramo1[][2] = {{216, y_rayo}, {xe, y_rayo}};
    const double tramo2[][2] = {{xe, y_rayo}, {xe + 500 * std::cos(-1.15), y_rayo + 500 * std::sin(-1.15)}};
    rayo(cr, tramo1, 2);
    rayo(cr, tramo2, 2);
    espejo(cr, xe, y_rayo, (PI - 1.15) / 2 + PI / 2);
    destello(cr, 216, y_rayo, 26);
    destello(cr, xe, y_rayo, 34);

    // Bevelled steel frame with screws at the corners.
    const double M = 14;
    cairo_rectangle(cr, 0, 0, CARTA_ANCHO, CARTA_ALTO);
    cairo_rectangle(cr, M, CARTA_ALTO - M, CARTA_ANCHO - 2 * M, -(CARTA_ALTO - 2 * M));
    cairo_pattern_t *marco = cairo_pattern_create_linear(0, 0, CARTA_ANCHO * 0.3, CARTA_ALTO);
    cairo_pattern_add_color_stop_rgb(marco, 0, 0.70, 0.75, 0.79);
    cairo_pattern_add_color_stop_rgb(marco, 0.5, 0.36, 0.40, 0.44);
    cairo_pattern_add_color_stop_rgb(marco, 1, 0.20, 0.22, 0.25);
    cairo_set_source(cr, marco);
    cairo_fill(cr);
    cairo_pattern_destroy(marco);
    cairo_rectangle(cr, M - 0.5, M - 0.5, CARTA_ANCHO - 2 * M + 1, CARTA_ALTO - 2 * M + 1);
    cairo_set_source_rgb(cr, 0.02, 0.02, 0.03);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
    cairo_rectangle(cr, 0.5, 0.5, CARTA_ANCHO - 1, CARTA_ALTO - 1);
    cairo_stroke(cr);
    for (int i = 0; i < 4; ++i)
        tornillo(cr, i % 2 ? CARTA_ANCHO - 7.5 : 7.5, i / 2 ? CARTA_ALTO - 7.5 : 7.5, 4.5, i * 0.9);
    cairo_destroy(cr);

    // The game's logo, the same as on the main menu.
    cairo_surface_t *logo = dibujar_logo(cara);
    pegar_enmascarado(s, logo, (CARTA_ANCHO - LOGO_ANCHO) / 2, 120);
    cairo_surface_destroy(logo);
    apartar_de_magenta(s);
    return s;
}

} // namespace

bool generar_intro(cairo_font_face_t *cara, const std::string &carpeta, std::string &error)
{
    cairo_surface_t *carta = dibujar_carta(cara);
    const cairo_status_t st = cairo_surface_write_to_png(carta, (carpeta + "intro.png").c_str());
    if (st != CAIRO_STATUS_SUCCESS) {
        error = "cannot write " + carpeta + "intro.png: " + cairo_status_to_string(st);
        cairo_surface_destroy(carta);
        return false;
    }
    const std::vector<int16_t> pcm = a_pcm16(sonido_intro());
    const std::vector<ObjetoDat> objetos = {
        {DAT_ID_BITMAP, "CARTA", codificar_bitmap(carta)},
        {DAT_ID_SAMPLE, "FIRMA", codificar_sample(pcm, FRECUENCIA)},
    };
    cairo_surface_destroy(carta);
    return guardar_wav(carpeta + "intro.wav", pcm, 1, error) &&
           escribir_datafile(carpeta + "intro.dat", objetos, error);
}
