// Whole games played in-process with a scripted mouse and keyboard, on
// boards made for each case, and the rules' ticker a frame a call.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "arnes/arnes.h"
#include "arnes/tablero.h"
#include "dlg/dlg.h"
#include "juego/juego.h"
#include "jugador_plan.h"
#include "repeticion/repeticion.h"
#include "resolver/resolver.h"

namespace {

// Boards for the cases: a level won at once (no targets, so the gate opens
// as it is drawn and the beam walks into the receiver), a beam on a mine, a
// beam thrown straight back, and a beam that only dies in a wall.
const char *const GANAR = "E3 .. .. R1";
const char *const MINA = "E3 .. xx";
const char *const REBOTE = "E3 .. rf";
const char *const NADA = "E3 .. af .. m0 .. .. ..";

class Partida : public ::testing::Test {
 public:
  void SetUp() override
  {
    arnes_iniciar(16);
    ini_juego();
    ini_dialogos();
    colocar_texto_botones();
    dlg_reiniciar_raton();
    arnes_raton(0, 0, 0);
    mover_espejos_pinchados(1);
    tabla.assign(NUM_NIVELES * NUM_CELDAS, 63);
    for (int n = 0; n < NUM_NIVELES; ++n) {
      poner_nivel(n, GANAR);
    }
    prueba_niveles = tabla.data();
    ult_fase_completada = 0;
    idioma = IDIOMA_ESPANOL;
  }
  void TearDown() override
  {
    prueba_niveles = nullptr;
    for (int k = 0; k < KEY_MAX; ++k) {
      key[k] = 0;
    }
    arnes_terminar();
  }

  void poner_nivel(int n, const char *fila)
  {
    const std::vector<uint8_t> b = bytes_tablero({"", "", "", "", fila});
    std::copy(b.begin(), b.end(), tabla.begin() + n * NUM_CELDAS);
  }

  // The dialog on top of the stack.
  static int8_t dialogo_vivo() { return arnes_dialogo_vivo(); }

  static void clic(int8_t dialogo, int8_t indice, int paso) { arnes_clic(dialogo, indice, paso); }

  // Plays one game with a script that sees every frame; the script clicks
  // Exit whenever the game-over or closing panel asks for it.
  void jugar(int8_t entrenamiento, std::function<void(int)> guion = {}, int max_fotogramas = 60000)
  {
    int clic_fin = -1, clic_teclado = 0, clic_niveles = 0;
    arnes_guion(
        [&](int n) {
          // Name entry after a scored game: finish with an empty name,
          // which stores nothing. The pointer rests over the key for a
          // frame before the press.
          // The starting level: the furthest one unlocked.
          if (dialogo_vivo() == DLG_NIVELES) {
            clic(DLG_NIVELES, ult_fase_completada, ++clic_niveles % 3 == 2 ? 0 : 1);
            return;
          }
          if (dialogo_vivo() == DLG_TECLADO) {
            clic(DLG_TECLADO, 1, ++clic_teclado % 3 == 2 ? 0 : 1);
            ++entradas_nombre;
            return;
          }
          if (dialogo_vivo() == DLG_FIN) {
            if (++paneles_fin == 1 && !captura_fin.empty()) {
              arnes_captura(captura_fin);
            }
            clic(DLG_FIN, 0, ++clic_fin % 2);
            return;
          }
          clic_fin = -1;
          // A life lost, not one turned into points by the bonus count.
          if (nucleo.dt_partida.vidas < vidas_antes && nucleo.dt_partida.puntos == puntos_antes) {
            ++vidas_perdidas;
          }
          vidas_antes = nucleo.dt_partida.vidas;
          puntos_antes = nucleo.dt_partida.puntos;
          if (guion) {
            guion(n);
          }
        },
        max_fotogramas);
    vidas_antes = 3;
    puntos_antes = 0;
    nucleo.dt_partida = {};
    EXPECT_EQ(juego(entrenamiento), 0);
  }

