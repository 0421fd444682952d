// The editor's named commands: every key and every button runs one of
// them, through the one table below, which the tooltips and the help read
// their names and keys from.
#include <allegro.h>

#include "editor/editor.h"
#include "pantalla/pantalla.h"

namespace {

bool hay_seleccion(const estado_editor &e)
{
  return e.hay_seleccion;
}

bool hay_portapapeles(const estado_editor &e)
{
  return !e.portapapeles.bytes.empty();
}

bool puede_deshacer(const estado_editor &e)
{
  return !e.doc.deshacer.empty();
}

bool puede_rehacer(const estado_editor &e)
{
  return !e.doc.rehacer.empty();
}

bool menos_gremlins(const estado_editor &e)
{
  return e.doc.nivel.gremlins > 0;
}

bool mas_gremlins(const estado_editor &e)
{
  return e.doc.nivel.gremlins < MAX_GREMLINS_NIVEL;
}

void c_nuevo(estado_editor &e)
{
  preguntar_si_hay_cambios(e, TRAS_NUEVO);
}

void c_abrir(estado_editor &e)
{
  preguntar_si_hay_cambios(e, TRAS_ABRIR);
}

void c_guardar(estado_editor &e)
{
  guardar_en(e, e.doc.ruta);
}

void c_guardar_como(estado_editor &e)
{
  e.dialogo = DIALOGO_NUMERO;
  const int n = numero_de_nombre(primer_nombre_libre(e.carpeta));
  e.texto_entrada = n > 0 ? std::to_string(n) : "";
  e.sugerido = true;
  e.aviso_dialogo.clear();
  clear_keybuf();
}

// Undo and redo say what they did.
void deshacer_o_rehacer(estado_editor &e, bool atras)
{
  frase que;
  if (!(atras ? deshacer(e.doc, que) : rehacer(e.doc, que))) {
    decir(e, atras ? frase{"No hay nada que deshacer.", "Nothing to undo."} : frase{"No hay nada que rehacer.", "Nothing to redo."});
    return;
  }
  decir(e, atras ? frase{"Deshecho: " + que.es + ".", "Undone: " + que.en + "."}
                 : frase{"Rehecho: " + que.es + ".", "Redone: " + que.en + "."});
}

void c_deshacer(estado_editor &e)
{
  deshacer_o_rehacer(e, true);
}

void c_rehacer(estado_editor &e)
{
  deshacer_o_rehacer(e, false);
}

void c_titulo(estado_editor &e)
{
  e.dialogo = DIALOGO_TITULO;
  e.texto_entrada = e.doc.nivel.titulo;
  e.sugerido = false;
  e.aviso_dialogo.clear();
  clear_keybuf();
}

void c_ayuda(estado_editor &e)
{
  e.dialogo = DIALOGO_AYUDA;
  e.desplazamiento_dialogo = 0;
}

void c_idioma(estado_editor &e)
{
  idioma = espanol() ? IDIOMA_INGLES : IDIOMA_ESPANOL;
  colocar_texto_botones_partida();
  colocar_botones();
  e.recargar = true;
  if (guardar_idioma_editor(idioma)) {
    decir(e, {"El editor habla espa\xF1ol desde ahora.", "The editor speaks English from now on."});
  } else {
    decir(e, {"El editor habla espa\xF1ol, pero no se ha podido recordar.",
              "The editor speaks English, but it could not be remembered."});
  }
}

void c_salir(estado_editor &e)
{
  preguntar_si_hay_cambios(e, TRAS_SALIR);
}

void c_menos_gremlins(estado_editor &e)
{
  cambiar_gremlins(e.doc, e.doc.nivel.gremlins - 1);
}

void c_mas_gremlins(estado_editor &e)
{
  cambiar_gremlins(e.doc, e.doc.nivel.gremlins + 1);
}

std::string medida(const rectangulo &r)
{
  return std::to_string(r.ancho) + " x " + std::to_string(r.alto);
}

void c_copiar(estado_editor &e)
{
  e.portapapeles = copiar(e.doc.nivel, e.seleccion);
  decir(e, {"Copiadas " + medida(e.seleccion) + " celdas.", "Copied " + medida(e.seleccion) + " cells."});
}

void c_cortar(estado_editor &e)
{
  e.portapapeles = copiar(e.doc.nivel, e.seleccion);
  rellenar(e.doc, e.seleccion, ELEMENTOS[ELEMENTO_SUELO].primero, {"cortar", "cut"});
}

void c_pegar(estado_editor &e)
{
  // Where the pointer is on the board, else where the selection is.
  const int bajo = celda_bajo(e.x, e.y);
  const int columna = bajo >= 0 ? bajo % COLUMNAS : e.hay_seleccion ? e.seleccion.columna : 0;
  const int fila = bajo >= 0 ? bajo / COLUMNAS : e.hay_seleccion ? e.seleccion.fila : 0;
  e.seleccion = pegar(e.doc, e.portapapeles, columna, fila);
  e.hay_seleccion = true;
  e.elegido = HUECO_SELECCION;
}

void c_voltear(estado_editor &e, bool horizontal)
{
  voltear(e.doc, e.hay_seleccion ? e.seleccion : TABLERO_ENTERO, horizontal);
}

void c_voltear_h(estado_editor &e)
{
  c_voltear(e, true);
}

void c_voltear_v(estado_editor &e)
{
  c_voltear(e, false);
}

void c_rellenar(estado_editor &e)
{
  const uint8_t b = byte_de_elemento(e.elemento, e.variante[e.elemento]);
  rellenar(e.doc, e.seleccion, b, {std::string("rellenar de ") + ELEMENTOS[e.elemento].nombre[0],
                                   std::string("fill with ") + ELEMENTOS[e.elemento].nombre[1]});
}

void c_borrar(estado_editor &e)
{
  rellenar(e.doc, e.seleccion, ELEMENTOS[ELEMENTO_SUELO].primero, {"borrar", "clear"});
}

void c_seleccionar_todo(estado_editor &e)
{
  e.seleccion = TABLERO_ENTERO;
  e.hay_seleccion = true;
  e.elegido = HUECO_SELECCION;
}

void c_seleccionar(estado_editor &e)
{
  elegir_hueco(e, HUECO_SELECCION, 0);
}

void c_mano(estado_editor &e)
{
  elegir_hueco(e, HUECO_MANO, 0);
}

// R and Shift+R: whatever is under the pointer, a cell or a palette slot.
void girar_bajo_puntero(estado_editor &e, int pasos)
{
  const int celda = celda_bajo(e.x, e.y);
  const int hueco = hueco_paleta_bajo(e.x, e.y);
  if (celda >= 0) {
    girar_celda(e.doc, celda, pasos, ahora_ms());
  } else if (hueco >= 0 && hueco < NUM_ELEMENTOS) {
    elegir_hueco(e, hueco, pasos);
  }
}

void c_girar(estado_editor &e)
{
  girar_bajo_puntero(e, 1);
}

void c_girar_atras(estado_editor &e)
{
  girar_bajo_puntero(e, -1);
}

void mover_seleccion(estado_editor &e, int dx, int dy)
{
  e.seleccion = mover(e.doc, e.seleccion, dx, dy, GRUPO_MOVER, ahora_ms());
}

void c_mover_izquierda(estado_editor &e)
{
  mover_seleccion(e, -1, 0);
}

void c_mover_derecha(estado_editor &e)
{
  mover_seleccion(e, 1, 0);
}

void c_mover_arriba(estado_editor &e)
{
  mover_seleccion(e, 0, -1);
}

void c_mover_abajo(estado_editor &e)
{
  mover_seleccion(e, 0, 1);
}

// Esc stops what is under way: the proof, then the selection.
void c_escape(estado_editor &e)
{
  if (e.prueba.pid >= 0) {
    probar(e);
  } else {
    e.hay_seleccion = false;
  }
}

}  // namespace

