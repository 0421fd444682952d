// Drawing the board and the beam, judged by what the player sees, at both
// colour depths.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "arnes/arnes.h"
#include "arnes/tablero.h"
#include "juego/juego.h"

namespace {

class Dibujo : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override
  {
    arnes_iniciar(GetParam());
    srand(5);
    nucleo.dt_partida = {};
    nucleo.dt_partida.energia = 64;
  }
  void TearDown() override
  {
    destroy_bitmap(copia);
    arnes_terminar();
  }

  // Draws the board and keeps a copy of it without the beam.
  void dibujar_tablero()
  {
    clear_bitmap(buffer);
    dibujar_mapa(0, buffer);
    if (copia == nullptr) {
      copia = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
    }
    blit(buffer, copia, 0, 0, 0, 0, ANCHO_PANTALLA, ALTO_PANTALLA);
  }

  static int brillo(color_rgb c) { return c.r + c.g + c.b; }

  // How much the beam added at a pixel, component by component.
  color_rgb aporte(int x, int y) const
  {
    const color_rgb con = arnes_pixel(buffer, x, y);
    const color_rgb sin = arnes_pixel(copia, x, y);
    return {con.r - sin.r, con.g - sin.g, con.b - sin.b};
  }

  bool sin_cambios(int x, int y) const { return getpixel(buffer, x, y) == getpixel(copia, x, y); }

  // True when the cell's 64 x 64 pixels on `buffer` are exactly tile `t`.
  static bool celda_muestra(int c, int t)
  {
    const int x0 = ORIGEN_TABLERO + LADO_CELDA * (c % COLUMNAS);
    const int y0 = ORIGEN_TABLERO + LADO_CELDA * (c / COLUMNAS);
    for (int y = 0; y < LADO_CELDA; ++y) {
      for (int x = 0; x < LADO_CELDA; ++x) {
        if (getpixel(buffer, x0 + x, y0 + y) != getpixel(loseta[t], x, y)) {
          return false;
        }
      }
    }
    return true;
  }

  BITMAP *copia = nullptr;
};

TEST_P(Dibujo, ElRayoIluminaSuTrazoEnElColorDeSuEstado)
{
  // estado: the board is drawn, then the beam; its pixels get brighter in
  // the colour the state calls for.
  const struct {
    const char *fila;
    uint8_t estado;
    bool (*familia)(color_rgb);
  } casos[] = {
      {"E3 .. .. .. .. .. .. .. .. .. R1", rayo_conectado,
       [](color_rgb a) { return a.g > 0 && a.g >= a.r && a.g >= a.b; }},
      {"E3 .. .. .. .. .. .. .. .. .. rf", rayo_sobrecarga,
       [](color_rgb a) { return a.r > 0 && a.g > 0 && a.b < a.r / 2 && a.b < a.g / 2; }},
      {"E3 .. .. .. .. .. .. .. .. .. xx", rayo_mina,
       [](color_rgb a) { return a.r > 0 && a.r >= a.g && a.r >= a.b; }},
  };
  for (const auto &c : casos) {
    cargar_prueba({"", "", "", "", c.fila});
    calcular_rayo();
    ASSERT_EQ(nucleo.dt_rayo.estado, c.estado) << c.fila;
    dibujar_tablero();
    dibujar_rayo();
    // Along the centre line of the segment, in the middle of cells 2-8.
    for (int col = 2; col <= 8; ++col) {
      const int x = ORIGEN_TABLERO + LADO_CELDA * col + 20;
      const int y = ORIGEN_TABLERO + LADO_CELDA * 4 + LADO_CELDA / 2;
      const color_rgb a = aporte(x, y);
      EXPECT_GT(brillo(arnes_pixel(buffer, x, y)), brillo(arnes_pixel(copia, x, y))) << c.fila;
      EXPECT_TRUE(c.familia(a)) << c.fila << " adds " << a.r << "," << a.g << "," << a.b;
      // Well off the beam nothing changes.
      EXPECT_TRUE(sin_cambios(x, y - 20));
    }
  }
}

