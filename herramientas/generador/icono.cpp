// The program's icon for desktop menus: a mirror on the board's teal floor,
// in its riveted steel frame, turning the green beam onto a glowing target.
// Drawn as vectors in a 256-unit square, so every size is drawn, not scaled.
#include "generador.h"

#include <cmath>
#include <string>

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double LADO = 256.0;

// Where the beam goes: in from the left edge, off the mirror, into the target.
constexpr double ESPEJO_X = 92, ESPEJO_Y = 168, ESPEJO_R = 50;
constexpr double DIANA_X = 176, DIANA_Y = 84, DIANA_R = 34;
constexpr double ENTRADA_X = 26;

// Light from the top-left, as on the board.
cairo_pattern_t *degradado_metal(double x0, double y0, double x1, double y1, double claro, double oscuro)
{
    cairo_pattern_t *p = cairo_pattern_create_linear(x0, y0, x1, y1);
    cairo_pattern_add_color_stop_rgb(p, 0, claro, claro + 0.02, claro + 0.05);
    cairo_pattern_add_color_stop_rgb(p, 1, oscuro, oscuro + 0.01, oscuro + 0.03);
    return p;
}

void usar(cairo_t *cr, cairo_pattern_t *p)
{
    cairo_set_source(cr, p);
    cairo_pattern_destroy(p);
}

void tornillo(cairo_t *cr, double x, double y)
{
    cairo_arc(cr, x, y, 6, 0, 2 * PI);
    usar(cr, degradado_metal(x - 6, y - 6, x + 6, y + 6, 0.78, 0.22));
    cairo_fill(cr);
    cairo_move_to(cr, x - 4, y + 1.5);
    cairo_line_to(cr, x + 4, y - 1.5);
    cairo_set_source_rgba(cr, 0.05, 0.06, 0.07, 0.8);
    cairo_set_line_width(cr, 2);
    cairo_stroke(cr);
}

void marco_y_suelo(cairo_t *cr)
{
    rect_redondeado(cr, 6, 6, LADO - 12, LADO - 12, 34);
    usar(cr, degradado_metal(6, 6, LADO - 6, LADO - 6, 0.80, 0.20));
    cairo_fill(cr);
    rect_redondeado(cr, 24, 24, LADO - 48, LADO - 48, 20);
    usar(cr, degradado_metal(24, 24, LADO - 24, LADO - 24, 0.12, 0.55));
    cairo_fill(cr);

    // The floor: deep teal, a panel seam and two vents.
    rect_redondeado(cr, 28, 28, LADO - 56, LADO - 56, 17);
    cairo_pattern_t *suelo = cairo_pattern_create_linear(28, 28, LADO - 28, LADO - 28);
    cairo_pattern_add_color_stop_rgb(suelo, 0, 0.11, 0.19, 0.22);
    cairo_pattern_add_color_stop_rgb(suelo, 1, 0.05, 0.10, 0.12);
    usar(cr, suelo);
    cairo_fill_preserve(cr);
    cairo_save(cr);
    cairo_clip(cr);
    cairo_set_line_width(cr, 3);
    cairo_set_source_rgba(cr, 0, 0.02, 0.03, 0.55);
    cairo_move_to(cr, 28, 128);
    cairo_line_to(cr, LADO - 28, 128);
    cairo_move_to(cr, 128, 28);
    cairo_line_to(cr, 128, LADO - 28);
    cairo_stroke(cr);
    for (int i = 0; i < 3; ++i) {
        cairo_move_to(cr, 48, 52 + 9 * i);
        cairo_line_to(cr, 84, 52 + 9 * i);
        cairo_move_to(cr, 172, 186 + 9 * i);
        cairo_line_to(cr, 208, 186 + 9 * i);
    }
    cairo_stroke(cr);
    cairo_restore(cr);

    // Screws halfway along each side: the rounded corners leave no room.
    tornillo(cr, LADO / 2, 15);
    tornillo(cr, LADO / 2, LADO - 15);
    tornillo(cr, 15, LADO / 2);
    tornillo(cr, LADO - 15, LADO / 2);
}