// Room is left for more commands: each needs its line here, and a button
// in the panel's table if it has one.
const comando COMANDOS[NUM_COMANDOS] = {
    {{"Nivel nuevo", "New level"}, KEY_N, MOD_CTRL, 0, 0, c_nuevo, nullptr},
    {{"Abrir un nivel", "Open a level"}, KEY_O, MOD_CTRL, 0, 0, c_abrir, nullptr},
    {{"Guardar", "Save"}, KEY_S, MOD_CTRL, 0, 0, c_guardar, nullptr},
    {{"Guardar como otro n\xFAmero de nivel", "Save as another level number"}, KEY_S, MOD_CTRL | MOD_MAYUS, 0, 0,
     c_guardar_como, nullptr},
    {{"Deshacer", "Undo"}, KEY_Z, MOD_CTRL, 0, 0, c_deshacer, puede_deshacer},
    {{"Rehacer", "Redo"}, KEY_Y, MOD_CTRL, KEY_Z, MOD_CTRL | MOD_MAYUS, c_rehacer, puede_rehacer},
    {{"T\xEDtulo e idea del nivel", "The level's title and idea"}, KEY_T, MOD_CTRL, 0, 0, c_titulo, nullptr},
    {{"Probar que se puede ganar (otra vez: cancelar)", "Prove it can be won (again: cancel)"}, KEY_P, MOD_CTRL,
     0, 0, probar, nullptr},
    {{"Paso siguiente del plan", "Next step of the plan"}, KEY_N, 0, 0, 0, siguiente_paso, nullptr},
    {{"Jugar el nivel en el juego", "Play the level in the game"}, KEY_F5, 0, 0, 0, jugar, nullptr},
    {{"Publicar en el servidor (una vez ganado: Probar o Jugar)", "Publish on the server (once won: Prove or Play)"},
     KEY_U, MOD_CTRL, 0, 0, publicar, puede_publicar},
    {{"Ayuda: teclas y reglas", "Help: keys and rules"}, KEY_F1, 0, 0, 0, c_ayuda, nullptr},
    {{"Cambiar el idioma del editor", "Switch the editor's language"}, KEY_L, MOD_CTRL, 0, 0, c_idioma, nullptr},
    {{"Salir", "Exit"}, KEY_Q, MOD_CTRL, 0, 0, c_salir, nullptr},
    {{"Un gremlin menos", "One gremlin fewer"}, KEY_MINUS, 0, KEY_MINUS_PAD, 0, c_menos_gremlins, menos_gremlins},
    {{"Un gremlin m\xE1s", "One gremlin more"}, KEY_EQUALS, 0, KEY_PLUS_PAD, 0, c_mas_gremlins, mas_gremlins},
    {{"Cortar la selecci\xF3n", "Cut the selection"}, KEY_X, MOD_CTRL, 0, 0, c_cortar, hay_seleccion},
    {{"Copiar la selecci\xF3n", "Copy the selection"}, KEY_C, MOD_CTRL, 0, 0, c_copiar, hay_seleccion},
    {{"Pegar donde est\xE1 el puntero", "Paste where the pointer is"}, KEY_V, MOD_CTRL, 0, 0, c_pegar,
     hay_portapapeles},
    {{"Voltear de izquierda a derecha (la selecci\xF3n o todo)", "Flip left to right (the selection or all)"}, KEY_H,
     0, 0, 0, c_voltear_h, nullptr},
    {{"Voltear de arriba abajo (la selecci\xF3n o todo)", "Flip top to bottom (the selection or all)"}, KEY_V, 0, 0,
     0, c_voltear_v, nullptr},
    {{"Rellenar la selecci\xF3n con el elemento elegido", "Fill the selection with the chosen element"}, KEY_F, 0, 0,
     0, c_rellenar, hay_seleccion},
    {{"Borrar la selecci\xF3n", "Clear the selection"}, KEY_DEL, 0, 0, 0, c_borrar, hay_seleccion},
    {{"Seleccionar todo el tablero", "Select the whole board"}, KEY_A, MOD_CTRL, 0, 0, c_seleccionar_todo, nullptr},
    {{"Seleccionar un rect\xE1ngulo (arrastrar; arrastrar dentro: mover)",
      "Select a rectangle (drag; drag inside: move)"},
     KEY_S, 0, 0, 0, c_seleccionar, nullptr},
    {{"Mano: sujeta y gira los espejos como en el juego", "Hand: holds and turns the mirrors as in the game"}, KEY_M,
     0, 0, 0, c_mano, nullptr},
    {{"Girar lo que hay bajo el puntero", "Turn what is under the pointer"}, KEY_R, 0, 0, 0, c_girar, nullptr},
    {{"Girar hacia atr\xE1s", "Turn back"}, KEY_R, MOD_MAYUS, 0, 0, c_girar_atras, nullptr},
    {{"Mover la selecci\xF3n a la izquierda", "Move the selection left"}, KEY_LEFT, 0, 0, 0, c_mover_izquierda,
     hay_seleccion},
    {{"Mover la selecci\xF3n a la derecha", "Move the selection right"}, KEY_RIGHT, 0, 0, 0, c_mover_derecha,
     hay_seleccion},
    {{"Mover la selecci\xF3n arriba", "Move the selection up"}, KEY_UP, 0, 0, 0, c_mover_arriba, hay_seleccion},
    {{"Mover la selecci\xF3n abajo", "Move the selection down"}, KEY_DOWN, 0, 0, 0, c_mover_abajo, hay_seleccion},
    {{"Detener la prueba; quitar la selecci\xF3n", "Stop the proof; drop the selection"}, KEY_ESC, 0, 0, 0, c_escape,
     nullptr},
};

