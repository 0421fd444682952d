// What is drawn a faster way must give exactly the pixels the plain way
// gives, at both colour depths: the beam's additive fill, and the menu's
// logo drawn from its opaque runs.
#include <allegro.h>
#include <allegro/internal/aintern.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "arnes/arnes.h"
#include "arnes/tablero.h"
#include "dlg/dlg.h"
#include "juego/juego.h"

namespace {

class MismosPixeles : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override { arnes_iniciar(GetParam()); }
  void TearDown() override
  {
    relleno_aditivo_rapido = 1;
    logo_por_tramos = 1;
    arnes_terminar();
  }
};

// Colours the beam draws in: its drifting colours and their lighter layers,
// and the fixed ones of overload, mine and connection.
const int COMPONENTES[][3] = {
    {231, 15, 15}, {255, 39, 39}, {255, 87, 87}, {15, 231, 231}, {135, 231, 15}, {200, 200, 0},
    {100, 100, 0}, {255, 255, 0}, {255, 0, 0},   {255, 80, 128}, {0, 200, 0},    {165, 255, 165},
};
const int ALFAS[] = {50, 75, 100, 125, 150};

TEST_P(MismosPixeles, LasTablasSumanComoLaMezclaDeAllegro)
{
  const int prof = GetParam();
  std::mt19937 azar(7);
  for (int a : ALFAS) {
    set_add_blender(0, 0, 0, a);
    BLENDER_FUNC mezcla = prof == 16 ? _blender_func16 : _blender_func32;
    for (const auto &c : COMPONENTES) {
      const int color = makecol(c[0], c[1], c[2]);
      int fallos = 0;
      auto comparar = [&](uint32_t debajo) {
        uint32_t esperado = static_cast<uint32_t>(mezcla(static_cast<unsigned long>(color), debajo,
                                                           static_cast<unsigned long>(a)));
        if (prof == 16) {
          esperado &= 0xFFFF;
        }
        if (sumar_con_tablas(color, debajo, prof) != esperado && fallos++ < 3) {
          ADD_FAILURE() << "colour " << c[0] << "," << c[1] << "," << c[2] << " alpha " << a << " over 0x"
                        << std::hex << debajo;
        }
      };
      if (prof == 16) {
        for (uint32_t d = 0; d < 0x10000; ++d) {
          comparar(d);
        }
      } else {
        // Every value of each component under random others, then any pixel.
        for (int k = 0; k < 3; ++k) {
          for (uint32_t v = 0; v < 256; ++v) {
            const uint32_t otros = azar() & 0xFFFFFF & ~(0xFFu << (8 * k));
            comparar(otros | (v << (8 * k)));
          }
        }
        for (int i = 0; i < 20000; ++i) {
          comparar(azar() & 0xFFFFFF);
        }
      }
    }
  }
}

// Every stored level with seeded mirror angles, and a mirror in mid-board
// at each of its sixteen angles (beams leaving through every edge, clipped
// at the frame and above the status strip), in every beam state and at
// every brightness: the beam drawn by Allegro and by the tables, over the
// same board and from the same colour, must match byte for byte.
TEST_P(MismosPixeles, ElRayoSalePixelAPixelIgualQueConAllegro)
{
  const int bytes_fila = ANCHO_PANTALLA * (GetParam() / 8);
  BITMAP *tablero = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  BITMAP *lento = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
  GFX_VTABLE *vtabla = buffer->vtable;
  std::mt19937 azar(11);
  const uint8_t estados[] = {rayo_detenido, rayo_sobrecarga, rayo_mina, rayo_conectado};
  const int8_t energias[] = {3, 8, 12, 17, 64};
  constexpr int ANGULOS = 16;
  int dibujados = 0, bajo_el_tablero = 0;

  for (int n = 0; n < NUM_NIVELES + ANGULOS; ++n) {
    srand(static_cast<unsigned>(n));
    if (n < NUM_NIVELES) {
      cargar_nivel(n);
      for (celda &e : nucleo.est_nivel) {
        if (e.tipo == espejo) {
          e.valor = static_cast<uint8_t>(azar() % 16);
        }
      }
    } else {
      cargar_prueba({"", "", "", "", "E3 .. .. .. .. .. .. m0"}, {n - NUM_NIVELES});
    }
    calcular_rayo();
    clear_bitmap(buffer);
    dibujar_mapa(0, buffer);
    blit(buffer, tablero, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_PANTALLA);

    // A colour on its way to magenta; never there yet, or the drift would
    // draw a new target from rand() and the two drawings would differ.
    const uint8_t color[3] = {static_cast<uint8_t>(15 + 24 * (azar() % 9)), 15, 231};
    const uint8_t destino[3] = {231, 15, 231};
    nucleo.dt_rayo.estado = estados[n % 4];
    nucleo.dt_partida.energia = energias[n % 5];

    relleno_aditivo_rapido = 0;
    poner_color_rayo(color, destino);
    dibujar_rayo();
    blit(buffer, lento, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_PANTALLA);

    blit(tablero, buffer, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_PANTALLA);
    relleno_aditivo_rapido = 1;
    poner_color_rayo(color, destino);
    dibujar_rayo();
    EXPECT_EQ(buffer->vtable, vtabla) << "Allegro's filler was not put back";

    bool cambia = false;
    for (int y = 0; y < ALTO_PANTALLA; ++y) {
      cambia = cambia || memcmp(buffer->line[y], tablero->line[y], bytes_fila) != 0;
      if (memcmp(buffer->line[y], lento->line[y], bytes_fila) != 0) {
        int x = 0;
        while (getpixel(buffer, x, y) == getpixel(lento, x, y)) {
          ++x;
        }
        ADD_FAILURE() << "board " << n << " differs at " << x << "," << y << ": Allegro " << std::hex
                      << getpixel(lento, x, y) << ", tables " << getpixel(buffer, x, y);
        break;
      }
    }
    dibujados += cambia;
    bajo_el_tablero += nucleo.dt_rayo.punto[nucleo.dt_rayo.n_puntos - 1].y > FILAS * 4;
  }
  // The comparison means something only where a beam was drawn, and the
  // clip only where one ran past the board's bottom edge.
  EXPECT_GT(dibujados, (NUM_NIVELES + ANGULOS) * 9 / 10);
  EXPECT_GT(bajo_el_tablero, 0);
  destroy_bitmap(tablero);
  destroy_bitmap(lento);
}