TEST_P(Dibujo, NadaDelRayoBajaDeLaFila639)
{
  // The first level's example: the beam turns down and leaves the board.
  cargar_nivel(0);
  nucleo.est_nivel[105].valor = 4;
  calcular_rayo();
  dibujar_tablero();
  dibujar_rayo();
  const int x = 16 * 2 + ORIGEN_TABLERO;
  EXPECT_FALSE(sin_cambios(x, 620));  // over the frame, it still shows
  EXPECT_FALSE(sin_cambios(x, 639));
  for (int y = 640; y < ALTO_PANTALLA; ++y) {
    for (int dx = -8; dx <= 8; ++dx) {
      ASSERT_TRUE(sin_cambios(x + dx, y)) << "row " << y;
    }
  }
  // The clip is whole again afterwards.
  EXPECT_EQ(buffer->cb, ALTO_PANTALLA);
}

TEST_P(Dibujo, UnSaltoNoSeDibujaPeroSusDosPuntosTienenCirculo)
{
  cargar_prueba({"", "", "", "", ".. E3 .. f1 .. .. .. .. .. .. .. .. .. .. f1"});
  calcular_rayo();
  ASSERT_EQ(nucleo.dt_rayo.punto[1].dir, DIR_SALTO);
  dibujar_tablero();
  dibujar_rayo();
  const int y = 16 * 18 + ORIGEN_TABLERO;
  // Both ends of the jump, (14, 18) and (58, 18), are lit; the stretch
  // between them (x 16-56 in quarter cells) is not.
  EXPECT_FALSE(sin_cambios(16 * 14 + ORIGEN_TABLERO, y));
  EXPECT_FALSE(sin_cambios(16 * 58 + ORIGEN_TABLERO, y));
  for (int q = 16; q <= 56; ++q) {
    EXPECT_TRUE(sin_cambios(16 * q + ORIGEN_TABLERO, y)) << q;
  }
  // The emitter's own point gets no circle: left of the beam's start
  // nothing changes.
  EXPECT_TRUE(sin_cambios(16 * 8 + ORIGEN_TABLERO - 4, y));
}

TEST_P(Dibujo, UnDetonadorEstallaQuinceFotogramasYQuedaQuemado)
{
  cargar_prueba({"", "", "", "", "E3 .. .. tt .. .. R1 .. .. .. .. .. .. .. .."});
  const uint8_t t = celda_en(3, 4);
  calcular_rayo();
  const int primera = nucleo.est_nivel[t].valor == 3 ? 136 : 144;
  ASSERT_TRUE(nucleo.est_nivel[t].valor == 3 || nucleo.est_nivel[t].valor == 19);
  const uint8_t pendientes = nucleo.dt_rayo.pendientes;

  for (int f = 0; f <= 15; ++f) {
    dibujar_mapa(0, buffer);
    if (f == 14) {
      EXPECT_EQ(nucleo.dt_rayo.pendientes, pendientes - 1);
    }
    if (f == 0) {
      EXPECT_TRUE(celda_muestra(t, primera));
    } else if (f < 15) {
      EXPECT_TRUE(celda_muestra(t, primera + (f + 1) / 2)) << "frame " << f;
    } else {
      EXPECT_TRUE(celda_muestra(t, 134)) << "frame " << f;
    }
  }
}

TEST_P(Dibujo, LaPuertaSeAbreUnaVezYQuedaComoSueloCompuesto)
{
  // One target; the receiver's gate holds a reflecting wall's right half.
  cargar_prueba({"", "", "", "", "E3 .. .. tt .. r6 R1"});
  const uint8_t puerta = celda_en(5, 4);
  ASSERT_EQ(nucleo.dt_rayo.celda_puerta, puerta);
  calcular_rayo();
  ASSERT_EQ(nucleo.dt_partida.puntos_nivel, 120);

  int llamada_apertura = -1;
  for (int f = 0; f < 40; ++f) {
    dibujar_mapa(0, buffer);
    if (llamada_apertura < 0 && nucleo.dt_partida.puntos_nivel == 370) {
      llamada_apertura = f;
      EXPECT_EQ(nucleo.est_nivel[puerta].tipo, detonador);
    }
    // The dissolving overlay covers the gate for 15 frames.
    const int g = f - llamada_apertura;
    if (llamada_apertura >= 0 && g < 14) {
      EXPECT_EQ(nucleo.est_nivel[puerta].valor, 36 + g);
    }
  }
  // The call after the explosion ended (its 15th frame) opened it, once.
  EXPECT_EQ(llamada_apertura, 15);
  EXPECT_EQ(nucleo.dt_partida.puntos_nivel, 370);
  EXPECT_EQ(nucleo.dt_rayo.pendientes, 0);
  EXPECT_EQ(nucleo.est_nivel[puerta].valor, DETONADOR_DESTRUIDO);

  // The gate's tile: the wall-free left half of the old tile, the right
  // half of plain floor.
  EXPECT_EQ(nucleo.est_nivel[puerta].grf, 133);
  for (int y = 0; y < 64; y += 7) {
    for (int x = 0; x < 64; x += 3) {
      const int fuente = x < 32 ? 53 : 80;
      EXPECT_EQ(getpixel(loseta[133], x, y), getpixel(loseta[fuente], x, y)) << x << "," << y;
    }
  }
  // And the beam now enters the receiver.
  calcular_rayo();
  EXPECT_EQ(nucleo.dt_rayo.estado, rayo_conectado);

  // A gate on a mine or a fibre-optic end becomes plain floor.
  cargar_prueba({"", "", "", "", "E3 .. .. tt .. xx R1"});
  calcular_rayo();
  for (int f = 0; f < 40; ++f) {
    dibujar_mapa(0, buffer);
  }
  EXPECT_EQ(nucleo.est_nivel[puerta].grf, 80);
}

