// The editor's screen: the board where the game draws it, the palette and
// the buttons under it, and the loop that answers the mouse and the keys.
#include <allegro.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "editor/editor.h"
#include "fotonauta/fotonauta.h"
#include "resolver/resolver.h"

namespace {

// The panel under the board: the palette, with the gremlin count and the
// plan's step beside it; a row of buttons; and two lines of text.
constexpr int Y_PALETA = 645;
constexpr int X_PALETA = 10;
constexpr int LADO_PALETA = 36;
constexpr int PASO_PALETA = 39;
constexpr int Y_BOTONES = 688;
constexpr int ALTO_BOTON = 26;
constexpr int Y_LINEA_1 = 716;
constexpr int Y_LINEA_2 = 740;

// The palette's last slot is the hand, which holds and turns mirrors as in
// a game instead of painting.
constexpr int MANO = NUM_ELEMENTOS;

// Logic frames come every third frame, as in the game.
constexpr int FOTOGRAMAS_POR_CICLO = 3;

// Rows of the list of files to open.
constexpr int MAX_FILAS_LISTA = 22;
constexpr int ALTO_FILA_LISTA = 24;

// The row of buttons, then those that stand beside the palette.
enum : int {
  B_NUEVO,
  B_ABRIR,
  B_GUARDAR,
  B_DESHACER,
  B_REHACER,
  B_TITULO,
  B_PROBAR,
  B_JUGAR,
  B_SALIR,
  B_MENOS,
  B_GREMLINS,
  B_MAS,
  B_PASO,
  NUM_BOTONES,
};

struct boton_editor {
  const char *texto[2];  // Spanish, English
  int x, y, ancho;       // laid out at start-up
};

boton_editor botones[NUM_BOTONES] = {
    {{"Nuevo", "New"}, 0, 0, 0},
    {{"Abrir", "Open"}, 0, 0, 0},
    {{"Guardar", "Save"}, 0, 0, 0},
    {{"Deshacer", "Undo"}, 0, 0, 0},
    {{"Rehacer", "Redo"}, 0, 0, 0},
    {{"T\xEDtulo", "Title"}, 0, 0, 0},
    {{"Probar", "Prove"}, 0, 0, 0},
    {{"Jugar", "Play"}, 0, 0, 0},
    {{"Salir", "Exit"}, 0, 0, 0},
    {{"-", "-"}, 0, 0, 0},
    {{"Gremlins: 8", "Gremlins: 8"}, 0, 0, 0},
    {{"+", "+"}, 0, 0, 0},
    {{"Paso", "Step"}, 0, 0, 0},
};

// What the text entry is filling in.
enum : uint8_t { ESCRIBIENDO_NADA, ESCRIBIENDO_TITULO, ESCRIBIENDO_IDEA };

// The whole state of the editor's screen.
struct estado_editor {
  nivel_texto nivel;
  std::string carpeta;  // the user's level folder
  std::string ruta;     // where the level is saved
  bool modificado = false;
  historial cambios;

  int elegido = ELEMENTO_ESPEJO;          // palette slot in use
  uint8_t variante[NUM_ELEMENTOS] = {};  // each element's variant in the palette
  uint8_t loseta_paleta[NUM_ELEMENTOS] = {};

  bool recargar = true;  // the board must be built again from the level
  std::vector<problema_nivel> problemas;
  bool celda_mal[NUM_CELDAS] = {};

  // The mouse: buttons and wheel as last seen (taps between two frames
  // included), the stroke under way.
  t_vista_raton vista_raton{};
  int botones_antes = 0;
  bool trazo = false;
  nivel_texto antes_trazo;
  int ultima_celda = -1;  // the cell the stroke last painted
  int boton_pulsado = -1;  // an editor button pressed and not yet released
  int cuenta_ciclo = 0;
  bool teclas[KEY_MAX] = {};
  t_vista_tecla vista_tecla[KEY_MAX] = {};

  uint8_t escribiendo = ESCRIBIENDO_NADA;
  std::string texto_entrada;

  bool lista_abierta = false;
  std::vector<std::string> lista;

  prueba_en_curso prueba;
  bool hay_resultado = false;
  resultado_prueba resultado;
  plan_nivel plan;
  size_t paso_plan = 0;  // steps of the plan shown on the board
  uint8_t angulo_plan[NUM_CELDAS];

