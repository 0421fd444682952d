// The dialog toolkit: one fixed table of buttons, two caption fonts and a
// small stack that says which dialog is live.
#include "dlg/dlg.h"

#include <allegro.h>

t_boton boton[MAX_BOTONES];
int32_t botones_usados;
t_tipo_fuente tipo_fuente[MAX_FUENTES];
int8_t pila[MAX_PILA];
int8_t cima_pila = -1;
int rosa;

namespace {

// The mouse latch, shared by every nesting level of screens: 0 free, 2 held
// since a press was seen. It starts at 1, "held with no button", so a button
// that is down while the program starts clicks nothing.
uint8_t pinchado = 1;

// The record (table position) under the pointer or being pressed; -1 none.
// The table holds more records than an int8_t counts.
int boton_t = -1;

// The toolkit's own look at the mouse buttons.
t_vista_raton vista_raton{};

// Inside the button's shape: on a mask pixel that is not magenta. The mask
// is placed where the normal look is drawn.
bool tocado(const t_boton &b)
{
  const int c = getpixel(b.imagen[IMAGEN_MASCARA], mouse_x - b.x[BOTON_NORMAL], mouse_y - b.y[BOTON_NORMAL]);
  return c >= 0 && c != rosa;
}

bool vivo(const t_boton &b)
{
  return b.estado >= 0 && b.dialogo == pila[cima_pila];
}

// Draws the caption centred on an image of w x h drawn at (x, y).
void dibujar_texto(BITMAP *destino, const t_boton &b, int32_t x, int32_t y, int w, int h)
{
  if (b.texto == nullptr || b.fuente < 0 || b.fuente >= MAX_FUENTES) {
    return;
  }
  const t_tipo_fuente &f = tipo_fuente[b.fuente];
  if (f.fuente != nullptr) {
    textout_centre_ex(destino, f.fuente, b.texto, x + w / 2, y + h / 2 + f.desplazamiento, -1, -1);
  }
}

// The first used record with that dialog and number, or null.
t_boton *buscar(int8_t dialogo, int8_t indice)
{
  for (int i = 0; i < botones_usados; ++i) {
    if (boton[i].dialogo == dialogo && boton[i].indice == indice) {
      return &boton[i];
    }
  }
  return nullptr;
}

}  // namespace

void dlg_inicializar()
{
  for (t_boton &b : boton) {
    b = t_boton{};
    b.estado = BOTON_OCULTO;
    b.dialogo = -1;
    b.indice = -1;
  }
  botones_usados = 0;
  for (t_tipo_fuente &f : tipo_fuente) {
    f = {nullptr, 0};
  }
  for (int8_t &p : pila) {
    p = 0;
  }
  cima_pila = -1;
  rosa = makecol(255, 0, 255);
  install_mouse();
  dlg_instalar_entrada();
}

void dlg_incorporar_fuente(int8_t ranura, FONT *fuente, int32_t desplazamiento)
{
  if (ranura >= 0 && ranura < MAX_FUENTES) {
    tipo_fuente[ranura] = {fuente, desplazamiento};
  }
}

int8_t dlg_incorporar_boton(int8_t dialogo, BITMAP *mascara, BITMAP *normal, BITMAP *encima,
                            BITMAP *pulsado, int32_t x, int32_t y, const char *texto,
                            int8_t fuente, accion_boton accion)
{
  if (botones_usados >= MAX_BOTONES || mascara == nullptr) {
    return -1;
  }
  int8_t indice = 0;
  for (int i = 0; i < MAX_BOTONES && boton[i].dialogo >= 0; ++i) {
    if (boton[i].dialogo == dialogo) {
      ++indice;
    }
  }

  t_boton &b = boton[botones_usados];
  BITMAP *const imagenes[3] = {normal, encima, pulsado};
  for (int k = 0; k < 3; ++k) {
    b.imagen[k] = imagenes[k];
    b.x[k] = x;
    b.y[k] = y;
    if (imagenes[k] != nullptr) {
      b.x[k] -= (imagenes[k]->w - mascara->w) / 2;
      b.y[k] -= (imagenes[k]->h - mascara->h) / 2;
    }
  }
  b.imagen[IMAGEN_MASCARA] = mascara;
  b.x[IMAGEN_MASCARA] = x;
  b.y[IMAGEN_MASCARA] = y;
  b.estado = BOTON_NORMAL;
  b.dialogo = dialogo;
  b.indice = indice;
  b.texto = texto;
  b.fuente = fuente;
  b.accion = accion;
  ++botones_usados;
  return indice;
}