// Anything but translucent drawing on the buffer is Allegro's as before:
// a solid shape drawn while the tables are in place.
TEST_P(MismosPixeles, FueraDelModoTranslucidoDibujaAllegro)
{
  const int rojo_puro = makecol(255, 0, 0);
  clear_bitmap(buffer);
  empezar_relleno_aditivo(buffer);
  drawing_mode(DRAW_MODE_SOLID, nullptr, 0, 0);
  rectfill(buffer, 10, 10, 20, 20, rojo_puro);
  terminar_relleno_aditivo();
  EXPECT_EQ(getpixel(buffer, 15, 15), rojo_puro);
  EXPECT_EQ(getpixel(buffer, 21, 15), 0);
}

// The main menu's frames, seeded alike, with the logo drawn from its runs
// and as a masked bitmap: the same bytes. The pointer sweeps the field so
// the particles under the logo differ from frame to frame.
TEST_P(MismosPixeles, ElLogoDelMenuSaleIgualPorTramos)
{
  ini_juego();
  ini_dialogos();
  colocar_texto_botones();
  const int bytes_fila = ANCHO_PANTALLA * (GetParam() / 8);
  std::vector<std::vector<uint8_t>> fotogramas[2];
  for (int tramos = 0; tramos < 2; ++tramos) {
    logo_por_tramos = static_cast<uint8_t>(tramos);
    dlg_reiniciar_raton();
    arnes_raton(100, 200, 0);
    srand(3);
    arnes_guion(
        [&](int n) {
          if (n < 20) {
            std::vector<uint8_t> copia(static_cast<size_t>(bytes_fila) * ALTO_PANTALLA);
            for (int y = 0; y < ALTO_PANTALLA; ++y) {
              memcpy(&copia[static_cast<size_t>(y) * bytes_fila], buffer->line[y], bytes_fila);
            }
            fotogramas[tramos].push_back(std::move(copia));
            arnes_raton(100 + 40 * n, 200 + 5 * n, n % 2);
            return;
          }
          // Exit, then Yes.
          const int8_t dialogo = n < 23 ? DLG_MENU : DLG_SI_NO;
          const int8_t indice = n < 23 ? 4 : 0;
          for (int i = 0; i < botones_usados; ++i) {
            const t_boton &b = boton[i];
            if (b.dialogo == dialogo && b.indice == indice) {
              arnes_raton(b.x[IMAGEN_MASCARA] + b.imagen[IMAGEN_MASCARA]->w / 2,
                          b.y[IMAGEN_MASCARA] + b.imagen[IMAGEN_MASCARA]->h / 2, (n - 20) % 3 == 1 ? 1 : 0);
            }
          }
        },
        100);
    menu_principal();
  }
  ASSERT_EQ(fotogramas[0].size(), 20u);
  ASSERT_EQ(fotogramas[1].size(), 20u);
  for (size_t i = 0; i < fotogramas[0].size(); ++i) {
    size_t k = 0;
    while (k < fotogramas[0][i].size() && fotogramas[0][i][k] == fotogramas[1][i][k]) {
      ++k;
    }
    EXPECT_EQ(k, fotogramas[0][i].size()) << "frame " << i << " differs at x " << (k % bytes_fila) / (GetParam() / 8)
                                          << ", y " << k / bytes_fila;
  }
  // The logo is there to compare: the frame is not the bare backdrop.
  EXPECT_NE(getpixel(buffer, ANCHO_PANTALLA / 2, 128 + logo->h / 2), 0);
}

INSTANTIATE_TEST_SUITE_P(Profundidades, MismosPixeles, ::testing::Values(16, 32));

}  // namespace