  std::string mensaje;  // the last thing the editor has to say
  bool confirmar_salida = false;
  bool salir = false;
};

bool espanol()
{
  return idioma != IDIOMA_INGLES;
}

// Formats into the array `destino` the Spanish or the English text.
#define FORMATO(destino, es, en, ...) \
  (espanol() ? snprintf(destino, sizeof destino, es, __VA_ARGS__) : snprintf(destino, sizeof destino, en, __VA_ARGS__))

const char *tr(const char *es, const char *en)
{
  return espanol() ? es : en;
}

FONT *fuente()
{
  return fuente_texto();
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

int hueco_paleta_bajo(int x, int y)
{
  if (y < Y_PALETA || y >= Y_PALETA + LADO_PALETA || x < X_PALETA) {
    return -1;
  }
  const int k = (x - X_PALETA) / PASO_PALETA;
  return k <= MANO && (x - X_PALETA) % PASO_PALETA < LADO_PALETA ? k : -1;
}

int boton_bajo(int x, int y)
{
  for (int b = 0; b < NUM_BOTONES; ++b) {
    const boton_editor &k = botones[b];
    if (b != B_GREMLINS && x >= k.x && x < k.x + k.ancho && y >= k.y && y < k.y + ALTO_BOTON) {
      return b;
    }
  }
  return -1;
}

// The row of buttons spread over the screen's width; the gremlin count
// after the palette.
void colocar_botones()
{
  const int i = espanol() ? 0 : 1;
  int ocupado = 0;
  for (int b = 0; b < B_MENOS; ++b) {
    botones[b].ancho = text_length(fuente(), botones[b].texto[i]) + 12;
    ocupado += botones[b].ancho;
  }
  const int hueco = (ANCHO_PANTALLA - 2 * X_PALETA - ocupado) / (B_MENOS - 1);
  int x = X_PALETA;
  for (int b = 0; b < B_MENOS; ++b) {
    botones[b].x = x;
    botones[b].y = Y_BOTONES;
    x += botones[b].ancho + hueco;
  }
  x = X_PALETA + (MANO + 1) * PASO_PALETA + 8;
  for (int b = B_MENOS; b < NUM_BOTONES; ++b) {
    botones[b].ancho = text_length(fuente(), botones[b].texto[i]) + 12;
    botones[b].x = x;
    botones[b].y = Y_PALETA + (LADO_PALETA - ALTO_BOTON) / 2;
    x += botones[b].ancho + (b == B_MAS ? 24 : 4);
  }
}

// ---------------------------------------------------------------------------
// The level and the board
// ---------------------------------------------------------------------------

void olvidar_prueba(estado_editor &e)
{
  cancelar_prueba(e.prueba);
  e.hay_resultado = false;
  e.plan.clear();
  e.paso_plan = 0;
}

// After every change of the level's: the proof no longer holds, the board
// and the rules are worked out again.
void cambiado(estado_editor &e)
{
  e.modificado = true;
  e.recargar = true;
  e.confirmar_salida = false;
  olvidar_prueba(e);
}

void abrir_nuevo(estado_editor &e)
{
  olvidar_prueba(e);
  e.nivel = nivel_vacio();
  e.ruta = (std::filesystem::path(e.carpeta) / primer_nombre_libre(e.carpeta)).string();
  e.modificado = false;
  e.cambios = historial{};
  e.recargar = true;
}

void abrir(estado_editor &e, const std::string &ruta)
{
  std::error_code ec;
  if (!std::filesystem::exists(ruta, ec)) {
    // A name that is not there yet is where a new level will be saved.
    abrir_nuevo(e);
    e.ruta = ruta;
    e.mensaje = std::string(tr("Nivel nuevo: ", "New level: ")) + ruta;
    return;
  }
  nivel_texto leido;
  std::string error;
  if (!leer_nivel_texto(ruta, leido, error)) {
    // The file stays as it is: the level that goes on being edited is a
    // new one, saved elsewhere.
    fprintf(stderr, "fotonauta-editor: %s\n", error.c_str());
    abrir_nuevo(e);
    // The file's name is enough on the screen's one line.
    if (error.rfind(ruta, 0) == 0) {
      error.replace(0, ruta.size(), std::filesystem::path(ruta).filename().string());
    }
    e.mensaje = en_idioma(error, espanol());
    return;
  }
  olvidar_prueba(e);
  if (leido.gremlins < 0) {
    // A file without a count has, played as NN.txt, the stored level's.
    const std::string nombre = std::filesystem::path(ruta).filename().string();
    int n = -1;
    if (nombre.size() == 6 && isdigit(static_cast<unsigned char>(nombre[0])) &&
        isdigit(static_cast<unsigned char>(nombre[1])) && nombre.substr(2) == ".txt") {
      n = (nombre[0] - '0') * 10 + (nombre[1] - '0');
    }
    leido.gremlins = static_cast<int8_t>(n >= 0 && n < NUM_NIVELES ? gremlins[n] : 0);
  }
  e.nivel = leido;
  e.ruta = ruta;
  e.modificado = false;
  e.cambios = historial{};
  e.recargar = true;
  e.mensaje = std::string(tr("Abierto ", "Opened ")) + ruta;
}

void guardar(estado_editor &e)
{
  std::string error;
  if (!guardar_nivel_texto(e.ruta, e.nivel, error)) {
    e.mensaje = en_idioma(error, espanol());
    return;
  }
  e.modificado = false;
  e.confirmar_salida = false;
  char texto[64];
  FORMATO(texto, " (con %zu problemas)", " (with %zu problems)", e.problemas.size());
  e.mensaje = std::string(tr("Guardado ", "Saved ")) + e.ruta + (e.problemas.empty() ? "" : texto);
}

// The tile of every palette element's current variant, taken from the
// board as the game loads it.
void losetas_paleta(estado_editor &e)
{
  uint8_t bytes[NUM_CELDAS];
  memset(bytes, PALETA[ELEMENTO_SUELO].primero, NUM_CELDAS);
  for (int k = 0; k < NUM_ELEMENTOS; ++k) {
    bytes[k] = byte_de_elemento(k, e.variante[k]);
  }
  cargar_tablero(bytes, -1);
  for (int k = 0; k < NUM_ELEMENTOS; ++k) {
    e.loseta_paleta[k] = est_nivel[k].grf;
  }
  // A mirror shows its angle, which the game would draw at random.
  e.loseta_paleta[ELEMENTO_ESPEJO] = static_cast<uint8_t>(primer_grf[espejo] + e.variante[ELEMENTO_ESPEJO]);
}

// The board from the level: the rules first (their check loads a board of
// its own), then the palette's tiles, then the level, its plain mirrors at
// the angles their bytes keep, or the plan's.
void reconstruir(estado_editor &e)
{
  e.problemas = comprobar_nivel(e.nivel.bytes, e.nivel.gremlins);
  memset(e.celda_mal, 0, sizeof e.celda_mal);
  for (const problema_nivel &p : e.problemas) {
    if (p.celda >= 0) {
      e.celda_mal[p.celda] = true;
    }
  }
  losetas_paleta(e);
  cargar_tablero(e.nivel.bytes, -1);
  for (int c = 0; c < NUM_CELDAS; ++c) {
    celda &k = est_nivel[c];
    if (k.tipo == espejo) {
      k.valor = e.paso_plan > 0 && e.angulo_plan[c] < 16 ? e.angulo_plan[c] : static_cast<uint8_t>(e.nivel.bytes[c] - 16);
      k.grf = static_cast<uint8_t>(primer_grf[espejo] + k.valor);
    }
  }
  e.recargar = false;
}

bool hay_emisor(const nivel_texto &n)
{
  for (const uint8_t b : n.bytes) {
    if (elemento_de_byte(b) == 2) {
      return true;
    }
  }
  return false;
}

// The beam as the game traces it from the mirrors as they stand. Targets
// count as gone, so the whole route shows rather than its first target.
void trazar(const estado_editor &e)
{
  if (!hay_emisor(e.nivel)) {
    dt_rayo.n_puntos = 0;
    return;
  }
  for (celda &k : est_nivel) {
    if (k.tipo == detonador) {
      k.valor = DETONADOR_DESTRUIDO;
    }
  }
  calcular_rayo();
  for (celda &k : est_nivel) {
    if (k.tipo == detonador) {
      k.valor = DETONADOR_EN_PIE;
    }
  }
}

// ---------------------------------------------------------------------------
// What the author does
// ---------------------------------------------------------------------------

void pintar(estado_editor &e, int c, uint8_t b)
{
  if (e.nivel.bytes[c] != b) {
    e.nivel.bytes[c] = b;
    cambiado(e);
  }
}

void girar_celda(estado_editor &e, int c, int pasos)
{
  const nivel_texto antes = e.nivel;
  pintar(e, c, girar_byte(e.nivel.bytes[c], pasos));
  anotar_cambio(e.cambios, antes, e.nivel);
}

void elegir_paleta(estado_editor &e, int k, int pasos)
{
  if (k == MANO || k == e.elegido || pasos < 0) {
    // A click on the element in use (or the right button) turns its
    // variant, so an author can pick one with clicks alone.
    if (k != MANO && (k == e.elegido || pasos < 0)) {
      const uint8_t b = girar_byte(byte_de_elemento(k, e.variante[k]), pasos);
      int v = 0;
      elemento_de_byte(b, &v);
      e.variante[k] = static_cast<uint8_t>(v);
      e.recargar = true;
    }
  }
  if (e.elegido == MANO && k != MANO) {
    mover_espejos_pinchados(1);
  }
  e.elegido = k;
}

void deshacer_o_rehacer(estado_editor &e, bool atras)
{
  if (atras ? deshacer(e.cambios, e.nivel) : rehacer(e.cambios, e.nivel)) {
    cambiado(e);
  }
}

void abrir_lista(estado_editor &e)
{
  e.lista = ficheros_de_niveles(e.carpeta);
  e.lista_abierta = true;
  if (e.lista.empty()) {
    e.lista_abierta = false;
    e.mensaje = std::string(tr("No hay niveles en ", "No levels in ")) + e.carpeta;
  }
}

void describir_paso(estado_editor &e)
{
  const paso_plan &p = e.plan[e.paso_plan - 1];
  char texto[200];
  if (p.tipo == paso_giro) {
    FORMATO(texto, "Paso %zu de %zu: el espejo de la celda %d, a %d", "Step %zu of %zu: the mirror in cell %d, to %d",
             e.paso_plan, e.plan.size(), p.celda, p.angulo);
  } else {
    std::string celdas;
    for (const uint8_t c : p.blancos) {
      celdas += " " + std::to_string(c);
    }
    FORMATO(texto, "Paso %zu de %zu: esperar a los detonadores%s", "Step %zu of %zu: wait for the targets%s",
             e.paso_plan, e.plan.size(), celdas.c_str());
  }
  e.mensaje = texto;
}

void siguiente_paso(estado_editor &e)
{
  if (e.plan.empty()) {
    return;
  }
  if (e.paso_plan == 0 || e.paso_plan >= e.plan.size()) {
    // From the start again: the plan's mirrors as the level keeps them.
    memset(e.angulo_plan, 255, sizeof e.angulo_plan);
    e.paso_plan = 0;
  }
  const paso_plan &p = e.plan[e.paso_plan++];
  if (p.tipo == paso_giro) {
    e.angulo_plan[p.celda] = p.angulo;
  }
  e.recargar = true;
  describir_paso(e);
}

void probar(estado_editor &e)
{
  if (e.prueba.pid >= 0) {
    cancelar_prueba(e.prueba);
    e.mensaje = tr("Prueba cancelada.", "Proof cancelled.");
    return;
  }
  olvidar_prueba(e);
  if (!e.problemas.empty()) {
    e.mensaje = tr("Antes de probarlo, el nivel ha de cumplir las reglas.", "The level must keep the rules before it is proved.");
    return;
  }
  if (!empezar_prueba(e.prueba, e.nivel)) {
    e.mensaje = tr("No se ha podido empezar la prueba.", "The proof could not start.");
    return;
  }
  e.mensaje = tr("Probando...", "Proving...");
}

void terminar_prueba(estado_editor &e, const resultado_prueba &r)
{
  e.hay_resultado = true;
  e.resultado = r;
  e.plan.clear();
  e.paso_plan = 0;
  std::string error;
  if (r.encontrado && !leer_plan(r.plan, e.plan, error)) {
    e.plan.clear();
  }
  char texto[300];
  const double porcentaje = 100.0 * r.fotogramas / FOTOGRAMAS_ENERGIA;
  if (r.pasa) {
    FORMATO(texto,
             "Se puede ganar con el %.1f %% de la energ\xED" "a (%d fotogramas, %d giros).",
                "Winnable with %.1f %% of the energy (%d frames, %d settings).",
             porcentaje, r.fotogramas, r.giros);
  } else {
    FORMATO(texto, "No se puede ganar con el 70 %% de la energ\xED" "a: %s", "Not winnable within 70 %% of the energy: %s",
             en_idioma(r.error, espanol()).c_str());
  }
  e.mensaje = texto;
}

void jugar(estado_editor &e)
{
  if (!e.problemas.empty()) {
    e.mensaje = tr("Antes de jugarlo, el nivel ha de cumplir las reglas.", "The level must keep the rules before it is played.");
    return;
  }
  cancelar_prueba(e.prueba);
  mover_espejos_pinchados(1);
  jugar_nivel_suelto(e.nivel);
  // The game has had the board, the beam and the mouse.
  mover_espejos_pinchados(1);
  e.recargar = true;
  // Nothing done in the game acts here: a button still held is not a new
  // press, nor is a tap made before the editor came back.
  e.botones_antes = dlg_botones(e.vista_raton);
  dlg_olvidar_botones(e.vista_raton);
  clear_keybuf();
  e.mensaje.clear();
}

void pulsar_boton(estado_editor &e, int b)
{
  switch (b) {
  case B_NUEVO:
    abrir_nuevo(e);
    e.mensaje = std::string(tr("Nivel nuevo: ", "New level: ")) + e.ruta;
    break;
  case B_ABRIR:
    abrir_lista(e);
    break;
  case B_GUARDAR:
    guardar(e);
    break;
  case B_DESHACER:
  case B_REHACER:
    deshacer_o_rehacer(e, b == B_DESHACER);
    break;
  case B_TITULO:
    // The title, then the idea line.
    e.escribiendo = ESCRIBIENDO_TITULO;
    e.texto_entrada = e.nivel.titulo;
    clear_keybuf();
    break;
  case B_MENOS:
  case B_MAS: {
    const int g = e.nivel.gremlins + (b == B_MAS ? 1 : -1);
    if (g >= 0 && g <= MAX_GREMLINS_NIVEL) {
      const nivel_texto antes = e.nivel;
      e.nivel.gremlins = static_cast<int8_t>(g);
      anotar_cambio(e.cambios, antes, e.nivel);
      cambiado(e);
    }
    break;
  }
  case B_PROBAR:
    probar(e);
    break;
  case B_PASO:
    siguiente_paso(e);
    break;
  case B_JUGAR:
    jugar(e);
    break;
  case B_SALIR:
    if (e.modificado && !e.confirmar_salida) {
      e.confirmar_salida = true;
      e.mensaje = tr("Hay cambios sin guardar: Salir otra vez para salir sin guardarlos.",
                     "There are unsaved changes: Exit again to leave without saving them.");
    } else {
      e.salir = true;
    }
    break;
  }
}

// One key press while a title or idea is typed: Enter keeps it, Escape
// leaves it as it was.
void escribir(estado_editor &e)
{
  while (keypressed()) {
    const int k = readkey();
    const int ascii = k & 0xff;
    const int codigo = k >> 8;
    if (codigo == KEY_ENTER || codigo == KEY_ENTER_PAD) {
      const nivel_texto antes = e.nivel;
      (e.escribiendo == ESCRIBIENDO_TITULO ? e.nivel.titulo : e.nivel.idea) = e.texto_entrada;
      anotar_cambio(e.cambios, antes, e.nivel);
      if (!niveles_iguales(antes, e.nivel)) {
        cambiado(e);
      }
      if (e.escribiendo == ESCRIBIENDO_TITULO) {
        e.escribiendo = ESCRIBIENDO_IDEA;
        e.texto_entrada = e.nivel.idea;
      } else {
        e.escribiendo = ESCRIBIENDO_NADA;
      }
      return;
    }
    if (codigo == KEY_ESC) {
      e.escribiendo = ESCRIBIENDO_NADA;
      return;
    }
    if (codigo == KEY_BACKSPACE) {
      if (!e.texto_entrada.empty()) {
        e.texto_entrada.pop_back();
      }
    } else if (ascii >= ' ' && e.texto_entrada.size() < 80) {
      e.texto_entrada += static_cast<char>(ascii);
    }
  }
}

// A key that went down since the last frame, even if it is already up.
bool tecla_nueva(estado_editor &e, int k)
{
  const bool nueva = dlg_tecla(k, e.vista_tecla[k]) && !e.teclas[k];
  e.teclas[k] = key[k];
  return nueva;
}

// A modifier down now, tapped since the last frame, or down at the last
// frame: a shortcut sent all at once (Ctrl down, Z down and up, Ctrl up)
// keeps its Ctrl even when a frame falls between Ctrl and Z.
bool modificador(estado_editor &e, int izquierda, int derecha)
{
  const bool i = dlg_tecla(izquierda, e.vista_tecla[izquierda]) || e.teclas[izquierda];
  const bool d = dlg_tecla(derecha, e.vista_tecla[derecha]) || e.teclas[derecha];
  e.teclas[izquierda] = key[izquierda];
  e.teclas[derecha] = key[derecha];
  return i || d;
}

void teclado(estado_editor &e, int celda)
{
  if (e.escribiendo != ESCRIBIENDO_NADA) {
    escribir(e);
    // What was typed is text, not shortcuts: the Enter or Escape that ends
    // the typing does not act again on the next frame.
    for (int k = 1; k < KEY_MAX; ++k) {
      dlg_olvidar_tecla(k, e.vista_tecla[k]);
      e.teclas[k] = key[k];
    }
    return;
  }
  clear_keybuf();
  const bool control = modificador(e, KEY_LCONTROL, KEY_RCONTROL);
  const bool mayusculas = modificador(e, KEY_LSHIFT, KEY_RSHIFT);
  if (tecla_nueva(e, KEY_Z) && control) {
    deshacer_o_rehacer(e, !mayusculas);
  }
  if (tecla_nueva(e, KEY_Y) && control) {
    deshacer_o_rehacer(e, false);
  }
  if (tecla_nueva(e, KEY_S) && control) {
    guardar(e);
  }
  if (tecla_nueva(e, KEY_R) && celda >= 0 && e.prueba.pid < 0) {
    girar_celda(e, celda, mayusculas ? -1 : 1);
  }
  if (tecla_nueva(e, KEY_N)) {
    siguiente_paso(e);
  }
  if (tecla_nueva(e, KEY_ESC)) {
    if (e.prueba.pid >= 0) {
      probar(e);
    }
    e.lista_abierta = false;
  }
}

void raton(estado_editor &e)
{
  // A tap between two frames is seen here as a press on this frame, then
  // a release on the next: one click, one painted cell.
  const int b = dlg_botones(e.vista_raton);
  const bool izquierdo = (b & 1) != 0, derecho = (b & 2) != 0;
  const bool nuevo_izq = izquierdo && !(e.botones_antes & 1);
  const bool nuevo_der = derecho && !(e.botones_antes & 2);
  e.botones_antes = b;
  const int x = mouse_x, y = mouse_y;
  const int bajo = celda_bajo(x, y);

  if (e.lista_abierta) {
    if (nuevo_izq) {
      const int fila = (y - ORIGEN_TABLERO - 40) / ALTO_FILA_LISTA;
      e.lista_abierta = false;
      if (bajo >= 0 && y >= ORIGEN_TABLERO + 40 && fila < static_cast<int>(e.lista.size()) && fila < MAX_FILAS_LISTA) {
        abrir(e, (std::filesystem::path(e.carpeta) / e.lista[static_cast<size_t>(fila)]).string());
      }
    }
    return;
  }

  // The editor's buttons click on release over the button pressed.
  if (nuevo_izq) {
    e.boton_pulsado = boton_bajo(x, y);
  }
  if (!izquierdo && e.boton_pulsado >= 0) {
    const int pulsado = e.boton_pulsado;
    e.boton_pulsado = -1;
    if (boton_bajo(x, y) == pulsado) {
      pulsar_boton(e, pulsado);
    }
    return;
  }

  const int hueco = hueco_paleta_bajo(x, y);
  if (hueco >= 0 && (nuevo_izq || nuevo_der)) {
    elegir_paleta(e, hueco, nuevo_der ? -1 : 1);
  }
  const int rueda = mouse_z;

  if (e.elegido == MANO) {
    // As in a game: the buttons or the wheel hold a mirror and turn it, once
    // a logic frame, and the level keeps the angle it is left at.
    if (e.cuenta_ciclo == 0 && hueco < 0 && e.boton_pulsado < 0) {
      if (!e.trazo && (izquierdo || derecho || rueda != 0)) {
        e.trazo = true;
        e.antes_trazo = e.nivel;
      }
      mover_espejos_pinchados(0);
      for (int c = 0; c < NUM_CELDAS; ++c) {
        const celda &k = est_nivel[c];
        const int v = elemento_de_byte(e.nivel.bytes[c]);
        if (k.tipo == espejo && v == ELEMENTO_ESPEJO && e.nivel.bytes[c] != 16 + k.valor) {
          e.nivel.bytes[c] = static_cast<uint8_t>(16 + k.valor);
          e.modificado = true;
          olvidar_prueba(e);
        }
        if (k.tipo == espejo_giratorio && e.nivel.bytes[c] != 86 + k.valor) {
          e.nivel.bytes[c] = static_cast<uint8_t>(86 + k.valor);
          e.modificado = true;
          olvidar_prueba(e);
        }
      }
      if (e.trazo && !izquierdo && !derecho) {
        e.trazo = false;
        anotar_cambio(e.cambios, e.antes_trazo, e.nivel);
      }
    }
    return;
  }

  if (rueda != 0) {
    position_mouse_z(0);
    if (bajo >= 0) {
      girar_celda(e, bajo, rueda > 0 ? 1 : -1);
    } else if (hueco >= 0 && hueco != MANO) {
      e.elegido = hueco;
      elegir_paleta(e, hueco, rueda > 0 ? 1 : -1);
    }
  }

  // A stroke: from a press on the board to its release, one change.
  if ((nuevo_izq || nuevo_der) && bajo >= 0 && !e.trazo) {
    e.trazo = true;
    e.antes_trazo = e.nivel;
    e.ultima_celda = -1;
  }
  if (e.trazo && bajo >= 0 && (izquierdo || derecho)) {
    const uint8_t pintura = izquierdo ? byte_de_elemento(e.elegido, e.variante[e.elegido]) : PALETA[ELEMENTO_SUELO].primero;
    // A quick drag crosses cells between two frames: every cell on the
    // way is painted, not only those the frames saw.
    const int desde = e.ultima_celda >= 0 ? e.ultima_celda : bajo;
    const int x0 = desde % COLUMNAS, y0 = desde / COLUMNAS;
    const int x1 = bajo % COLUMNAS, y1 = bajo / COLUMNAS;
    const int pasos = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int k = 0; k <= pasos; ++k) {
      const int cx = pasos == 0 ? x1 : x0 + ((x1 - x0) * k * 2 + (x1 > x0 ? pasos : -pasos)) / (2 * pasos);
      const int cy = pasos == 0 ? y1 : y0 + ((y1 - y0) * k * 2 + (y1 > y0 ? pasos : -pasos)) / (2 * pasos);
      pintar(e, cy * COLUMNAS + cx, pintura);
    }
    e.ultima_celda = bajo;
  }
  if (e.trazo && !izquierdo && !derecho) {
    e.trazo = false;
    anotar_cambio(e.cambios, e.antes_trazo, e.nivel);
  }
}

// ---------------------------------------------------------------------------
// Drawing
// ---------------------------------------------------------------------------

int gris(int v)
{
  return makecol(v, v, v);
}

void dibujar_boton(int b, const char *texto, bool activo)
{
  const boton_editor &k = botones[b];
  const bool encima = activo && boton_bajo(mouse_x, mouse_y) == b;
  const int fondo = !activo ? makecol(24, 26, 34) : encima ? makecol(70, 90, 140) : makecol(40, 48, 70);
  rectfill(buffer, k.x, k.y, k.x + k.ancho - 1, k.y + ALTO_BOTON - 1, fondo);
  rect(buffer, k.x, k.y, k.x + k.ancho - 1, k.y + ALTO_BOTON - 1, gris(activo ? 170 : 90));
  const int alto = text_height(fuente());
  textout_centre_ex(buffer, fuente(), texto, k.x + k.ancho / 2, k.y + (ALTO_BOTON - alto) / 2,
                    activo ? gris(255) : gris(120), -1);
}

void dibujar_panel(estado_editor &e)
{
  rectfill(buffer, 0, ORIGEN_TABLERO * 2 + FILAS * LADO_CELDA, ANCHO_PANTALLA - 1, ALTO_PANTALLA - 1, makecol(16, 18, 28));

  for (int k = 0; k <= MANO; ++k) {
    const int x = X_PALETA + k * PASO_PALETA;
    if (k < MANO) {
      stretch_sprite(buffer, loseta[e.loseta_paleta[k]], x, Y_PALETA, LADO_PALETA, LADO_PALETA);
    } else {
      rectfill(buffer, x, Y_PALETA, x + LADO_PALETA - 1, Y_PALETA + LADO_PALETA - 1, makecol(40, 48, 70));
      draw_sprite(buffer, puntero, x + (LADO_PALETA - puntero->w) / 2, Y_PALETA + (LADO_PALETA - puntero->h) / 2);
    }
    if (k == e.elegido) {
      rect(buffer, x - 2, Y_PALETA - 2, x + LADO_PALETA + 1, Y_PALETA + LADO_PALETA + 1, amarillo);
      rect(buffer, x - 1, Y_PALETA - 1, x + LADO_PALETA, Y_PALETA + LADO_PALETA, amarillo);
    }
  }
  const int i = espanol() ? 0 : 1;
  const bool probando = e.prueba.pid >= 0;
  char gremlins[32];
  snprintf(gremlins, sizeof gremlins, "Gremlins: %d", e.nivel.gremlins);
  for (int b = 0; b < NUM_BOTONES; ++b) {
    const char *texto = botones[b].texto[i];
    bool activo = true;
    if (b == B_GREMLINS) {
      texto = gremlins;
      activo = false;
    } else if (b == B_PROBAR && probando) {
      texto = tr("Cancelar", "Cancel");
    } else if (b == B_PASO) {
      activo = !e.plan.empty();
    } else if (b == B_DESHACER) {
      activo = !e.cambios.deshacer.empty();
    } else if (b == B_REHACER) {
      activo = !e.cambios.rehacer.empty();
    }
    dibujar_boton(b, texto, activo);
  }

  // Line 1: the file, the title and the idea.
  std::string linea = std::filesystem::path(e.ruta).filename().string() + (e.modificado ? "*" : "");
  if (e.escribiendo != ESCRIBIENDO_NADA) {
    linea += std::string("  ") + (e.escribiendo == ESCRIBIENDO_TITULO ? tr("T\xEDtulo: ", "Title: ") : "Idea: ") +
             e.texto_entrada + "_";
  } else {
    linea += "  \"" + e.nivel.titulo + "\"  " + e.nivel.idea;
  }
  textout_ex(buffer, fuente(), linea.c_str(), X_PALETA, Y_LINEA_1, gris(230), -1);

  // Line 2: the proof under way, the last message, or the problems.
  std::string estado;
  int color = gris(230);
  int marca = -1;  // a square before the text: green or red
  const int hueco = hueco_paleta_bajo(mouse_x, mouse_y);
  if (hueco >= 0) {
    // The element under the pointer, and its variant.
    estado = hueco == MANO ? tr("Mano: sujeta y gira los espejos como en el juego", "Hand: holds and turns the mirrors as in the game")
                           : PALETA[hueco].nombre[i];
    if (hueco != MANO && PALETA[hueco].variantes > 1) {
      estado += " " + ficha_de_byte(byte_de_elemento(hueco, e.variante[hueco]));
    }
  } else if (probando) {
    char texto[96];
    FORMATO(texto, "Probando: partida %d de %d. Cancelar (o Esc) la detiene.",
                                     "Proving: run %d of %d. Cancel (or Esc) stops it.",
             e.prueba.hechas, e.prueba.total);
    estado = texto;
  } else if (!e.mensaje.empty()) {
    estado = e.mensaje;
    if (e.hay_resultado) {
      marca = e.resultado.pasa ? verde : rojo;
    }
  } else if (!e.problemas.empty()) {
    char cuantos[48];
    FORMATO(cuantos, "%zu problemas: ", "%zu problems: ", e.problemas.size());
    estado = cuantos;
    for (size_t p = 0; p < e.problemas.size(); ++p) {
      estado += (p ? "; " : "") + en_idioma(e.problemas[p].texto, espanol());
    }
    marca = rojo;
  } else {
    estado = tr("El nivel cumple las reglas.", "The level keeps the rules.");
  }
  int x = X_PALETA;
  if (marca != -1) {
    rectfill(buffer, x, Y_LINEA_2 + 5, x + 13, Y_LINEA_2 + 18, marca);
    x += 20;
  }
  // Cut to the screen's width.
  while (!estado.empty() && text_length(fuente(), estado.c_str()) > ANCHO_PANTALLA - X_PALETA - x) {
    estado.pop_back();
  }
  textout_ex(buffer, fuente(), estado.c_str(), x, Y_LINEA_2, color, -1);
}

// The problems, each on its own line, over the board while the pointer is
// over the panel's text.
void dibujar_lista_problemas(const estado_editor &e)
{
  if (e.problemas.empty() || mouse_y < Y_LINEA_1 || e.lista_abierta) {
    return;
  }
  const int alto = text_height(fuente()) + 4;
  const int y0 = ORIGEN_TABLERO + FILAS * LADO_CELDA - alto * static_cast<int>(e.problemas.size()) - 8;
  drawing_mode(DRAW_MODE_TRANS, nullptr, 0, 0);
  set_trans_blender(0, 0, 0, 200);
  rectfill(buffer, ORIGEN_TABLERO, y0, ORIGEN_TABLERO + COLUMNAS * LADO_CELDA - 1, ORIGEN_TABLERO + FILAS * LADO_CELDA - 1,
           makecol(0, 0, 0));
  solid_mode();
  set_trans_blender(0, 0, 0, 240);
  int y = y0 + 4;
  for (const problema_nivel &p : e.problemas) {
    std::string t = en_idioma(p.texto, espanol());
    if (p.celda >= 0) {
      t = std::string(tr("celda ", "cell ")) + std::to_string(p.celda) + ": " + t;
    }
    textout_ex(buffer, fuente(), t.c_str(), ORIGEN_TABLERO + 8, y, makecol(255, 140, 110), -1);
    y += alto;
  }
}

void dibujar_lista_ficheros(const estado_editor &e)
{
  if (!e.lista_abierta) {
    return;
  }
  const int x0 = ORIGEN_TABLERO, y0 = ORIGEN_TABLERO;
  rectfill(buffer, x0, y0, x0 + COLUMNAS * LADO_CELDA - 1, y0 + FILAS * LADO_CELDA - 1, makecol(10, 12, 24));
  const std::string cabecera = std::string(tr("Abrir un nivel de ", "Open a level from ")) + e.carpeta;
  textout_ex(buffer, fuente(), cabecera.c_str(), x0 + 12, y0 + 10, amarillo, -1);
  for (size_t f = 0; f < e.lista.size() && f < MAX_FILAS_LISTA; ++f) {
    const int y = y0 + 40 + static_cast<int>(f) * ALTO_FILA_LISTA;
    const bool encima = mouse_y >= y && mouse_y < y + ALTO_FILA_LISTA && mouse_x >= x0 && mouse_x < x0 + COLUMNAS * LADO_CELDA;
    if (encima) {
      rectfill(buffer, x0 + 4, y, x0 + COLUMNAS * LADO_CELDA - 5, y + ALTO_FILA_LISTA - 1, makecol(50, 60, 100));
    }
    textout_ex(buffer, fuente(), e.lista[f].c_str(), x0 + 16, y + 3, gris(240), -1);
  }
}

void dibujar(estado_editor &e, bool logico)
{
  clear_to_color(buffer, 0);
  dibujar_mapa(logico ? 1 : 0, buffer);
  dibujar_rayo();
  for (int c = 0; c < NUM_CELDAS; ++c) {
    if (e.celda_mal[c]) {
      const int x = ORIGEN_TABLERO + LADO_CELDA * (c % COLUMNAS), y = ORIGEN_TABLERO + LADO_CELDA * (c / COLUMNAS);
      for (int g = 0; g < 3; ++g) {
        rect(buffer, x + g, y + g, x + LADO_CELDA - 1 - g, y + LADO_CELDA - 1 - g, rojo);
      }
    }
  }
  const int bajo = celda_bajo(mouse_x, mouse_y);
  if (bajo >= 0 && !e.lista_abierta) {
    const int x = ORIGEN_TABLERO + LADO_CELDA * (bajo % COLUMNAS), y = ORIGEN_TABLERO + LADO_CELDA * (bajo / COLUMNAS);
    rect(buffer, x, y, x + LADO_CELDA - 1, y + LADO_CELDA - 1, gris(255));
  }
  dibujar_panel(e);
  dibujar_lista_problemas(e);
  dibujar_lista_ficheros(e);
}

}  // namespace