// A dialog pushed or uncovered is a screen that opens: a press made before
// it showed was aimed at another, and a held button stays held by the
// latch, so only the counts are forgotten.
void dlg_apilar_dialogo(int8_t dialogo)
{
  if (cima_pila < MAX_PILA - 1) {
    pila[++cima_pila] = dialogo;
    dlg_olvidar_botones(vista_raton);
  }
}

void dlg_desapilar_dialogo()
{
  if (cima_pila >= 0) {
    --cima_pila;
    dlg_olvidar_botones(vista_raton);
  }
}

void dlg_ocultar_boton(int8_t dialogo, int8_t indice)
{
  if (t_boton *b = buscar(dialogo, indice)) {
    b->estado = BOTON_OCULTO;
  }
}

void dlg_mostrar_boton(int8_t dialogo, int8_t indice)
{
  t_boton *b = buscar(dialogo, indice);
  if (b != nullptr && b->estado == BOTON_OCULTO) {
    b->estado = BOTON_NORMAL;
  }
}

void dlg_cambiar_texto_boton(int8_t dialogo, int8_t indice, const char *texto)
{
  if (t_boton *b = buscar(dialogo, indice)) {
    b->texto = texto;
  }
}

void dlg_dibujar_botones(BITMAP *destino)
{
  if (cima_pila < 0 || destino == nullptr) {
    return;
  }
  for (const t_boton &b : boton) {
    BITMAP *imagen = b.imagen[BOTON_NORMAL];
    if (vivo(b) && imagen != nullptr) {
      draw_sprite(destino, imagen, b.x[BOTON_NORMAL], b.y[BOTON_NORMAL]);
      dibujar_texto(destino, b, b.x[BOTON_NORMAL], b.y[BOTON_NORMAL], imagen->w, imagen->h);
    }
  }
}

int32_t dlg_comprobar(BITMAP *destino)
{
  poll_mouse();
  if (cima_pila < 0) {
    return DLG_NADA;
  }

  const bool izquierdo = (dlg_botones(vista_raton) & 1) != 0;
  bool activado = false;
  if (pinchado == 0) {
    // The mouse was free: whatever was lit goes dark, and the first live
    // button under the pointer lights up, or is pressed.
    if (boton_t >= 0) {
      if (boton[boton_t].estado > BOTON_NORMAL) {
        boton[boton_t].estado = BOTON_NORMAL;
      }
      boton_t = -1;
    }
    int8_t aspecto = BOTON_ENCIMA;
    if (izquierdo) {
      aspecto = BOTON_PULSADO;
      pinchado = 2;
    }
    for (int i = 0; i < MAX_BOTONES; ++i) {
      if (vivo(boton[i]) && tocado(boton[i])) {
        boton_t = i;
        boton[i].estado = aspecto;
        break;
      }
    }
  } else {
    // Held since the last check: only the button pressed then can react,
    // even if the game has pushed another dialog meanwhile. It looks
    // pressed only while the pointer is over it, and a release over it is
    // the click.
    int8_t aspecto = BOTON_PULSADO;
    if (!izquierdo) {
      pinchado = 0;
      aspecto = BOTON_NORMAL;
    }
    // A button hidden while it was held stays hidden and clicks nothing.
    if (boton_t >= 0 && boton[boton_t].estado != BOTON_OCULTO) {
      t_boton &b = boton[boton_t];
      if (tocado(b)) {
        b.estado = aspecto;
        activado = aspecto == BOTON_NORMAL;
      } else {
        b.estado = BOTON_NORMAL;
      }
    }
  }

  if (destino != nullptr) {
    for (const t_boton &b : boton) {
      if (!vivo(b)) {
        continue;
      }
      BITMAP *imagen = b.imagen[b.estado];
      const BITMAP *medida = imagen != nullptr ? imagen : b.imagen[IMAGEN_MASCARA];
      if (imagen != nullptr) {
        draw_sprite(destino, imagen, b.x[b.estado], b.y[b.estado]);
      }
      dibujar_texto(destino, b, b.x[b.estado], b.y[b.estado], medida->w, medida->h);
    }
  }

  // The action runs after this frame is drawn: it may open a whole screen.
  if (activado && boton[boton_t].accion != nullptr) {
    return boton[boton_t].accion(boton[boton_t].indice);
  }
  return DLG_NADA;
}

#ifdef FOTONAUTA_PRUEBAS
void dlg_reiniciar_raton()
{
  pinchado = 1;
  boton_t = -1;
  dlg_olvidar_botones(vista_raton);
}
#endif
