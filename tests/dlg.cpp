// The dialog toolkit driven by a scripted mouse: presses, drags and
// releases, the shapes of buttons, the stack and the table's limits.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "arnes/arnes.h"
#include "dlg/dlg.h"

namespace {

int clics;
int8_t ultimo;

int8_t anotar(int8_t indice)
{
  ++clics;
  ultimo = indice;
  return 7;
}

constexpr int8_t N = BOTON_NORMAL, E = BOTON_ENCIMA, P = BOTON_PULSADO;

// One check with the mouse at (x, y), and what button `b` must look like
// afterwards and the check return.
struct paso {
  int x, y, botones;
  int8_t estado;
  int32_t resultado;
};

class Dlg : public ::testing::Test {
 protected:
  void SetUp() override
  {
    arnes_iniciar(16);
    dlg_inicializar();
    dlg_reiniciar_raton();
    clics = 0;
    fondo = makecol(10, 20, 30);
    clear_to_color(buffer, fondo);
  }
  void TearDown() override
  {
    for (BITMAP *b : propios) {
      destroy_bitmap(b);
    }
    arnes_terminar();
  }

  BITMAP *liso(int w, int h, int color)
  {
    propios.push_back(create_bitmap(w, h));
    clear_to_color(propios.back(), color);
    return propios.back();
  }

  static int32_t raton(int x, int y, int botones, BITMAP *destino = nullptr)
  {
    arnes_raton(x, y, botones);
    return dlg_comprobar(destino);
  }

  static void recorrer(int b, const std::vector<paso> &pasos)
  {
    for (size_t i = 0; i < pasos.size(); ++i) {
      const paso &p = pasos[i];
      EXPECT_EQ(raton(p.x, p.y, p.botones), p.resultado) << "step " << i;
      EXPECT_EQ(boton[b].estado, p.estado) << "step " << i;
    }
  }