void ejecutar_editor(const char *fichero)
{
  static estado_editor e;
  e.carpeta = carpeta_niveles_usuario();
  for (int k = 0; k < NUM_ELEMENTOS; ++k) {
    e.variante[k] = PALETA[k].inicial;
  }
  memset(e.angulo_plan, 255, sizeof e.angulo_plan);
  colocar_botones();
  if (fichero != nullptr) {
    abrir(e, fichero);
  } else {
    abrir_nuevo(e);
  }
  // The beam is drawn at full strength, as at a level's start.
  dt_partida.energia = 64;
  dt_partida.cuenta_energia = 1;
  mover_espejos_pinchados(1);

  while (!e.salir) {
    const bool logico = e.cuenta_ciclo == 0;
    const int celda = celda_bajo(mouse_x, mouse_y);
    teclado(e, celda);
    raton(e);
    resultado_prueba r;
    if (seguir_prueba(e.prueba, r)) {
      terminar_prueba(e, r);
    }
    if (e.recargar) {
      reconstruir(e);
    }
    if (logico) {
      trazar(e);
    }
    dibujar(e, logico);
    e.cuenta_ciclo = logico ? FOTOGRAMAS_POR_CICLO - 1 : e.cuenta_ciclo - 1;
    reproducir_musica(-1);
    paso_fotograma_con_puntero();
  }
  cancelar_prueba(e.prueba);
}