  std::vector<uint8_t> tabla;
  int vidas_antes = 3;
  int32_t puntos_antes = 0;
  int vidas_perdidas = 0;
  int paneles_fin = 0;
  int entradas_nombre = 0;
  std::string captura_fin;  // screenshot of the first Exit panel, if named
};

// The rules' ticker plays one frame a call through a whole game on screen,
// as the game's loop does (input, a frame, the frame shown): level 58's
// start, a life lost to overload, the level started again (on a board won
// at once) and won, level 59 started and won, and the closing scene. No
// call shows a frame itself, each sequence lasts its frames, and the game
// ends in the state of the same game played with no screen.
TEST_F(Partida, CadaLlamadaJuegaUnFotogramaHastaLaEscenaFinal)
{
  marcador = create_bitmap(ANCHO_PANTALLA, ALTO_MARCADOR);
  preparar_marcador();
  dlg_apilar_dialogo(DLG_JUEGO);
  poner_nivel(ULTIMO_NIVEL - 1, REBOTE);
  const std::vector<uint8_t> ganar = bytes_tablero({"", "", "", "", GANAR});

  struct tramo {
    uint8_t secuencia;
    int fotogramas;
    bool operator==(const tramo &) const = default;
  };
  const auto partida = [&](bool en_pantalla, std::vector<tramo> &tramos) {
    arnes_guion({});
    inicio_partida inicio{};
    inicio.semilla = 11;
    inicio.nivel = ULTIMO_NIVEL - 1;
    empezar_partida(inicio);
    int llamadas = 0;
    while (nucleo.dt_bucle.motivo_fin == jugando && ++llamadas < 20000) {
      const uint8_t secuencia = nucleo.secuencia.tipo;
      const int mostrados = arnes_fotogramas();
      entrada_juego e;
      jugar_fotograma(e, en_pantalla ? &ganchos_pantalla : nullptr);
      EXPECT_EQ(arnes_fotogramas(), mostrados) << "call " << llamadas;
      if (en_pantalla) {
        mostrar_fotograma_partida(secuencia == secuencia_ninguna, presentar_fotograma);
      }
      if (secuencia != secuencia_ninguna) {
        if (tramos.empty() || tramos.back().secuencia != secuencia || tramos.back().fotogramas < 0) {
          tramos.push_back({secuencia, 0});
        }
        ++tramos.back().fotogramas;
      } else if (!tramos.empty() && tramos.back().fotogramas > 0) {
        tramos.back().fotogramas = -tramos.back().fotogramas;  // closed by a frame of play
      }
      if ((nucleo.dt_sucesos.bits & suceso_vida_perdida) != 0) {
        // What the lost life starts again.
        std::copy(ganar.begin(), ganar.end(), nucleo.nivel_jugado.bytes);
      }
    }
    for (tramo &t : tramos) {
      t.fotogramas = t.fotogramas < 0 ? -t.fotogramas : t.fotogramas;
    }
    EXPECT_EQ(arnes_fotogramas(), en_pantalla ? llamadas : 0);
    return hash_estado();
  };

  std::vector<tramo> en_pantalla, sin_pantalla;
  const uint64_t hash = partida(true, en_pantalla);
  EXPECT_EQ(nucleo.dt_bucle.motivo_fin, fin_completado);
  EXPECT_EQ(nucleo.dt_partida.fases_superadas, 2);
  // Each level's bonus: 64 units of energy, then the lives left (two, then
  // three: a completed level gives them back).
  const int energia = 63 * 3 + 1;
  const int inicio = 32 + 193 + 20;
  const std::vector<tramo> esperados = {
      {secuencia_inicio_nivel, inicio},
      {secuencia_vida_perdida, 140},
      {secuencia_inicio_nivel, inicio},
      {secuencia_contacto, 500 + energia + 20 + 2 * 30 + 20},
      {secuencia_inicio_nivel, inicio},
      {secuencia_contacto, 500 + energia + 20 + 3 * 30 + 20},
      {secuencia_final, 32 + 70 + 30 + 500},
  };
  EXPECT_TRUE(en_pantalla == esperados);
  arnes_captura("escena_final_paso_a_paso");
  EXPECT_EQ(partida(false, sin_pantalla), hash);
  EXPECT_TRUE(sin_pantalla == esperados);

  dlg_desapilar_dialogo();
  destroy_bitmap(marcador);
  marcador = nullptr;
}

TEST_F(Partida, ElMarcadorSeRotulaEnElIdiomaDelMomento)
{
  marcador = create_bitmap(ANCHO_PANTALLA, ALTO_MARCADOR);
  BITMAP *esperado = create_bitmap(ANCHO_PANTALLA, ALTO_MARCADOR);
  const char *const etiquetas[2][2] = {{"puntos", "vidas:"}, {"points", "lives:"}};
  for (int8_t i : {IDIOMA_ESPANOL, IDIOMA_INGLES}) {
    idioma = i;
    preparar_marcador();
    // The same floor with the labels written over it.
    clear_bitmap(esperado);
    for (int k = 0; k < NUM_BASE; ++k) {
      blit(loseta[base[k]], esperado, 0, 0, 64 * (k % 16), 64 * (k / 16), 64, 64);
    }
    textout_centre_ex(esperado, fuente_texto(), etiquetas[i][0], 882, 28, -1, -1);
    textout_ex(esperado, fuente_texto(), etiquetas[i][1], 274, 80, -1, -1);
    for (int y = 28; y < 60; ++y) {
      for (int x = 840; x < 930; ++x) {
        ASSERT_EQ(getpixel(marcador, x, y), getpixel(esperado, x, y)) << int{i};
      }
    }
    for (int y = 80; y < 112; ++y) {
      for (int x = 274; x < 370; ++x) {
        ASSERT_EQ(getpixel(marcador, x, y), getpixel(esperado, x, y)) << int{i};
      }
    }
  }
  destroy_bitmap(esperado);
  destroy_bitmap(marcador);
  marcador = nullptr;
}

// Twelve levels won at once, then a mine on level index 12 takes the three
// lives: each level starts with three, the last life's points are banked,
// the game-over panel waits for Exit, and the progress is recorded.
TEST_F(Partida, UnaPartidaHastaQuedarseSinVidas)
{
  poner_nivel(12, MINA);
  ult_fase_completada = 0;
  captura_fin = "partida_fin";
  int celebrando = -1;
  jugar(0, [&](int n) {
    // Mid-celebration of the first level: emitter and receiver pulsing.
    if (celebrando < 0 && nucleo.dt_partida.fases_superadas == 0 && nucleo.dt_rayo.estado == rayo_conectado) {
      celebrando = n;
    }
    if (celebrando >= 0 && n == celebrando + 200) {
      arnes_captura("partida_celebracion");
    }
  });
  EXPECT_EQ(nucleo.dt_partida.fases_superadas, 12);
  EXPECT_EQ(vidas_perdidas, 3);
  EXPECT_GT(paneles_fin, 0);
  EXPECT_EQ(ult_fase_completada, 11);
  EXPECT_GT(nucleo.dt_partida.puntos, 12 * (3 * 500));
  EXPECT_EQ(marcador, nullptr);
  EXPECT_EQ(cima_pila, -1);
}

TEST_F(Partida, ElProgresoSoloAvanza)
{
  // Game over on the level chosen at the start, below what is unlocked.
  poner_nivel(5, MINA);
  ult_fase_completada = 5;
  jugar(0);
  EXPECT_EQ(vidas_perdidas, 3);
  EXPECT_EQ(ult_fase_completada, 5);
}

TEST_F(Partida, LaEnergiaYLaSobrecargaCuestanUnaVida)
{
  // Out of energy after 64 units of 16 logic frames: the 1024th logic frame
  // is frame 3070 of the level. Then quit through the panel, which records
  // nothing.
  poner_nivel(0, NADA);
  int inicio = -1, perdida = -1, salida = -1;
  jugar(0, [&](int n) {
    if (inicio < 0 && nucleo.dt_partida.energia == 64) {
      inicio = n;
    }
    if (perdida < 0 && vidas_perdidas == 1) {
      perdida = n;
    }
    if (perdida >= 0 && nucleo.dt_partida.energia == 64 && nucleo.dt_partida.cuenta_energia < 10) {
      salida = salida < 0 ? n : salida;
      const int paso = n - salida;
      if (paso < 2) {
        clic(DLG_JUEGO, 1, paso);
      } else if (paso < 4) {
        clic(DLG_SI_NO, 0, paso - 2);
      }
    }
  });
  EXPECT_EQ(vidas_perdidas, 1);
  EXPECT_EQ(nucleo.dt_partida.vidas, 2);
  EXPECT_EQ(perdida - inicio, 3070);
  EXPECT_EQ(ult_fase_completada, 0);

  // A beam thrown straight back overloads the laser in 64 logic frames.
  poner_nivel(0, REBOTE);
  vidas_perdidas = 0;
  int cargado = -1, primera = -1;
  jugar(0, [&](int n) {
    if (cargado < 0 && nucleo.dt_partida.energia == 64) {
      cargado = n;
    }
    if (primera < 0 && vidas_perdidas == 1) {
      primera = n;
    }
  });
  EXPECT_EQ(primera - cargado, 3 * 63 + 1);
  EXPECT_EQ(vidas_perdidas, 3);
}

TEST_F(Partida, ElTrucoCambiaDeNivelYQuitaElPeligro)
{
  // Each level's mine one cell further right.
  poner_nivel(0, "E3 .. xx");
  poner_nivel(1, "E3 .. .. xx");
  poner_nivel(2, "E3 .. .. .. xx");
  auto nivel_en_juego = [] {
    for (int col = 2; col <= 4; ++col) {
      if (nucleo.est_nivel[celda_en(col, 4)].tipo == mina) {
        return col - 2;
      }
    }
    return -1;
  };
  int inicio = -1;
  jugar(0, [&](int n) {
    if (inicio < 0 && nucleo.dt_partida.energia == 64) {
      inicio = n;
    }
    if (inicio < 0) {
      return;
    }
    const int t = n - inicio;
    arnes_tecla(KEY_Q, t < 6);
    arnes_tecla(KEY_M, t < 6);
    if (t == 80) {
      EXPECT_EQ(nucleo.trampas, 1);
      EXPECT_EQ(nucleo.trampeando[0], 0);
      // The mine keeps the meter full but costs no life.
      EXPECT_EQ(nucleo.dt_partida.sobrecarga, 64);
      EXPECT_EQ(nucleo.dt_partida.vidas, 3);
    }
    // Right held for many logic frames moves one level; then both arrows
    // together move none.
    key[KEY_RIGHT] = (t >= 30 && t < 60) || (t >= 90 && t < 99);
    key[KEY_LEFT] = t >= 90 && t < 99;
    if (t == 70 || t == 110) {
      EXPECT_EQ(nivel_en_juego(), 1) << "frame " << t;
    }
    // A tap shorter than a frame is not lost: back to the first level.
    if (t == 111) {
      dlg_simular_tecla(KEY_LEFT);
      dlg_simular_tecla(KEY_LEFT | 0x80);
    }
    if (t == 118) {
      EXPECT_EQ(nivel_en_juego(), 0);
    }
    if (t >= 120 && t < 122) {
      clic(DLG_JUEGO, 1, t - 120);
    } else if (t >= 122 && t < 124) {
      clic(DLG_SI_NO, 0, t - 122);
    }
  });
  EXPECT_EQ(vidas_perdidas, 0);
}

TEST_F(Partida, SeCazaAlGremlinSoloEnSuCeldaExacta)
{
  // Level index 2 has gremlins, so their slots are in use.
  poner_nivel(2, NADA);
  ult_fase_completada = 2;
  const int x = ORIGEN_TABLERO + LADO_CELDA * 6, y = ORIGEN_TABLERO + LADO_CELDA * 4;
  int inicio = -1;
  jugar(0, [&](int n) {
    // The level's first frame of play has been shown: its logic frame has
    // run, the next two are not ones.
    if (inicio < 0 && nucleo.dt_partida.energia == 64 && nucleo.dt_bucle.cuenta_ciclo == 2) {
      inicio = n;
      // One gremlin standing exactly on the cell, one half a cell off.
      nucleo.dt_gremlin[0] = {0, static_cast<int16_t>(x), static_cast<int16_t>(y), 0, 0, 0};
      nucleo.dt_gremlin[1] = {0, static_cast<int16_t>(x + 32), static_cast<int16_t>(y), 0, 0, 0};
    }
    if (inicio < 0) {
      return;
    }
    const int t = n - inicio;
    // Held from the next logic frame (t = 3) on, and let go after it,
    // before the other gremlin can walk onto the cell.
    arnes_raton(x + 10, y + 10, t < 4 ? 1 : 0);
    if (t == 4) {
      EXPECT_EQ(nucleo.dt_gremlin[0].espera, 300);  // caught: back in 300 logic frames
      EXPECT_EQ(nucleo.dt_partida.puntos_nivel, 160);
      EXPECT_NE(nucleo.dt_gremlin[1].espera, 300);
    }
    if (t >= 20 && t < 22) {
      clic(DLG_JUEGO, 1, t - 20);
    } else if (t >= 22 && t < 24) {
      clic(DLG_SI_NO, 0, t - 22);
    }
  });
}

TEST_F(Partida, UnaMuescaDeLaRuedaGiraElEspejoUnPaso)
{
  poner_nivel(0, NADA);
  const uint8_t c = celda_en(4, 4);
  int inicio = -1;
  uint8_t antes = 0;
  jugar(0, [&](int n) {
    if (inicio < 0 && nucleo.dt_partida.energia == 64) {
      inicio = n;
      antes = nucleo.est_nivel[c].valor;
    }
    if (inicio < 0) {
      return;
    }
    const int t = n - inicio;
    arnes_raton(ORIGEN_TABLERO + 64 * 4 + 30, ORIGEN_TABLERO + 64 * 4 + 30, 0, t == 3 ? 1 : mouse_z);
    if (t == 15) {
      EXPECT_EQ(nucleo.est_nivel[c].valor, (antes + 15) % 16);
    }
    if (t >= 20 && t < 22) {
      clic(DLG_JUEGO, 1, t - 20);
    } else if (t >= 22 && t < 24) {
      clic(DLG_SI_NO, 0, t - 22);
    }
  });
}

// A game played with the keys: the first arrow shows the cursor on the
// mirror nearest the board's middle, each arrow after jumps it to the
// nearest mirror that way (straight ahead preferred), Shift moves it one
// cell; X held turns the cursor's mirror one step a logic frame, as the
// right button does. Esc pauses (nothing of the game moves) and P goes on;
// F1 pauses with the box of the keys over the board, and goes on again.
// Moving the mouse gives the board back to the pointer. The recording
// plays again to the same end.
TEST_F(Partida, LasTeclasJueganComoElRatonYPausan)
{
  const std::vector<uint8_t> b = bytes_tablero(
      {"", ".. .. .. .. .. .. .. .. m0", "", "", "E3 .. af .. m0 .. .. .. .. .. m0"});
  std::copy(b.begin(), b.end(), tabla.begin());
  const uint8_t izquierda = celda_en(4, 4), derecha = celda_en(10, 4), arriba = celda_en(8, 1);
  const auto cursor_en = [](uint8_t c) {
    const color_rgb p =
        arnes_pixel(buffer, ORIGEN_TABLERO + 64 * (c % COLUMNAS) + 1, ORIGEN_TABLERO + 64 * (c / COLUMNAS) + 1);
    return p.r < 60 && p.g > 200 && p.b > 200;
  };
  // Where the cursor must stand after each key (pressed at t = 5k + 1).
  struct paso {
    int tecla;
    bool mayusculas;
    uint8_t celda;
  };
  const paso pasos[] = {{KEY_UP, false, izquierda},         {KEY_RIGHT, false, derecha},
                        {KEY_UP, false, arriba},            {KEY_LEFT, false, izquierda},
                        {KEY_DOWN, true, celda_en(4, 5)},   {KEY_UP, false, izquierda}};
  int inicio = -1, giros_x = 0, giros_raton = 0;
  bool x_abajo = false, boton_abajo = false;
  uint8_t antes_izquierda = 0, antes_derecha = 0;
  int32_t energia_en_pausa = 0;
  jugar(0, [&](int n) {
    if (inicio < 0 && nucleo.dt_partida.energia == 64 && nucleo.dt_bucle.cuenta_ciclo == 2) {
      inicio = n;
      antes_izquierda = nucleo.est_nivel[izquierda].valor;
      antes_derecha = nucleo.est_nivel[derecha].valor;
    }
    if (inicio < 0) {
      return;
    }
    const int t = n - inicio;
    // The logic frame just played read what was held before it.
    if (nucleo.dt_bucle.cuenta_ciclo == 2 && !juego_en_pausa()) {
      giros_x += x_abajo;
      giros_raton += boton_abajo;
    }
    for (int k = 0; k < 6; ++k) {
      if (t == 5 * k + 5) {
        EXPECT_TRUE(cursor_en(pasos[k].celda)) << "after key " << k;
      }
    }
    const int k = (t - 1) / 5;
    for (int tecla : {KEY_UP, KEY_RIGHT, KEY_DOWN, KEY_LEFT}) {
      key[tecla] = t >= 1 && t < 31 && (t - 1) % 5 == 0 && pasos[k].tecla == tecla;
    }
    key[KEY_LSHIFT] = t >= 1 && t < 31 && pasos[k].mayusculas && (t - 1) % 5 < 2;
    x_abajo = t >= 31 && t < 60;
    key[KEY_X] = x_abajo;
    if (t == 64) {
      EXPECT_GT(giros_x, 8);
      EXPECT_EQ(nucleo.est_nivel[izquierda].valor, (antes_izquierda + giros_x) % 16);
    }
    key[KEY_ESC] = t == 66;
    if (t == 70) {
      EXPECT_TRUE(juego_en_pausa());
      energia_en_pausa = nucleo.dt_partida.energia * 100 + nucleo.dt_partida.cuenta_energia;
    }
    if (t == 99) {
      EXPECT_EQ(nucleo.dt_partida.energia * 100 + nucleo.dt_partida.cuenta_energia, energia_en_pausa);
    }
    key[KEY_P] = t == 100;
    if (t == 104) {
      EXPECT_FALSE(juego_en_pausa());
    }
    key[KEY_F1] = t == 105 || t == 112;
    if (t == 109) {
      EXPECT_TRUE(juego_en_pausa());
      // The box's top border, as its picture has it.
      const color_rgb caja = arnes_pixel(buffer, (ANCHO_PANTALLA - 832) / 2 + 8, 96 + 8);
      const color_rgb borde_arriba = arnes_pixel(borde[0], 8, 8);
      EXPECT_TRUE(caja.r == borde_arriba.r && caja.g == borde_arriba.g && caja.b == borde_arriba.b);
    }
    if (t == 116) {
      EXPECT_FALSE(juego_en_pausa());
    }
    // The mouse takes over: the cursor goes, the pointer's mirror turns.
    boton_abajo = t >= 121 && t < 131;
    if (t >= 120) {
      arnes_raton(ORIGEN_TABLERO + 64 * 10 + 30, ORIGEN_TABLERO + 64 * 4 + 30, boton_abajo ? 1 : 0);
    }
    if (t == 135) {
      EXPECT_FALSE(cursor_en(izquierda));
      EXPECT_GT(giros_raton, 2);
      EXPECT_EQ(nucleo.est_nivel[derecha].valor, (antes_derecha + 16 * 4 - giros_raton) % 16);
    }
    if (t >= 137 && t < 139) {
      clic(DLG_JUEGO, 1, t - 137);
    } else if (t >= 139 && t < 141) {
      clic(DLG_SI_NO, 0, t - 139);
    }
  });
  const verificacion v = verificar_repeticion(partida_grabada);
  EXPECT_TRUE(v.valida) << v.motivo;
  EXPECT_EQ(v.motivo_fin, fin_abandono);
}

TEST_F(Partida, ElUltimoNivelLlevaALaEscenaFinalSalvoConTruco)
{
  ult_fase_completada = 59;
  captura_fin = "partida_completada";
  jugar(0);
  EXPECT_GT(paneles_fin, 0);  // the closing scene waited for Exit
  EXPECT_EQ(nucleo.dt_partida.fases_superadas, 1);

  // With the cheat on: no closing scene, nothing recorded.
  paneles_fin = 0;
  ult_fase_completada = 59;
  jugar(0, [](int) {
    arnes_tecla(KEY_Q, true);
    arnes_tecla(KEY_M, true);
  });
  EXPECT_EQ(paneles_fin, 0);
  EXPECT_EQ(nucleo.trampas, 1);
}

TEST_F(Partida, ElEntrenamientoSeJuegaEnteroYNoGuardaNada)
{
  ult_fase_completada = 7;
  jugar(1);
  EXPECT_EQ(nucleo.dt_partida.fases_superadas, 3);
  EXPECT_EQ(paneles_fin, 0);
  EXPECT_EQ(ult_fase_completada, 7);
}

plan_nivel plan_de(int nivel)
{
  plan_nivel plan;
  std::string error;
  EXPECT_TRUE(buscar_plan(&objeto[nivel * NUM_CELDAS], nivel, plan, error)) << "level " << nivel << ": " << error;
  return plan;
}

// Wins the stored levels from `primero` to `ultimo` with the solver's plans
// through the real game loop, then leaves through the panel (or lets the
// trainer end by itself).
void ganar_niveles(Partida &p, int8_t entrenamiento, int primero, int ultimo)
{
  prueba_niveles = nullptr;
  ult_fase_completada = static_cast<int8_t>(entrenamiento ? 0 : primero);
  jugador_plan jugador;
  int nivel = -1, salida = -1;
  int32_t fases = 0;
  p.jugar(entrenamiento, [&](int n) {
    if (nucleo.dt_partida.fases_superadas != fases) {
      fases = nucleo.dt_partida.fases_superadas;
      nivel = -1;
    }
    if (nucleo.dt_rayo.n_puntos == 0) {
      mouse_b = 0;  // the level is still starting: hands off
      return;
    }
    if (nivel < 0) {
      nivel = primero + fases;
      if (nivel <= ultimo) {
        jugador_empezar(jugador, plan_de(nivel));
      }
      // The plans leave gremlins out, as the solver's proof does: they are
      // the player's to catch.
      for (datos_gremlin &g : nucleo.dt_gremlin) {
        g.espera = -1;
      }
    }
    if (nivel <= ultimo) {
      jugador_fotograma(jugador);
      return;
    }
    salida = salida < 0 ? n : salida;
    const int t = n - salida;
    if (t < 2) {
      Partida::clic(DLG_JUEGO, 1, t);
    } else if (t < 4) {
      Partida::clic(DLG_SI_NO, 0, t - 2);
    }
  }, 6000 * (ultimo - primero + 2));
  EXPECT_EQ(nucleo.dt_partida.fases_superadas, ultimo - primero + 1);
  EXPECT_EQ(p.vidas_perdidas, 0);
}

TEST_F(Partida, LosPlanesDelResolutorGananLosPrimerosNivelesEnElJuego)
{
  ganar_niveles(*this, 0, 0, 1);
}

TEST_F(Partida, LosPlanesDelResolutorGananUnCampoDeBlancos)
{
  ganar_niveles(*this, 0, 3, 3);
}

TEST_F(Partida, LosPlanesDelResolutorGananUnCampoDeEspejos)
{
  ganar_niveles(*this, 0, 4, 4);
}

TEST_F(Partida, LosPlanesDelResolutorGananElEntrenamientoEntero)
{
  ganar_niveles(*this, 1, PRIMER_NIVEL_ENTRENAMIENTO, NUM_NIVELES - 1);
  EXPECT_EQ(ult_fase_completada, 0);  // the trainer records nothing
  EXPECT_EQ(entradas_nombre, 0);
}

// A level of the player's own standing in for a stored one.
nivel_texto nivel_propio(const char *fila)
{
  nivel_texto n;
  n.gremlins = 0;
  const std::vector<uint8_t> b = bytes_tablero({"", "", "", "", fila});
  std::copy(b.begin(), b.end(), n.bytes);
  return n;
}

TEST_F(Partida, UnaPartidaConNivelesPropiosNoEntraEnLaTablaNiDesbloquea)
{
  // Twelve levels won, then the player's own level 13 costs the three
  // lives: a score and progress the table would otherwise take.
  const nivel_texto propio = nivel_propio(MINA);
  niveles_sustitutos[12] = &propio;
  jugar(0);
  niveles_sustitutos[12] = nullptr;
  EXPECT_EQ(nucleo.dt_partida.fases_superadas, 12);
  EXPECT_EQ(vidas_perdidas, 3);
  EXPECT_GT(nucleo.dt_partida.puntos, 0);
  EXPECT_EQ(entradas_nombre, 0);
  EXPECT_EQ(ult_fase_completada, 0);
}

TEST_F(Partida, ElEditorJuegaUnSoloNivelYVuelve)
{
  // Won at once: the celebration, then back, with nothing scored and the
  // game's screens all closed.
  const nivel_texto propio = nivel_propio(GANAR);
  arnes_guion([](int) {}, 6000);
  nucleo.dt_partida = {};
  jugar_nivel_suelto(propio);
  EXPECT_EQ(nucleo.dt_partida.fases_superadas, 1);
  EXPECT_EQ(memcmp(nucleo.nivel_jugado.bytes, propio.bytes, NUM_CELDAS), 0);
  EXPECT_EQ(ult_fase_completada, 0);
  EXPECT_EQ(marcador, nullptr);
  EXPECT_EQ(cima_pila, -1);
}

}  // namespace
