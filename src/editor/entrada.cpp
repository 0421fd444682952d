// Input and events: each frame, the keys become named commands and the
// mouse becomes strokes, turns, selections and clicks on the panel and the
// dialogs. Every change to the level goes through an edit operation.
#include <allegro.h>

#include "codigo/codigo.h"
#include "editor/editor.h"
#include "pantalla/pantalla.h"

namespace {

// A key that went down since the last frame, even if it is already up.
bool tecla_nueva(estado_editor &e, int k)
{
  const bool nueva = dlg_tecla(k, e.vista_tecla[k]) && !e.teclas[k];
  e.teclas[k] = key[k];
  return nueva;
}

// A modifier down now, tapped since the last frame, or down at the last
// frame: a shortcut sent all at once (Ctrl down, Z down and up, Ctrl up)
// keeps its Ctrl even when a frame falls between Ctrl and Z. Down at the
// last frame counts only if no shortcut took it then: after Ctrl+S, Ctrl
// let go and F1 pressed before the next frame is F1, not Ctrl+F1.
bool modificador(estado_editor &e, int izquierda, int derecha, uint8_t bit)
{
  const bool antes = (e.teclas[izquierda] || e.teclas[derecha]) && (e.mod_gastado & bit) == 0;
  const bool i = dlg_tecla_tocada(izquierda, e.vista_tecla[izquierda]);
  const bool d = dlg_tecla_tocada(derecha, e.vista_tecla[derecha]);
  e.teclas[izquierda] = key[izquierda];
  e.teclas[derecha] = key[derecha];
  return i || d || antes;
}

void olvidar_teclas(estado_editor &e)
{
  for (int k = 1; k < TECLAS_ENTRADA; ++k) {
    dlg_olvidar_tecla(k, e.vista_tecla[k]);
    e.teclas[k] = key[k];
  }
}


// Keys typed into a dialog's line: Enter takes it, Escape leaves it as it
// was. Only what the game's fonts draw is typed.
void escribir(estado_editor &e)
{
  while (keypressed() && escribiendo(e)) {
    int codigo = 0;
    const int c = ureadkey(&codigo);
    if (codigo == KEY_ENTER || codigo == KEY_ENTER_PAD) {
      terminar_texto(e);
    } else if (codigo == KEY_ESC) {
      e.dialogo = DIALOGO_NINGUNO;
    } else if (codigo == KEY_BACKSPACE) {
      if (!e.texto_entrada.empty()) {
        e.texto_entrada.pop_back();
      }
      e.sugerido = false;
    } else if (c >= ' ') {
      const bool numero = e.dialogo == DIALOGO_NUMERO;
      if (numero ? c >= '0' && c <= '9' : c <= 0xff && caracter_dibujable(static_cast<unsigned char>(c))) {
        if (e.sugerido) {
          e.texto_entrada.clear();
          e.sugerido = false;
        }
        const size_t maximo = numero ? 2u : e.dialogo == DIALOGO_AUTOR ? static_cast<size_t>(LONG_NOMBRE) : 80u;
        if (e.texto_entrada.size() < maximo) {
          e.texto_entrada += static_cast<char>(c);
        }
        e.aviso_dialogo.clear();
      } else {
        e.aviso_dialogo = numero ? tr("Solo cifras.", "Digits only.")
                                 : tr("Las letras del juego no tienen ese car\xE1" "cter.",
                                      "The game's letters do not have that character.");
      }
    }
  }
}

// The keys of a dialog that shows: Enter takes its first answer, Escape
// its last.
void teclas_dialogo(estado_editor &e)
{
  const bool entrar = tecla_nueva(e, KEY_ENTER) || tecla_nueva(e, KEY_ENTER_PAD);
  const bool escapar = tecla_nueva(e, KEY_ESC);
  const bool f1 = tecla_nueva(e, KEY_F1);
  switch (e.dialogo) {
  case DIALOGO_PREGUNTA:
    if (entrar || escapar) {
      responder_pregunta(e, entrar ? 0 : 2);
    }
    break;
  case DIALOGO_RECUPERAR:
    if (entrar) {
      responder_recuperacion(e, true);
    } else if (escapar) {
      e.dialogo = DIALOGO_NINGUNO;
    }
    break;
  case DIALOGO_AYUDA:
    if (entrar || escapar || f1) {
      e.dialogo = DIALOGO_NINGUNO;
    }
    break;
  case DIALOGO_ABRIR:
    if (escapar) {
      cerrar_lista(e);
    }
    break;
  default:
    break;
  }
}

void teclado(estado_editor &e)
{
  if (escribiendo(e)) {
    escribir(e);
    // What was typed is text, not shortcuts: the Enter or Escape that ends
    // the typing does not act again on the next frame.
    olvidar_teclas(e);
    return;
  }
  clear_keybuf();
  if (e.dialogo != DIALOGO_NINGUNO) {
    teclas_dialogo(e);
    return;
  }
  const bool control = modificador(e, KEY_LCONTROL, KEY_RCONTROL, MOD_CTRL);
  const bool mayusculas = modificador(e, KEY_LSHIFT, KEY_RSHIFT, MOD_MAYUS);
  const uint8_t mod = static_cast<uint8_t>((control ? MOD_CTRL : 0) | (mayusculas ? MOD_MAYUS : 0));
  // Each key is looked at once a frame, whichever commands share it.
  bool vista[TECLAS_ENTRADA] = {};
  bool nueva[TECLAS_ENTRADA] = {};
  auto mirar = [&](int k) {
    if (k > 0 && !vista[k]) {
      vista[k] = true;
      nueva[k] = tecla_nueva(e, k);
    }
  };
  for (const comando &k : COMANDOS) {
    mirar(k.tecla);
    mirar(k.otra_tecla);
  }
  e.mod_gastado = 0;
  for (int c = 0; c < NUM_COMANDOS && e.dialogo == DIALOGO_NINGUNO; ++c) {
    const comando &k = COMANDOS[c];
    if ((k.tecla > 0 && nueva[k.tecla] && k.mod == mod) || (k.otra_tecla > 0 && nueva[k.otra_tecla] && k.otro_mod == mod)) {
      e.mod_gastado |= mod;
      ejecutar_comando(e, c);
    }
  }
}

// The hand: the buttons or the wheel hold a mirror and turn it as in a
// game, once a logic frame, and the level keeps the angle it is left at.
void mano(estado_editor &e, bool pulsado, int bajo)
{
  if (e.cuenta_ciclo != 0 || e.pulsado >= 0) {
    return;
  }
  const bool rueda = mouse_z != 0;
  if (!e.trazo && pulsado && bajo >= 0) {
    e.trazo = true;
    e.grupo_trazo = nuevo_grupo(e.doc);
  }
  mover_espejos_pinchados(0);
  for (int c = 0; c < NUM_CELDAS; ++c) {
    const celda &k = nucleo.est_nivel[c];
    const int elemento = elemento_de_byte(e.doc.nivel.bytes[c]);
    uint8_t b = e.doc.nivel.bytes[c];
    if (k.tipo == espejo && elemento == ELEMENTO_ESPEJO) {
      b = byte_de_elemento(ELEMENTO_ESPEJO, k.valor);
    } else if (k.tipo == espejo_giratorio) {
      b = byte_de_elemento(ELEMENTO_ESPEJO_GIRATORIO, k.valor);
    }
    if (b != e.doc.nivel.bytes[c]) {
      const frase que{std::string("girar ") + ELEMENTOS[elemento].nombre[0], std::string("turn ") + ELEMENTOS[elemento].nombre[1]};
      // A held turn is one step; the wheel's turns of one mirror in a
      // burst are one step.
      if (e.trazo) {
        poner_celda(e.doc, c, b, e.grupo_trazo, que);
      } else if (rueda) {
        poner_celda(e.doc, c, b, grupo_de_celda(c), que, ahora_ms(), PLAZO_GIROS_MS);
      }
    }
  }
  if (e.trazo && !pulsado) {
    e.trazo = false;
  }
}

// The element tools: a stroke of the left button paints, of the right one
// clears; a click on a wall of the chosen kind toggles the quarter under
// the pointer.
// A stroke starts where its button went down (x, y), which a quick drag has
// left by the time the frame looks: from there to the pointer's cell now,
// and then from frame to frame, every cell on the way is painted.
void pintura(estado_editor &e, bool izquierdo, bool derecho, bool nuevo_izq, bool nuevo_der, int celda, int x,
             int y)
{
  const int celda_pulsada = celda_bajo(x, y);
  if ((nuevo_izq || nuevo_der) && celda_pulsada >= 0 && !e.trazo && e.pulsado < 0) {
    const int cx = (x - ORIGEN_TABLERO) % LADO_CELDA, cy = (y - ORIGEN_TABLERO) % LADO_CELDA;
    if (nuevo_izq && alternar_cuarto(e.doc, celda_pulsada, e.elegido, cuarto_en(cx, cy))) {
      return;
    }
    e.trazo = true;
    e.grupo_trazo = nuevo_grupo(e.doc);
    e.ultima_celda = celda_pulsada;
    e.boton_trazo = nuevo_izq ? 0 : 1;
  }
  // Off the board, the stroke's last cell on it is painted still: a drag
  // off the board at once has painted its first cell.
  const int hasta = celda >= 0 ? celda : e.ultima_celda;
  if (e.trazo && hasta >= 0 && (izquierdo || derecho)) {
    const uint8_t b = izquierdo ? byte_de_elemento(e.elegido, e.variante[e.elegido]) : ELEMENTOS[ELEMENTO_SUELO].primero;
    pintar_linea(e.doc, e.ultima_celda >= 0 ? e.ultima_celda : hasta, hasta, b, e.grupo_trazo);
    e.ultima_celda = hasta;
    e.byte_trazo = b;
  }
  if (e.trazo && !izquierdo && !derecho) {
    // A quick drag's move and release can both come after the look that
    // saw its press: the stroke goes on to where its button came up.
    const int soltada =
        celda_bajo(e.vista_raton.x_soltado[e.boton_trazo], e.vista_raton.y_soltado[e.boton_trazo]);
    if (soltada >= 0 && e.ultima_celda >= 0 && soltada != e.ultima_celda) {
      pintar_linea(e.doc, e.ultima_celda, soltada, e.byte_trazo, e.grupo_trazo);
    }
    e.trazo = false;
  }
}

// The selection: a drag marks a rectangle, a drag from inside it moves
// it, the right button drops it; a drag is taken from the cell where its
// button went down, `pulsada`.
void seleccion(estado_editor &e, bool izquierdo, bool nuevo_izq, bool nuevo_der, int celda, int pulsada)
{
  if (nuevo_der && pulsada >= 0) {
    e.hay_seleccion = false;
    return;
  }
  if (nuevo_izq && pulsada >= 0 && e.pulsado < 0) {
    if (e.hay_seleccion && dentro(e.seleccion, pulsada)) {
      e.moviendo = true;
      e.agarre = e.destino_movido = pulsada;
    } else {
      e.seleccionando = true;
      e.ancla = pulsada;
      e.seleccion = rectangulo_entre(pulsada, pulsada);
      e.hay_seleccion = true;
    }
  }
  if (izquierdo && celda >= 0) {
    if (e.seleccionando) {
      e.seleccion = rectangulo_entre(e.ancla, celda);
    }
    if (e.moviendo) {
      e.destino_movido = celda;
    }
  }
  if (!izquierdo) {
    if (e.moviendo && e.destino_movido != e.agarre) {
      const int dx = e.destino_movido % COLUMNAS - e.agarre % COLUMNAS;
      const int dy = e.destino_movido / COLUMNAS - e.agarre / COLUMNAS;
      e.seleccion = mover(e.doc, e.seleccion, dx, dy, SIN_GRUPO, 0);
    }
    e.moviendo = e.seleccionando = false;
  }
}

// A press and release on the dialog: its buttons, the list's files. A
// press anywhere closes the help.
constexpr int BOTON_DE_LISTA = 1000;

void raton_dialogo(estado_editor &e, bool izquierdo, bool nuevo_izq, int rueda)
{
  if (rueda != 0) {
    position_mouse_z(0);
    desplazar_dialogo(e, rueda > 0 ? -1 : 1);
  }
  if (nuevo_izq) {
    if (e.dialogo == DIALOGO_AYUDA) {
      e.dialogo = DIALOGO_NINGUNO;
      return;
    }
    const int boton = boton_dialogo_bajo(e, e.x, e.y);
    e.pulsado = e.dialogo != DIALOGO_ABRIR ? boton : boton >= 0 ? BOTON_DE_LISTA + boton : fichero_bajo(e, e.x, e.y);
    return;
  }
  if (izquierdo || e.pulsado < 0) {
    return;
  }
  const int pulsado = e.pulsado;
  e.pulsado = -1;
  if (e.dialogo == DIALOGO_ABRIR) {
    if (pulsado >= BOTON_DE_LISTA) {
      if (boton_dialogo_bajo(e, e.x, e.y) == pulsado - BOTON_DE_LISTA) {
        cerrar_lista(e);
      }
    } else if (fichero_bajo(e, e.x, e.y) == pulsado) {
      const std::string ruta = e.carpeta + "/" + e.lista[static_cast<size_t>(pulsado)].nombre;
      cerrar_lista(e);
      abrir_nivel(e, ruta);
    }
    return;
  }
  if (boton_dialogo_bajo(e, e.x, e.y) != pulsado) {
    return;
  }
  switch (e.dialogo) {
  case DIALOGO_PREGUNTA:
    responder_pregunta(e, pulsado);
    break;
  case DIALOGO_RECUPERAR:
    if (pulsado == 2) {
      e.dialogo = DIALOGO_NINGUNO;
    } else {
      responder_recuperacion(e, pulsado == 0);
    }
    break;
  case DIALOGO_TITULO:
  case DIALOGO_IDEA:
  case DIALOGO_NUMERO:
  case DIALOGO_AUTOR:
    if (pulsado == 0) {
      terminar_texto(e);
    } else {
      e.dialogo = DIALOGO_NINGUNO;
    }
    break;
  default:
    break;
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
  e.x = mouse_x;
  e.y = mouse_y;
  const int rueda = mouse_z;
  const int parte = parte_bajo(e.x, e.y);
  const int celda = celda_bajo(e.x, e.y);
  const int64_t t = ahora_ms();

  if (e.dialogo != DIALOGO_NINGUNO) {
    raton_dialogo(e, izquierdo, nuevo_izq, rueda);
    return;
  }

  // The panel: buttons click on release over the button pressed; the
  // palette and the status area answer the press.
  if ((nuevo_izq || nuevo_der) && parte >= 0 && !e.trazo && !e.seleccionando && !e.moviendo) {
    if (parte >= PARTE_HUECO) {
      const int hueco = parte - PARTE_HUECO;
      // A click on the element in use turns its variant (the right button
      // back), so an author can pick one with clicks alone.
      elegir_hueco(e, hueco, nuevo_der ? -1 : hueco == e.elegido ? 1 : 0);
    } else if (parte == PARTE_ESTADO) {
      const int flecha = flecha_estado_bajo(e.x, e.y);
      const int marcada = celda_en_estado(e, e.x, e.y);
      if (flecha != 0) {
        e.desplazamiento_estado += flecha;
      } else if (marcada >= 0) {
        e.celda_resaltada = marcada;
        e.resaltada_hasta = t + 3000;
      }
    } else if (nuevo_izq) {
      e.pulsado = parte;
    }
  }
  if (!izquierdo && e.pulsado >= 0) {
    const int pulsado = e.pulsado;
    e.pulsado = -1;
    if (parte == pulsado) {
      ejecutar_comando(e, pulsado);
    }
    if (e.dialogo != DIALOGO_NINGUNO) {
      return;
    }
  }

  // The wheel turns what is under it; with the hand it is the hand's.
  if (rueda != 0 && !(e.elegido == HUECO_MANO && celda >= 0)) {
    position_mouse_z(0);
    const int paso = rueda > 0 ? 1 : -1;
    if (celda >= 0) {
      girar_celda(e.doc, celda, paso, t);
    } else if (parte >= PARTE_HUECO && parte - PARTE_HUECO < NUM_ELEMENTOS) {
      elegir_hueco(e, parte - PARTE_HUECO, paso);
    } else if (parte == PARTE_ESTADO) {
      e.desplazamiento_estado -= paso;
    }
  }

  // Where the button of a new press went down.
  const int boton_nuevo = nuevo_izq ? 0 : nuevo_der ? 1 : -1;
  const int x_pulsada = boton_nuevo >= 0 ? e.vista_raton.x_pulsacion[boton_nuevo] : e.x;
  const int y_pulsada = boton_nuevo >= 0 ? e.vista_raton.y_pulsacion[boton_nuevo] : e.y;
  if (e.elegido == HUECO_MANO) {
    mano(e, izquierdo || derecho, celda);
  } else if (e.elegido == HUECO_SELECCION) {
    seleccion(e, izquierdo, nuevo_izq, nuevo_der, celda, celda_bajo(x_pulsada, y_pulsada));
  } else {
    pintura(e, izquierdo, derecho, nuevo_izq, nuevo_der, celda, x_pulsada, y_pulsada);
  }
}

}  // namespace

void olvidar_entrada(estado_editor &e, int ms)
{
  dlg_olvidar_botones(e.vista_raton);
  poll_mouse();
  e.botones_antes = mouse_b;
  olvidar_teclas(e);
  clear_keybuf();
  position_mouse_z(0);
  mover_espejos_pinchados(1);
  e.trazo = e.seleccionando = e.moviendo = false;
  e.pulsado = -1;
  e.ignorar_hasta = ahora_ms() + ms;
}

void atender_entrada(estado_editor &e)
{
  const int64_t t = ahora_ms();
  // What the pointer rests on, for its tooltip.
  const int parte = parte_bajo(mouse_x, mouse_y);
  if (parte != e.encima) {
    e.encima = parte;
    e.encima_desde = t;
  }
  if (t < e.ignorar_hasta) {
    // Nothing pressed now is taken, then or later: a button still held
    // when the time is up is not a new press.
    olvidar_entrada(e, static_cast<int>(e.ignorar_hasta - t));
    e.x = mouse_x;
    e.y = mouse_y;
    return;
  }
  teclado(e);
  raton(e);
}