namespace {

std::string nombre_tecla(int tecla, uint8_t mod)
{
  std::string t;
  if (mod & MOD_CTRL) {
    t += "Ctrl+";
  }
  if (mod & MOD_MAYUS) {
    t += espanol() ? "May\xFAs+" : "Shift+";
  }
  if (tecla >= KEY_A && tecla <= KEY_Z) {
    return t + static_cast<char>('A' + tecla - KEY_A);
  }
  if (tecla >= KEY_F1 && tecla <= KEY_F12) {
    return t + "F" + std::to_string(tecla - KEY_F1 + 1);
  }
  switch (tecla) {
  case KEY_DEL:
    return t + tr("Supr", "Del");
  case KEY_ESC:
    return t + "Esc";
  case KEY_LEFT:
    return t + tr("Flecha izquierda", "Left arrow");
  case KEY_RIGHT:
    return t + tr("Flecha derecha", "Right arrow");
  case KEY_UP:
    return t + tr("Flecha arriba", "Up arrow");
  case KEY_DOWN:
    return t + tr("Flecha abajo", "Down arrow");
  case KEY_MINUS:
  case KEY_MINUS_PAD:
    return t + "-";
  case KEY_EQUALS:
  case KEY_PLUS_PAD:
    return t + "+";
  default:
    return t + "?";
  }
}

}  // namespace

std::string tecla_de_comando(int c)
{
  const comando &k = COMANDOS[c];
  if (k.tecla == 0) {
    return "";
  }
  std::string t = nombre_tecla(k.tecla, k.mod);
  // The keypad's twin of a key is not worth naming.
  if (k.otra_tecla != 0 && k.otra_tecla != KEY_MINUS_PAD && k.otra_tecla != KEY_PLUS_PAD) {
    t += tr(" o ", " or ") + nombre_tecla(k.otra_tecla, k.otro_mod);
  }
  return t;
}

void ejecutar_comando(estado_editor &e, int c)
{
  const comando &k = COMANDOS[c];
  if (k.disponible == nullptr || k.disponible(e)) {
    k.accion(e);
  }
}