  std::vector<BITMAP *> propios;
  int fondo = 0;
};

TEST_F(Dlg, SoloSoltarSobreElBotonPulsadoEsUnClic)
{
  dlg_incorporar_boton(0, liso(40, 40, makecol(255, 255, 255)), nullptr, nullptr, nullptr, 100, 100, nullptr, 0,
                       anotar);
  dlg_apilar_dialogo(0);
  recorrer(0, {
                  // Held down as the program starts: no click.
                  {120, 120, 1, N, -1}, {120, 120, 0, N, -1}, {120, 120, 0, E, -1},
                  // Press, drag off, back on, release: a click.
                  {120, 120, 1, P, -1}, {300, 300, 1, N, -1}, {139, 139, 1, P, -1}, {139, 139, 0, N, 7},
                  {139, 139, 0, E, -1},
                  // Press, drag off, release: nothing.
                  {120, 120, 1, P, -1}, {90, 120, 1, N, -1}, {90, 120, 0, N, -1},
                  // Press outside, drag on, release: nothing, hover only after.
                  {50, 50, 1, N, -1}, {120, 120, 1, N, -1}, {120, 120, 0, N, -1}, {120, 120, 0, E, -1},
              });
  EXPECT_EQ(clics, 1);
}

TEST_F(Dlg, LaFormaElOrdenYLosOcultos)
{
  // Button 0: the mask's left half is magenta, outside the button. Buttons
  // 1 and 2 overlap: the first created takes the mouse, the last created
  // is drawn on top.
  BITMAP *m = liso(40, 40, makecol(255, 255, 255));
  rectfill(m, 0, 0, 19, 39, makecol(255, 0, 255));
  const int rojo = makecol(255, 0, 0), verde = makecol(0, 255, 0), azul = makecol(0, 0, 255);
  BITMAP *r = liso(40, 40, rojo), *v = liso(40, 40, verde), *a = liso(40, 40, azul);
  dlg_incorporar_boton(0, m, nullptr, nullptr, nullptr, 100, 100, nullptr, 0, anotar);
  dlg_incorporar_boton(0, r, r, v, v, 300, 100, nullptr, 0, anotar);
  dlg_incorporar_boton(0, a, a, a, a, 320, 100, nullptr, 0, anotar);
  dlg_apilar_dialogo(0);
  recorrer(0, {{110, 120, 0, N, -1}, {110, 120, 0, N, -1}, {110, 120, 1, N, -1}, {110, 120, 0, N, -1},
               {125, 120, 0, E, -1}});
  EXPECT_EQ(raton(330, 120, 0, buffer), DLG_NADA);
  EXPECT_EQ(boton[1].estado, E);
  EXPECT_EQ(getpixel(buffer, 330, 120), azul);
  EXPECT_EQ(getpixel(buffer, 310, 120), verde);
  EXPECT_EQ(getpixel(buffer, 110, 120), fondo);

  // Hidden: not drawn, and the mouse goes through it to the one behind.
  dlg_ocultar_boton(0, 1);
  clear_to_color(buffer, fondo);
  raton(330, 120, 0, buffer);
  EXPECT_EQ(boton[1].estado, BOTON_OCULTO);
  EXPECT_EQ(boton[2].estado, E);
  EXPECT_EQ(getpixel(buffer, 310, 120), fondo);
  // Showing a visible button keeps its look; a hidden one comes back normal.
  dlg_mostrar_boton(0, 2);
  EXPECT_EQ(boton[2].estado, E);
  dlg_mostrar_boton(0, 1);
  EXPECT_EQ(boton[1].estado, N);
  // Hidden while held: it stays hidden and clicks nothing.
  raton(330, 120, 1);
  dlg_ocultar_boton(0, 1);
  EXPECT_EQ(raton(330, 120, 0), DLG_NADA);
  EXPECT_EQ(boton[1].estado, BOTON_OCULTO);
  EXPECT_EQ(clics, 0);
}

TEST_F(Dlg, LaPilaYLaTabla)
{
  BITMAP *m = liso(40, 40, makecol(255, 255, 255));
  EXPECT_EQ(dlg_incorporar_boton(0, nullptr, m, m, m, 0, 0, "x", 0, anotar), -1);
  // Dialogs 0 to 5 alternate with dialog 6: each counts its own from 0.
  for (int i = 0; i < MAX_BOTONES; ++i) {
    const int8_t d = static_cast<int8_t>(i % 2 ? 6 : i / 2 % 6);
    const int esperado = i % 2 ? i / 2 : i / 12;
    ASSERT_EQ(dlg_incorporar_boton(d, m, nullptr, nullptr, nullptr, 100, 100, nullptr, 0, anotar), esperado);
  }
  EXPECT_EQ(dlg_incorporar_boton(1, m, nullptr, nullptr, nullptr, 0, 0, nullptr, 0, nullptr), -1);
  EXPECT_EQ(botones_usados, MAX_BOTONES);

  // An empty stack checks and draws nothing, and a pop leaves it empty.
  dlg_desapilar_dialogo();
  EXPECT_EQ(raton(120, 120, 0, buffer), DLG_NADA);
  EXPECT_EQ(getpixel(buffer, 120, 120), fondo);
  // The sixth push is ignored: dialog 4 stays live, dialog 5 dead.
  for (int8_t d = 0; d < 6; ++d) {
    dlg_apilar_dialogo(d);
  }
  raton(0, 0, 0);
  recorrer(8, {{120, 120, 0, E, -1}, {120, 120, 1, P, -1}, {120, 120, 0, N, 7}});
  EXPECT_EQ(boton[10].estado, N);
  dlg_desapilar_dialogo();
  recorrer(6, {{120, 120, 0, E, -1}});
}

TEST_F(Dlg, UnBotonSostenidoSobreviveAOtroDialogo)
{
  BITMAP *r = liso(40, 40, makecol(255, 0, 0));
  dlg_incorporar_boton(1, r, r, r, r, 100, 100, "x", 0, anotar);
  dlg_incorporar_boton(3, r, nullptr, nullptr, nullptr, 500, 500, nullptr, 0, nullptr);
  dlg_incorporar_fuente(0, fuente_texto(), 0);
  dlg_apilar_dialogo(1);
  raton(0, 0, 0);
  raton(120, 120, 1);
  // The game opens a screen of its own (game over) while the button is
  // held: the button is no longer drawn, but its release still counts.
  dlg_apilar_dialogo(3);
  EXPECT_EQ(raton(121, 121, 0, buffer), 7);
  EXPECT_EQ(getpixel(buffer, 120, 120), fondo);
  raton(121, 121, 0);
  EXPECT_EQ(boton[0].estado, N);
  // Without a destination a click still runs, and nothing is drawn.
  dlg_desapilar_dialogo();
  raton(120, 120, 1);
  EXPECT_EQ(raton(120, 120, 0), 7);
  EXPECT_EQ(getpixel(buffer, 120, 120), fondo);
  EXPECT_EQ(clics, 2);
}

// A touchpad's tap: press and release both come between two frames, so
// mouse_b never shows them; the press counted as it came still makes one
// click, with the pressed look for a frame.
TEST_F(Dlg, UnToqueEntreDosFotogramasEsUnClic)
{
  dlg_incorporar_boton(0, liso(40, 40, makecol(255, 255, 255)), nullptr, nullptr, nullptr, 100, 100, nullptr, 0,
                       anotar);
  dlg_apilar_dialogo(0);
  recorrer(0, {{0, 0, 0, N, -1}, {120, 120, 0, E, -1}});
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  recorrer(0, {{120, 120, 0, P, -1}, {120, 120, 0, N, 7}, {120, 120, 0, E, -1}});
  EXPECT_EQ(clics, 1);

  // A tap of the right button clicks nothing; a tap made while the toolkit
  // was reset (a new screen) is forgotten.
  dlg_simular_raton(2);
  dlg_simular_raton(0);
  recorrer(0, {{120, 120, 0, E, -1}, {120, 120, 0, E, -1}});
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  dlg_reiniciar_raton();
  recorrer(0, {{120, 120, 0, E, -1}, {120, 120, 0, E, -1}});
  EXPECT_EQ(clics, 1);
  // A tap made while the main thread is held up, frames shown before and
  // after: taken once, however long the hold.
  dlg_fotograma_mostrado();
  recorrer(0, {{120, 120, 0, E, -1}});
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  recorrer(0, {{120, 120, 0, P, -1}, {120, 120, 0, N, 7}, {120, 120, 0, E, -1}});
  dlg_fotograma_mostrado();
  recorrer(0, {{120, 120, 0, E, -1}});
  EXPECT_EQ(clics, 2);
  // A tap made while frames were shown without this reader (another
  // screen held the display) is not taken when it looks again...
  recorrer(0, {{120, 120, 0, E, -1}});
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  for (uint32_t f = 0; f <= FOTOGRAMAS_SIN_MIRAR; ++f) {
    dlg_fotograma_mostrado();
  }
  recorrer(0, {{120, 120, 0, E, -1}, {120, 120, 0, E, -1}});
  // ...nor one made before a dialog was pushed, which opens a new screen;
  // one made in that screen's first frame is.
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  dlg_apilar_dialogo(0);
  recorrer(0, {{120, 120, 0, E, -1}});
  dlg_fotograma_mostrado();
  dlg_simular_raton(1);
  dlg_simular_raton(0);
  recorrer(0, {{120, 120, 0, P, -1}, {120, 120, 0, N, 7}, {120, 120, 0, E, -1}});
  EXPECT_EQ(clics, 3);
  // A press held over several frames is one click, its count included.
  dlg_simular_raton(1);
  recorrer(0, {{120, 120, 1, P, -1}, {120, 120, 1, P, -1}});
  // Released and pressed again between two frames: the frame sees the
  // release (a click) before the new press, which makes the next.
  dlg_simular_raton(0);
  dlg_simular_raton(1);
  recorrer(0, {{120, 120, 1, N, 7}, {120, 120, 1, P, -1}, {120, 120, 0, N, 7}, {120, 120, 0, E, -1}});
  dlg_simular_raton(0);
  EXPECT_EQ(clics, 5);

  // Keys the same way: a key tapped twice between two looks, the second
  // time while the first was still being reported, reads down, up, down.
  t_vista_tecla flecha{};
  dlg_olvidar_tecla(KEY_LEFT, flecha);
  dlg_simular_tecla(KEY_LEFT);
  dlg_simular_tecla(KEY_LEFT | 0x80);
  EXPECT_TRUE(dlg_tecla(KEY_LEFT, flecha));
  dlg_simular_tecla(KEY_LEFT);
  dlg_simular_tecla(KEY_LEFT | 0x80);
  EXPECT_FALSE(dlg_tecla(KEY_LEFT, flecha));
  EXPECT_TRUE(dlg_tecla(KEY_LEFT, flecha));
  EXPECT_FALSE(dlg_tecla(KEY_LEFT, flecha));

  // A modifier tapped at each of two looks (two shortcuts sent at once,
  // one after the other) is down at both, never held back a look.
  t_vista_tecla control{};
  dlg_olvidar_tecla(KEY_LCONTROL, control);
  dlg_simular_tecla(KEY_LCONTROL);
  dlg_simular_tecla(KEY_LCONTROL | 0x80);
  EXPECT_TRUE(dlg_tecla_tocada(KEY_LCONTROL, control));
  dlg_simular_tecla(KEY_LCONTROL);
  dlg_simular_tecla(KEY_LCONTROL | 0x80);
  EXPECT_TRUE(dlg_tecla_tocada(KEY_LCONTROL, control));
  EXPECT_FALSE(dlg_tecla_tocada(KEY_LCONTROL, control));
}

TEST_F(Dlg, LooksYTextosCentrados)
{
  // Looks of other sizes are centred on the mask, halving toward zero, and
  // the hit test lays the mask where the normal look is drawn.
  BITMAP *mascara = liso(8, 8, makecol(255, 255, 255));
  BITMAP *chica = liso(5, 5, makecol(255, 0, 0));
  BITMAP *grande = liso(20, 21, makecol(0, 255, 0));
  dlg_incorporar_boton(0, mascara, grande, chica, nullptr, 300, 300, nullptr, 0, anotar);
  EXPECT_EQ(boton[0].x[N], 294);
  EXPECT_EQ(boton[0].y[N], 294);
  EXPECT_EQ(boton[0].x[E], 301);
  EXPECT_EQ(boton[0].x[P], 300);
  dlg_apilar_dialogo(0);
  recorrer(0, {{295, 294, 0, N, -1}, {295, 294, 0, E, -1}, {305, 305, 0, N, -1}});

  // The caption's top sits the slot's offset away from the look's centre;
  // without a look the mask's size stands in.
  FONT *f = fuente_texto();
  dlg_incorporar_fuente(1, f, -16);
  dlg_incorporar_boton(1, liso(64, 64, makecol(255, 255, 255)), nullptr, grande, nullptr, 100, 100, "07", 1,
                       anotar);
  dlg_apilar_dialogo(1);
  BITMAP *esperado = liso(ANCHO_PANTALLA, ALTO_PANTALLA, fondo);
  textout_centre_ex(esperado, f, "07", 132, 116, -1, -1);
  raton(0, 0, 0, buffer);
  draw_sprite(esperado, grande, 122, 121);
  textout_centre_ex(esperado, f, "07", 132, 115, -1, -1);
  raton(130, 130, 0, buffer);
  for (int y = 90; y < 180; ++y) {
    for (int x = 90; x < 180; ++x) {
      ASSERT_EQ(getpixel(buffer, x, y), getpixel(esperado, x, y)) << x << "," << y;
    }
  }
  // Redrawn in the normal look only: this button has none, so nothing.
  clear_to_color(buffer, fondo);
  dlg_dibujar_botones(buffer);
  EXPECT_EQ(getpixel(buffer, 130, 130), fondo);
}

}  // namespace