TEST_P(Dibujo, ElColorDerivaDeUnColorPuroAOtroEnNuevePasos)
{
  uint8_t actual[3], objetivo[3], anterior[3];
  nucleo.dt_rayo.n_puntos = 1;
  dibujar_rayo();
  // Run until a pure colour is reached, then watch a series of changes.
  for (int i = 0; i < 9; ++i) {
    color_rayo(actual, objetivo);
    if (memcmp(actual, objetivo, 3) == 0) {
      break;
    }
    dibujar_rayo();
  }
  color_rayo(anterior, objetivo);
  ASSERT_EQ(memcmp(anterior, objetivo, 3), 0);
  for (int cambio = 0; cambio < 40; ++cambio) {
    for (int paso = 1; paso <= 9; ++paso) {
      dibujar_rayo();
      color_rayo(actual, objetivo);
      EXPECT_EQ(memcmp(actual, objetivo, 3) == 0, paso == 9);
    }
    int distintos = 0, altos = 0;
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(actual[i] == 15 || actual[i] == 231);
      distintos += actual[i] != anterior[i];
      altos += actual[i] == 231;
    }
    EXPECT_TRUE(distintos == 1 || distintos == 2);
    EXPECT_TRUE(altos == 1 || altos == 2);  // never black or white
    memcpy(anterior, actual, 3);
  }
}

TEST_P(Dibujo, ElBrilloSigueLaEnergiaSalvoAlConectar)
{
  // Overload keeps one colour, so only the energy changes the brightness.
  // Measured 4 pixels off the centre line, where only the outer layer
  // reaches and nothing saturates.
  cargar_prueba({"", "", "", "", "E3 .. .. .. .. .. .. .. .. .. rf"});
  calcular_rayo();
  ASSERT_EQ(nucleo.dt_rayo.estado, rayo_sobrecarga);
  const int x = ORIGEN_TABLERO + LADO_CELDA * 5, y = ORIGEN_TABLERO + LADO_CELDA * 4 + LADO_CELDA / 2 + 4;
  int anterior = 0;
  for (int energia : {4, 9, 14, 19, 64}) {
    nucleo.dt_partida.energia = static_cast<int8_t>(energia);
    dibujar_tablero();
    dibujar_rayo();
    const int b = brillo(aporte(x, y));
    EXPECT_GT(b, anterior) << "energy " << energia;
    anterior = b;
  }

  // Connected, it is as bright on the last unit of energy as on a full bar.
  cargar_prueba({"", "", "", "", "E3 .. .. .. .. .. .. .. .. .. R1"});
  calcular_rayo();
  ASSERT_EQ(nucleo.dt_rayo.estado, rayo_conectado);
  int brillos[2];
  for (int i = 0; i < 2; ++i) {
    nucleo.dt_partida.energia = static_cast<int8_t>(i == 0 ? 4 : 64);
    dibujar_tablero();
    dibujar_rayo();
    brillos[i] = brillo(aporte(x, y));
  }
  EXPECT_EQ(brillos[0], brillos[1]);
}

INSTANTIATE_TEST_SUITE_P(Profundidades, Dibujo, ::testing::Values(16, 32),
                         [](const auto &p) { return std::to_string(p.param) + "bpp"; });

}  // namespace
