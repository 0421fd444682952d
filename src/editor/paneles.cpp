// The panels round the board: the palette and its tools, the buttons, the
// status area (wrapped, and scrolled when it holds more than it shows),
// the words on the top edge and the tooltips.
#include <allegro.h>

#include <algorithm>
#include <filesystem>

#include "editor/editor.h"
#include "pantalla/pantalla.h"

namespace {

// Row one: the palette's slots, the selection's tools, the gremlin count
// and the plan's step. Row two: the buttons. Then the status area.
constexpr int Y_PALETA = 644;
constexpr int X_PALETA = 8;
constexpr int LADO_HUECO = 34;
constexpr int PASO_HUECO = 37;
constexpr int Y_BOTONES = 684;
constexpr int ALTO_BOTON = 24;
constexpr int ALTO_ICONO = 28;
constexpr int Y_ESTADO = 712;
constexpr int LINEAS_ESTADO = 2;
constexpr int ALTO_LINEA = 25;
constexpr int X_FLECHAS = ANCHO_PANTALLA - 24;
constexpr int ANCHO_ESTADO = X_FLECHAS - 8 - X_PALETA - 20;

// Pictures drawn on the tool buttons.
enum : uint8_t {
  SIN_ICONO,
  ICONO_CORTAR,
  ICONO_COPIAR,
  ICONO_PEGAR,
  ICONO_VOLTEAR_H,
  ICONO_VOLTEAR_V,
  ICONO_RELLENAR,
  ICONO_DESHACER,
  ICONO_REHACER,
};

struct boton_panel {
  uint8_t comando;
  const char *texto[2];  // Spanish, English; the widest of them sizes it
  const char *otro[2];   // what it says instead while a proof runs
  uint8_t icono;
  int x, y, ancho, alto;  // laid out by colocar_botones
};

boton_panel botones[] = {
    {C_CORTAR, {"", ""}, {nullptr, nullptr}, ICONO_CORTAR, 0, 0, 0, 0},
    {C_COPIAR, {"", ""}, {nullptr, nullptr}, ICONO_COPIAR, 0, 0, 0, 0},
    {C_PEGAR, {"", ""}, {nullptr, nullptr}, ICONO_PEGAR, 0, 0, 0, 0},
    {C_VOLTEAR_H, {"", ""}, {nullptr, nullptr}, ICONO_VOLTEAR_H, 0, 0, 0, 0},
    {C_VOLTEAR_V, {"", ""}, {nullptr, nullptr}, ICONO_VOLTEAR_V, 0, 0, 0, 0},
    {C_RELLENAR, {"", ""}, {nullptr, nullptr}, ICONO_RELLENAR, 0, 0, 0, 0},
    {C_MENOS_GREMLINS, {"-", "-"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_MAS_GREMLINS, {"+", "+"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_PASO, {"Paso", "Step"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    // The second row; room is left at its end for one more button.
    {C_NUEVO, {"Nuevo", "New"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_ABRIR, {"Abrir", "Open"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_GUARDAR, {"Guardar", "Save"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_GUARDAR_COMO, {"Guardar como", "Save as"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_DESHACER, {"", ""}, {nullptr, nullptr}, ICONO_DESHACER, 0, 0, 0, 0},
    {C_REHACER, {"", ""}, {nullptr, nullptr}, ICONO_REHACER, 0, 0, 0, 0},
    {C_TITULO, {"T\xEDtulo", "Title"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_PROBAR, {"Probar", "Prove"}, {"Cancelar", "Cancel"}, SIN_ICONO, 0, 0, 0, 0},
    {C_JUGAR, {"Jugar", "Play"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_PUBLICAR, {"Publicar", "Publish"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_AYUDA, {"Ayuda", "Help"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_IDIOMA, {"EN", "ES"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
    {C_SALIR, {"Salir", "Exit"}, {nullptr, nullptr}, SIN_ICONO, 0, 0, 0, 0},
};
constexpr int NUM_BOTONES = sizeof botones / sizeof botones[0];
constexpr int PRIMERO_DE_FILA = 9;

// Where the gremlin count is written, between its two buttons.
int x_gremlins = 0;

int gris(int v)
{
  return makecol(v, v, v);
}

int ancho_texto(const char *t)
{
  return text_length(fuente_panel(), t);
}

bool sobre(const boton_panel &b, int x, int y)
{
  return x >= b.x && x < b.x + b.ancho && y >= b.y && y < b.y + b.alto;
}

// The picture of a tool, drawn in lines within a square of side `l`.
void dibujar_icono(uint8_t icono, int x, int y, int l, int color)
{
  const int m = l / 2;
  switch (icono) {
  case ICONO_CORTAR:
    circle(buffer, x + 7, y + l - 7, 4, color);
    circle(buffer, x + l - 7, y + l - 7, 4, color);
    line(buffer, x + 10, y + l - 10, x + l - 7, y + 4, color);
    line(buffer, x + l - 10, y + l - 10, x + 7, y + 4, color);
    break;
  case ICONO_COPIAR:
    rect(buffer, x + 4, y + 4, x + m + 3, y + m + 5, color);
    rectfill(buffer, x + m - 3, y + m - 3, x + l - 5, y + l - 4, gris(40));
    rect(buffer, x + m - 3, y + m - 3, x + l - 5, y + l - 4, color);
    break;
  case ICONO_PEGAR:
    rect(buffer, x + 5, y + 6, x + l - 6, y + l - 4, color);
    rectfill(buffer, x + m - 4, y + 3, x + m + 4, y + 8, color);
    hline(buffer, x + 9, y + m + 1, x + l - 10, color);
    hline(buffer, x + 9, y + m + 5, x + l - 10, color);
    break;
  case ICONO_VOLTEAR_H:
    vline(buffer, x + m, y + 3, y + l - 4, color);
    triangle(buffer, x + m - 3, y + 6, x + m - 3, y + l - 7, x + 3, y + m, color);
    triangle(buffer, x + m + 3, y + 6, x + m + 3, y + l - 7, x + l - 4, y + m, color);
    break;
  case ICONO_VOLTEAR_V:
    hline(buffer, x + 3, y + m, x + l - 4, color);
    triangle(buffer, x + 6, y + m - 3, x + l - 7, y + m - 3, x + m, y + 3, color);
    triangle(buffer, x + 6, y + m + 3, x + l - 7, y + m + 3, x + m, y + l - 4, color);
    break;
  case ICONO_RELLENAR:
    rect(buffer, x + 4, y + 4, x + l - 5, y + l - 5, color);
    for (int k = 8; k < l - 6; k += 4) {
      hline(buffer, x + 8, y + k, x + l - 9, color);
    }
    break;
  case ICONO_DESHACER:
  case ICONO_REHACER: {
    // Half a turn over the top, the arrow's head at the end it goes to.
    const int r = m - 5;
    arc(buffer, x + m, y + m + 3, itofix(0), itofix(128), r, color);
    arc(buffer, x + m, y + m + 3, itofix(0), itofix(128), r - 1, color);
    const int px = icono == ICONO_DESHACER ? x + m - r : x + m + r;
    triangle(buffer, px - 4, y + m + 2, px + 4, y + m + 2, px, y + m + 8, color);
    break;
  }
  default:
    break;
  }
}

void dibujar_boton(const estado_editor &e, const boton_panel &b)
{
  const comando &k = COMANDOS[b.comando];
  const bool activo = k.disponible == nullptr || k.disponible(e);
  // A button that is not always there to use (Publish) is green once it
  // is, so the author sees at a glance that the level can go out.
  const bool encendido = activo && k.disponible != nullptr;
  const bool encima = activo && sobre(b, e.x, e.y) && e.dialogo == DIALOGO_NINGUNO;
  const bool hundido = encima && e.pulsado == b.comando;
  int fondo = !activo ? makecol(24, 26, 34) : hundido ? makecol(30, 36, 60) : encima ? makecol(70, 90, 140)
                                                                                     : makecol(40, 48, 70);
  if (encendido) {
    fondo = hundido ? makecol(20, 80, 40) : encima ? makecol(60, 170, 90) : makecol(34, 130, 64);
  }
  rectfill(buffer, b.x, b.y, b.x + b.ancho - 1, b.y + b.alto - 1, fondo);
  rect(buffer, b.x, b.y, b.x + b.ancho - 1, b.y + b.alto - 1, encendido ? makecol(150, 255, 170) : gris(activo ? 170 : 90));
  const int color = activo ? gris(255) : gris(110);
  if (b.icono != SIN_ICONO) {
    const int l = std::min(b.ancho, b.alto);
    dibujar_icono(b.icono, b.x + (b.ancho - l) / 2, b.y + (b.alto - l) / 2, l, color);
    return;
  }
  const int i = espanol() ? 0 : 1;
  const char *texto = b.otro[i] != nullptr && e.prueba.pid >= 0 ? b.otro[i] : b.texto[i];
  textout_centre_ex(buffer, fuente_panel(), texto, b.x + b.ancho / 2, b.y + (b.alto - text_height(fuente_panel())) / 2,
                    -1, -1);
  if (!activo) {
    // The font keeps its own colours whatever colour is asked for: a
    // button out of use has its caption dimmed by darkening it with the
    // rest of the button's face.
    set_trans_blender(0, 0, 0, 170);
    drawing_mode(DRAW_MODE_TRANS, nullptr, 0, 0);
    rectfill(buffer, b.x + 1, b.y + 1, b.x + b.ancho - 2, b.y + b.alto - 2, makecol(0, 0, 0));
    drawing_mode(DRAW_MODE_SOLID, nullptr, 0, 0);
  }
}

std::string nombre_archivo(const std::string &ruta)
{
  return std::filesystem::path(ruta).filename().string();
}

// Text cut to `ancho` pixels, with an ellipsis where it was cut.
std::string cortado(std::string t, int ancho)
{
  if (ancho_texto(t.c_str()) <= ancho) {
    return t;
  }
  while (!t.empty() && ancho_texto((t + "...").c_str()) > ancho) {
    t.pop_back();
  }
  return t + "...";
}

// One line of the status area: a message, a problem, the proof's progress.
struct linea_estado {
  std::string texto;
  int color;
  int celda;  // the problem's cell, -1 for none
};

// What the status area says, each thing on its own.
std::vector<linea_estado> lineas_estado(const estado_editor &e)
{
  const bool es = espanol();
  std::vector<linea_estado> lineas;
  const int blanco = gris(235);
  if (e.prueba.pid >= 0) {
    char texto[120];
    if (es) {
      snprintf(texto, sizeof texto, "Probando: partida %d de %d. Cancelar (o Esc) la detiene.", e.prueba.hechas,
               e.prueba.total);
    } else {
      snprintf(texto, sizeof texto, "Proving: run %d of %d. Cancel (or Esc) stops it.", e.prueba.hechas, e.prueba.total);
    }
    lineas.push_back({texto, blanco, -1});
  } else if (e.revision_mensaje == e.doc.revision && !en_lengua(e.mensaje, es).empty()) {
    lineas.push_back({en_lengua(e.mensaje, es), blanco, -1});
  }
  if (e.problemas.empty()) {
    if (lineas.empty()) {
      lineas.push_back({tr("El nivel cumple las reglas.", "The level keeps the rules."), blanco, -1});
    }
    return lineas;
  }
  const int n = static_cast<int>(e.problemas.size());
  lineas.push_back({contar(n, {"problema", "problem"}, {"problemas", "problems"}, es) +
                        tr(" (un clic en uno marca su celda):", " (a click on one marks its cell):"),
                    blanco, -1});
  for (const problema_nivel &p : e.problemas) {
    std::string t = en_idioma(p.texto, es);
    if (p.celda >= 0) {
      t = en_idioma(nombre_celda(p.celda), es) + ": " + t;
    }
    lineas.push_back({t, rojo, p.celda});
  }
  return lineas;
}

struct linea_partida {
  std::string texto;
  int color;
  int celda;
  int marca;    // a square before the first line of a message
  int sangria;  // a problem's lines stand in from its red dot
};

std::vector<linea_partida> estado_partido(const estado_editor &e)
{
  std::vector<linea_partida> lineas;
  bool primera = true;
  for (const linea_estado &l : lineas_estado(e)) {
    const bool mensaje = primera && e.prueba.pid < 0 && e.revision_mensaje == e.doc.revision;
    const int marca = mensaje ? e.color_marca : -1;
    const int sangria = marca != -1 || l.color == rojo ? 20 : 0;
    bool inicio = true;
    for (const std::string &t : partir_texto(l.texto, ANCHO_ESTADO - sangria)) {
      lineas.push_back({t, l.color, l.celda, inicio ? (l.color == rojo ? rojo : marca) : -1, sangria});
      inicio = false;
    }
    primera = false;
  }
  return lineas;
}

}  // namespace

FONT *fuente_panel()
{
  return static_cast<FONT *>(f_fnt[FNT_BOTONES].dat);
}

std::vector<std::string> partir_texto(const std::string &texto, int ancho)
{
  std::vector<std::string> lineas;
  std::string linea;
  size_t p = 0;
  while (p < texto.size()) {
    const size_t fin = texto.find(' ', p);
    const std::string palabra = texto.substr(p, fin == std::string::npos ? std::string::npos : fin - p);
    p = fin == std::string::npos ? texto.size() : fin + 1;
    const std::string con = linea.empty() ? palabra : linea + " " + palabra;
    if (ancho_texto(con.c_str()) <= ancho) {
      linea = con;
      continue;
    }
    if (!linea.empty()) {
      lineas.push_back(linea);
    }
    // A word wider than a line is cut where it must be.
    linea = palabra;
    while (ancho_texto(linea.c_str()) > ancho && linea.size() > 1) {
      size_t n = linea.size() - 1;
      while (n > 1 && ancho_texto(linea.substr(0, n).c_str()) > ancho) {
        --n;
      }
      lineas.push_back(linea.substr(0, n));
      linea = linea.substr(n);
    }
  }
  if (!linea.empty() || lineas.empty()) {
    lineas.push_back(linea);
  }
  return lineas;
}

void colocar_botones()
{
  // Each button as wide as the widest thing it may say, in either
  // language.
  for (boton_panel &b : botones) {
    b.ancho = 0;
    for (int i = 0; i < 2; ++i) {
      b.ancho = std::max(b.ancho, ancho_texto(b.texto[i]) + 12);
      if (b.otro[i] != nullptr) {
        b.ancho = std::max(b.ancho, ancho_texto(b.otro[i]) + 12);
      }
    }
  }
  int x = X_PALETA + NUM_HUECOS * PASO_HUECO + 6;
  for (int k = 0; k < PRIMERO_DE_FILA; ++k) {
    boton_panel &b = botones[k];
    if (b.icono != SIN_ICONO) {
      b.ancho = ALTO_ICONO;
      b.alto = ALTO_ICONO;
    } else {
      b.alto = ALTO_BOTON;
    }
    b.y = Y_PALETA + (LADO_HUECO - b.alto) / 2;
    b.x = x;
    x += b.ancho + 4;
    if (b.comando == C_RELLENAR) {
      x += 10;
    }
    if (b.comando == C_MENOS_GREMLINS) {
      x_gremlins = x;
      x += 46;
    }
    if (b.comando == C_MAS_GREMLINS) {
      x += 10;
    }
  }
  // The second row spread over the width, less the room of one button.
  int ocupado = 0;
  for (int k = PRIMERO_DE_FILA; k < NUM_BOTONES; ++k) {
    if (botones[k].icono != SIN_ICONO) {
      botones[k].ancho = ALTO_BOTON + 6;
    }
    ocupado += botones[k].ancho;
  }
  const int libre = ANCHO_PANTALLA - 2 * X_PALETA - ocupado;
  const int hueco = std::clamp(libre / (NUM_BOTONES - PRIMERO_DE_FILA + 3), 2, 8);
  x = X_PALETA;
  for (int k = PRIMERO_DE_FILA; k < NUM_BOTONES; ++k) {
    boton_panel &b = botones[k];
    b.x = x;
    b.y = Y_BOTONES;
    b.alto = ALTO_BOTON;
    x += b.ancho + hueco;
  }
}

int hueco_paleta_bajo(int x, int y)
{
  if (y < Y_PALETA || y >= Y_PALETA + LADO_HUECO || x < X_PALETA) {
    return -1;
  }
  const int k = (x - X_PALETA) / PASO_HUECO;
  return k < NUM_HUECOS && (x - X_PALETA) % PASO_HUECO < LADO_HUECO ? k : -1;
}

int celda_bajo(int x, int y)
{
  x -= ORIGEN_TABLERO;
  y -= ORIGEN_TABLERO;
  if (x < 0 || y < 0 || x >= COLUMNAS * LADO_CELDA || y >= FILAS * LADO_CELDA) {
    return -1;
  }
  return x / LADO_CELDA + y / LADO_CELDA * COLUMNAS;
}

int parte_bajo(int x, int y)
{
  const int hueco = hueco_paleta_bajo(x, y);
  if (hueco >= 0) {
    return PARTE_HUECO + hueco;
  }
  for (const boton_panel &b : botones) {
    if (sobre(b, x, y)) {
      return b.comando;
    }
  }
  if (y >= Y_ESTADO && y < Y_ESTADO + LINEAS_ESTADO * ALTO_LINEA) {
    return PARTE_ESTADO;
  }
  return -1;
}

int flecha_estado_bajo(int x, int y)
{
  if (x < X_FLECHAS || y < Y_ESTADO || y >= Y_ESTADO + LINEAS_ESTADO * ALTO_LINEA) {
    return 0;
  }
  return y < Y_ESTADO + ALTO_LINEA ? -1 : 1;
}

int celda_en_estado(const estado_editor &e, int x, int y)
{
  if (y < Y_ESTADO || x >= X_FLECHAS) {
    return -1;
  }
  const int k = (y - Y_ESTADO) / ALTO_LINEA + e.desplazamiento_estado;
  const std::vector<linea_partida> lineas = estado_partido(e);
  return k >= 0 && k < static_cast<int>(lineas.size()) && k - e.desplazamiento_estado < LINEAS_ESTADO
             ? lineas[static_cast<size_t>(k)].celda
             : -1;
}

void dibujar_panel(estado_editor &e)
{
  rectfill(buffer, 0, ORIGEN_TABLERO * 2 + FILAS * LADO_CELDA, ANCHO_PANTALLA - 1, ALTO_PANTALLA - 1, makecol(16, 18, 28));

  for (int k = 0; k < NUM_HUECOS; ++k) {
    const int x = X_PALETA + k * PASO_HUECO;
    if (k < NUM_ELEMENTOS) {
      stretch_sprite(buffer, loseta[e.loseta_paleta[k]], x, Y_PALETA, LADO_HUECO, LADO_HUECO);
      // The game turns plain mirrors at random at each start: a die's face.
      if (k == ELEMENTO_ESPEJO) {
        rectfill(buffer, x + LADO_HUECO - 12, Y_PALETA, x + LADO_HUECO - 1, Y_PALETA + 11, gris(240));
        textout_centre_ex(buffer, font, "?", x + LADO_HUECO - 6, Y_PALETA + 2, 0, -1);
      }
    } else {
      rectfill(buffer, x, Y_PALETA, x + LADO_HUECO - 1, Y_PALETA + LADO_HUECO - 1, makecol(40, 48, 70));
      if (k == HUECO_MANO) {
        draw_sprite(buffer, puntero, x + (LADO_HUECO - puntero->w) / 2, Y_PALETA + (LADO_HUECO - puntero->h) / 2);
      } else {
        // A dashed rectangle: the selection.
        for (int d = 6; d < LADO_HUECO - 6; d += 6) {
          hline(buffer, x + d, Y_PALETA + 7, x + d + 2, gris(240));
          hline(buffer, x + d, Y_PALETA + LADO_HUECO - 8, x + d + 2, gris(240));
          vline(buffer, x + 6, Y_PALETA + d + 1, Y_PALETA + d + 3, gris(240));
          vline(buffer, x + LADO_HUECO - 7, Y_PALETA + d + 1, Y_PALETA + d + 3, gris(240));
        }
      }
    }
    if (k == e.elegido) {
      rect(buffer, x - 2, Y_PALETA - 2, x + LADO_HUECO + 1, Y_PALETA + LADO_HUECO + 1, amarillo);
      rect(buffer, x - 1, Y_PALETA - 1, x + LADO_HUECO, Y_PALETA + LADO_HUECO, amarillo);
    }
  }
  for (const boton_panel &b : botones) {
    dibujar_boton(e, b);
  }
  // The gremlins: their picture and their count.
  BITMAP *gremlin = loseta[primer_grf[GRF_GREMLIN]];
  stretch_sprite(buffer, gremlin, x_gremlins, Y_PALETA + 2, 30, 30);
  textprintf_ex(buffer, fuente_panel(), x_gremlins + 32, Y_PALETA + 7, -1, -1, "%d", e.doc.nivel.gremlins);

  // The status area: its lines from where it is scrolled to, and arrows
  // while it holds more than it shows.
  const std::vector<linea_partida> lineas = estado_partido(e);
  std::string contenido;
  for (const linea_partida &l : lineas) {
    contenido += l.texto + "\n";
  }
  if (contenido != e.contenido_estado) {
    // New things to say are read from their start.
    e.contenido_estado = contenido;
    e.desplazamiento_estado = 0;
  }
  const int maximo = std::max(0, static_cast<int>(lineas.size()) - LINEAS_ESTADO);
  e.desplazamiento_estado = std::clamp(e.desplazamiento_estado, 0, maximo);
  for (int k = 0; k < LINEAS_ESTADO; ++k) {
    const size_t i = static_cast<size_t>(k + e.desplazamiento_estado);
    if (i >= lineas.size()) {
      break;
    }
    const linea_partida &l = lineas[i];
    const int y = Y_ESTADO + k * ALTO_LINEA;
    if (l.marca != -1) {
      // A message's square, or a problem's dot.
      const int d = l.color == rojo ? 3 : 0;
      rectfill(buffer, X_PALETA + d, y + 4 + d, X_PALETA + 13 - d, y + 17 - d, l.marca);
    }
    const int x = X_PALETA + l.sangria;
    if (l.celda >= 0 && e.x < X_FLECHAS && e.y >= y && e.y < y + ALTO_LINEA) {
      rectfill(buffer, X_PALETA - 2, y, X_FLECHAS - 4, y + ALTO_LINEA - 2, makecol(60, 40, 40));
    }
    textout_ex(buffer, fuente_panel(), l.texto.c_str(), x, y, l.color, -1);
  }
  const int xf = X_FLECHAS + 8;
  if (e.desplazamiento_estado > 0) {
    triangle(buffer, xf - 7, Y_ESTADO + 16, xf + 7, Y_ESTADO + 16, xf, Y_ESTADO + 3, amarillo);
  }
  if (e.desplazamiento_estado < maximo) {
    const int y = Y_ESTADO + ALTO_LINEA;
    triangle(buffer, xf - 7, y + 4, xf + 7, y + 4, xf, y + 17, amarillo);
  }
}

void dibujar_cabecera(const estado_editor &e)
{
  const bool es = espanol();
  // What is under the pointer, on the right: the cell and what it holds.
  std::string derecha;
  const int c = celda_bajo(e.x, e.y);
  if (c >= 0 && e.dialogo == DIALOGO_NINGUNO) {
    derecha = en_idioma(nombre_celda(c), es) + ": " + describir_byte(e.doc.nivel.bytes[c], es);
  }
  const int y = (ORIGEN_TABLERO - text_height(fuente_panel())) / 2;
  const int ancho_derecha = ancho_texto(derecha.c_str());
  // The file, marked while it has changes, and the title.
  std::string izquierda = nombre_archivo(e.doc.ruta) + (modificado(e.doc) ? "*" : "");
  if (!e.doc.nivel.titulo.empty()) {
    izquierda += "  \xAB" + e.doc.nivel.titulo + "\xBB";
  }
  const int libre = ANCHO_PANTALLA - 2 * ORIGEN_TABLERO - ancho_derecha - (derecha.empty() ? 0 : 24);
  izquierda = cortado(izquierda, libre);
  const int alto = text_height(fuente_panel());
  rectfill(buffer, ORIGEN_TABLERO - 4, y - 1, ORIGEN_TABLERO + ancho_texto(izquierda.c_str()) + 4, y + alto,
           makecol(16, 18, 28));
  textout_ex(buffer, fuente_panel(), izquierda.c_str(), ORIGEN_TABLERO, y, -1, -1);
  if (!derecha.empty()) {
    const int x = ANCHO_PANTALLA - ORIGEN_TABLERO - ancho_derecha;
    rectfill(buffer, x - 4, y - 1, x + ancho_derecha + 4, y + alto, makecol(16, 18, 28));
    textout_ex(buffer, fuente_panel(), derecha.c_str(), x, y, -1, -1);
  }
}

void dibujar_ayuda_emergente(const estado_editor &e)
{
  if (e.dialogo != DIALOGO_NINGUNO || e.encima < 0 || e.encima == PARTE_ESTADO || ahora_ms() - e.encima_desde < 500 ||
      e.pulsado >= 0) {
    return;
  }
  const bool es = espanol();
  std::string texto;
  if (e.encima >= PARTE_HUECO) {
    const int hueco = e.encima - PARTE_HUECO;
    if (hueco == HUECO_MANO) {
      texto = std::string(COMANDOS[C_MANO].nombre[es ? 0 : 1]) + " (" + tecla_de_comando(C_MANO) + ")";
    } else if (hueco == HUECO_SELECCION) {
      texto = std::string(COMANDOS[C_SELECCIONAR].nombre[es ? 0 : 1]) + " (" + tecla_de_comando(C_SELECCIONAR) + ")";
    } else {
      texto = describir_byte(byte_de_elemento(hueco, e.variante[hueco]), es);
      if (ELEMENTOS[hueco].variantes - ELEMENTOS[hueco].minimo > 1) {
        texto += tr(". Otro clic, la rueda o R: gira", ". Click again, the wheel or R: turns");
      }
      if (hueco == ELEMENTO_MURO || hueco == ELEMENTO_MURO_REFLECTANTE) {
        texto += tr(". Un clic en un cuarto de uno puesto lo quita o lo pone",
                    ". A click on a quarter of one placed takes it away or back");
      }
    }
  } else {
    texto = COMANDOS[e.encima].nombre[es ? 0 : 1];
    const std::string t = tecla_de_comando(e.encima);
    if (!t.empty()) {
      texto += " (" + t + ")";
    }
  }
  const int ancho = std::min(ancho_texto(texto.c_str()), ANCHO_PANTALLA - 40);
  const std::vector<std::string> lineas = partir_texto(texto, ancho);
  const int alto = text_height(fuente_panel());
  const int h = static_cast<int>(lineas.size()) * alto + 8;
  const int x = std::clamp(e.x - ancho / 2, 8, ANCHO_PANTALLA - ancho - 16);
  const int y = (e.y >= Y_BOTONES ? Y_BOTONES : Y_PALETA) - h - 6;
  rectfill(buffer, x, y, x + ancho + 8, y + h, makecol(30, 34, 56));
  rect(buffer, x, y, x + ancho + 8, y + h, gris(200));
  for (size_t k = 0; k < lineas.size(); ++k) {
    textout_ex(buffer, fuente_panel(), lineas[k].c_str(), x + 4, y + 4 + static_cast<int>(k) * alto, -1, -1);
  }
}