// A shape's glow: the same path stroked wide and faint, then narrow and
// bright, added as light adds.
void brillo_linea(cairo_t *cr, double r, double g, double b)
{
    const double anchos[] = {30, 20, 12, 7};
    const double alfas[] = {0.10, 0.18, 0.35, 0.7};
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    for (int i = 0; i < 4; ++i) {
        cairo_set_line_width(cr, anchos[i]);
        cairo_set_source_rgba(cr, r, g, b, alfas[i]);
        cairo_stroke_preserve(cr);
    }
    cairo_set_line_width(cr, 3.5);
    cairo_set_source_rgba(cr, 0.85, 1.0, 0.85, 1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

void camino_rayo(cairo_t *cr)
{
    cairo_move_to(cr, ENTRADA_X, ESPEJO_Y);
    cairo_line_to(cr, ESPEJO_X, ESPEJO_Y);
    cairo_line_to(cr, DIANA_X, DIANA_Y);
}

void disco_espejo(cairo_t *cr)
{
    // Disc with a dark rim, lit from the top-left.
    cairo_arc(cr, ESPEJO_X + 3, ESPEJO_Y + 4, ESPEJO_R, 0, 2 * PI);
    cairo_set_source_rgba(cr, 0, 0.01, 0.02, 0.6);
    cairo_fill(cr);
    cairo_arc(cr, ESPEJO_X, ESPEJO_Y, ESPEJO_R, 0, 2 * PI);
    usar(cr, degradado_metal(ESPEJO_X - ESPEJO_R, ESPEJO_Y - ESPEJO_R, ESPEJO_X + ESPEJO_R,
                             ESPEJO_Y + ESPEJO_R, 0.70, 0.14));
    cairo_fill(cr);
    cairo_arc(cr, ESPEJO_X, ESPEJO_Y, ESPEJO_R - 9, 0, 2 * PI);
    usar(cr, degradado_metal(ESPEJO_X - ESPEJO_R, ESPEJO_Y - ESPEJO_R, ESPEJO_X + ESPEJO_R,
                             ESPEJO_Y + ESPEJO_R, 0.20, 0.42));
    cairo_fill(cr);
}

void barra_espejo(cairo_t *cr)
{
    // The mirror bar lies across the bisector of the beam's turn, so the
    // beam in the picture obeys the law of reflection.
    const double entra = std::atan2(0.0, ESPEJO_X - ENTRADA_X);
    const double sale = std::atan2(DIANA_Y - ESPEJO_Y, DIANA_X - ESPEJO_X);
    const double normal = std::atan2(std::sin(sale) - std::sin(entra), std::cos(sale) - std::cos(entra));
    const double barra = normal + PI / 2;
    const double largo = ESPEJO_R - 12;
    cairo_save(cr);
    cairo_translate(cr, ESPEJO_X, ESPEJO_Y);
    cairo_rotate(cr, barra);
    rect_redondeado(cr, -largo, -6, 2 * largo, 12, 4);
    usar(cr, degradado_metal(0, -6, 0, 6, 0.97, 0.50));
    cairo_fill(cr);
    // Cyan arrow tips, as on the board's mirrors.
    cairo_set_source_rgb(cr, 0.35, 0.92, 1.0);
    for (int lado = -1; lado <= 1; lado += 2) {
        cairo_move_to(cr, lado * (largo + 9), 0);
        cairo_line_to(cr, lado * (largo + 1), -6);
        cairo_line_to(cr, lado * (largo + 1), 6);
        cairo_close_path(cr);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

void diana(cairo_t *cr)
{
    // An amber lamp in an octagonal steel mount, glowing.
    cairo_pattern_t *halo = cairo_pattern_create_radial(DIANA_X, DIANA_Y, 0, DIANA_X, DIANA_Y, DIANA_R * 2);
    cairo_pattern_add_color_stop_rgba(halo, 0, 1.0, 0.6, 0.1, 0.55);
    cairo_pattern_add_color_stop_rgba(halo, 1, 1.0, 0.6, 0.1, 0);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_ADD);
    usar(cr, halo);
    cairo_arc(cr, DIANA_X, DIANA_Y, DIANA_R * 2, 0, 2 * PI);
    cairo_fill(cr);
    cairo_restore(cr);

    for (int i = 0; i < 8; ++i) {
        const double a = PI / 8 + i * PI / 4;
        cairo_line_to(cr, DIANA_X + DIANA_R * std::cos(a), DIANA_Y + DIANA_R * std::sin(a));
    }
    cairo_close_path(cr);
    usar(cr, degradado_metal(DIANA_X - DIANA_R, DIANA_Y - DIANA_R, DIANA_X + DIANA_R, DIANA_Y + DIANA_R,
                             0.62, 0.16));
    cairo_fill(cr);
    cairo_pattern_t *lampara = cairo_pattern_create_radial(DIANA_X - 5, DIANA_Y - 6, 2, DIANA_X, DIANA_Y, DIANA_R * 0.62);
    cairo_pattern_add_color_stop_rgb(lampara, 0, 1.0, 0.97, 0.8);
    cairo_pattern_add_color_stop_rgb(lampara, 0.45, 1.0, 0.72, 0.15);
    cairo_pattern_add_color_stop_rgb(lampara, 1, 0.7, 0.3, 0.02);
    usar(cr, lampara);
    cairo_arc(cr, DIANA_X, DIANA_Y, DIANA_R * 0.62, 0, 2 * PI);
    cairo_fill(cr);
}

} // namespace

cairo_surface_t *dibujar_icono(int lado)
{
    cairo_surface_t *s = nueva_superficie(lado, lado);
    cairo_t *cr = cairo_create(s);
    cairo_scale(cr, lado / LADO, lado / LADO);
    marco_y_suelo(cr);
    // The beam meets the mirror's face and ends in the target; nothing
    // spills over the frame.
    cairo_save(cr);
    rect_redondeado(cr, 28, 28, LADO - 56, LADO - 56, 17);
    cairo_clip(cr);
    disco_espejo(cr);
    camino_rayo(cr);
    brillo_linea(cr, 0.3, 1.0, 0.35);
    barra_espejo(cr);
    diana(cr);
    cairo_restore(cr);
    cairo_destroy(cr);
    return s;
}

cairo_surface_t *dibujar_icono_editor(int lado)
{
    cairo_surface_t *s = dibujar_icono(lado);
    cairo_t *cr = cairo_create(s);
    cairo_scale(cr, lado / LADO, lado / LADO);
    // A pencil across the lower right corner, writing towards the board.
    cairo_translate(cr, 190, 190);
    cairo_rotate(cr, -PI / 4);
    const double largo = 150, ancho = 34, punta = 38;
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_rectangle(cr, -largo / 2, -ancho / 2, largo, ancho);
    cairo_pattern_t *cuerpo = cairo_pattern_create_linear(0, -ancho / 2, 0, ancho / 2);
    cairo_pattern_add_color_stop_rgb(cuerpo, 0, 1.0, 0.86, 0.3);
    cairo_pattern_add_color_stop_rgb(cuerpo, 1, 0.85, 0.55, 0.05);
    usar(cr, cuerpo);
    cairo_fill(cr);
    // The metal band and the eraser at the back end.
    cairo_rectangle(cr, largo / 2, -ancho / 2, 12, ancho);
    cairo_set_source_rgb(cr, 0.75, 0.77, 0.8);
    cairo_fill(cr);
    cairo_rectangle(cr, largo / 2 + 12, -ancho / 2, 16, ancho);
    cairo_set_source_rgb(cr, 0.95, 0.5, 0.55);
    cairo_fill(cr);
    // The sharpened wood and the lead.
    cairo_move_to(cr, -largo / 2, -ancho / 2);
    cairo_line_to(cr, -largo / 2 - punta, 0);
    cairo_line_to(cr, -largo / 2, ancho / 2);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.96, 0.84, 0.64);
    cairo_fill(cr);
    cairo_move_to(cr, -largo / 2 - punta * 0.62, -ancho * 0.19);
    cairo_line_to(cr, -largo / 2 - punta, 0);
    cairo_line_to(cr, -largo / 2 - punta * 0.62, ancho * 0.19);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.18);
    cairo_fill(cr);
    cairo_destroy(cr);
    return s;
}

bool generar_iconos(const std::string &carpeta, std::string &error)
{
    for (const int lado : TAMANOS_ICONO) {
        for (const bool editor : {false, true}) {
            cairo_surface_t *s = editor ? dibujar_icono_editor(lado) : dibujar_icono(lado);
            const std::string ruta = carpeta + (editor ? "fotonauta-editor-" : "fotonauta-") + std::to_string(lado) + ".png";
            const cairo_status_t st = cairo_surface_write_to_png(s, ruta.c_str());
            cairo_surface_destroy(s);
            if (st != CAIRO_STATUS_SUCCESS) {
                error = "cannot write " + ruta + ": " + cairo_status_to_string(st);
                return false;
            }
        }
    }
    return true;
}
