// Loading a stored level onto the live board; the table of elements that
// says what each level byte is, and the tile sheet it names tiles of.
#include <gtest/gtest.h>

#include <cstdlib>

#include "arnes/tablero.h"
#include "editor/editor.h"
#include "generador/disposicion.h"
#include "juego/juego.h"

namespace {

TEST(CargarNivel, ElPrimerNivelQuedaComoSeDiseno)
{
  srand(1);
  cargar_nivel(0);

  // The emitter at cell 108 shoots left from the middle of its left edge.
  EXPECT_EQ(nucleo.est_nivel[108].tipo, emisor);
  EXPECT_EQ(nucleo.est_nivel[108].grf, 1);
  EXPECT_EQ(nucleo.dt_rayo.punto[0].x, 12);
  EXPECT_EQ(nucleo.dt_rayo.punto[0].y, 30);
  EXPECT_EQ(nucleo.dt_rayo.punto[0].dir, 12);
  EXPECT_EQ(nucleo.dt_rayo.n_puntos, 0);

  // The receiver at 123 opens right onto its gate, 124.
  EXPECT_EQ(nucleo.est_nivel[123].tipo, receptor);
  EXPECT_EQ(nucleo.est_nivel[123].grf, 163);
  EXPECT_EQ(nucleo.dt_rayo.celda_puerta, 124);
  EXPECT_EQ(nucleo.dt_rayo.dir_receptor, 12);

  // 19 targets and the receiver are pending.
  EXPECT_EQ(nucleo.dt_rayo.pendientes, 20);

  // The fibre-optic pair 0 joins 55 and 119.
  EXPECT_EQ(nucleo.est_nivel[55].tipo, foptica);
  EXPECT_EQ(nucleo.est_nivel[55].valor, 119);
  EXPECT_EQ(nucleo.est_nivel[119].valor, 55);
  EXPECT_EQ(nucleo.est_nivel[55].grf, 96);
  EXPECT_EQ(nucleo.dir_foptica, 4);

  const struct {
    int celda, tipo, valor, grf;
  } celdas[] = {
      {10, polarizador_absorbente_giratorio, 2, 74},
      {32, espejo_giratorio, 15, 31},
      {35, reemisor, 1, 128},
      {4, muro, 9, 40},
      {7, muro_reflectante, 6, 53},
      {42, polarizador_absorbente, 7, 79},
      {67, polarizador_reflectante_giratorio, 7, 71},
      {5, detonador, DETONADOR_EN_PIE, 135},
  };
  for (const auto &c : celdas) {
    EXPECT_EQ(nucleo.est_nivel[c.celda].tipo, c.tipo) << c.celda;
    EXPECT_EQ(nucleo.est_nivel[c.celda].valor, c.valor) << c.celda;
    EXPECT_EQ(nucleo.est_nivel[c.celda].grf, c.grf) << c.celda;
  }
  for (int mina_c : {101, 116}) {
    EXPECT_EQ(nucleo.est_nivel[mina_c].tipo, mina);
    EXPECT_GE(nucleo.est_nivel[mina_c].grf, 92);
    EXPECT_LE(nucleo.est_nivel[mina_c].grf, 95);
  }
  for (const celda &e : nucleo.est_nivel) {
    if (e.tipo == espejo) {
      EXPECT_LT(e.valor, 16);
      EXPECT_EQ(e.grf, 16 + e.valor);
    } else if (e.tipo == vacio) {
      EXPECT_GE(e.grf, 80);
      EXPECT_LE(e.grf, 91);
    }
  }
  for (const datos_gremlin &g : nucleo.dt_gremlin) {
    EXPECT_EQ(g.espera, -1);
  }
}

TEST(CargarNivel, ElSueloSeRepiteYLosEspejosYMinasNo)
{
  celda primera[NUM_CELDAS];
  srand(11);
  cargar_nivel(0);
  std::copy(nucleo.est_nivel, nucleo.est_nivel + NUM_CELDAS, primera);
  srand(12345);
  cargar_nivel(0);

  bool espejo_distinto = false, mina_distinta = false;
  for (int c = 0; c < NUM_CELDAS; ++c) {
    const celda &a = primera[c], &b = nucleo.est_nivel[c];
    ASSERT_EQ(a.tipo, b.tipo);
    if (a.tipo == vacio) {
      EXPECT_EQ(a.grf, b.grf) << "floor of cell " << c;
    } else if (a.tipo == espejo) {
      espejo_distinto |= a.valor != b.valor;
    } else if (a.tipo == mina) {
      mina_distinta |= a.valor != b.valor || a.grf != b.grf;
    }
  }
  EXPECT_TRUE(espejo_distinto);
  EXPECT_TRUE(mina_distinta);

  // Targets blown up in one attempt stand again after a reload.
  nucleo.est_nivel[5].valor = DETONADOR_DESTRUIDO;
  cargar_nivel(0);
  EXPECT_EQ(nucleo.est_nivel[5].valor, DETONADOR_EN_PIE);
  EXPECT_EQ(nucleo.est_nivel[5].grf, 135);
}

TEST(CargarNivel, LosGremlinsEsperanSuTurnoSegunElNivel)
{
  for (int nivel : {8, 27, 51}) {
    cargar_tablero(&objeto[0], nivel);
    for (int i = 0; i < MAX_GREMLINS; ++i) {
      EXPECT_EQ(nucleo.dt_gremlin[i].espera, i < gremlins[nivel] ? 100 + 40 * i : -1) << nivel << " " << i;
    }
  }
  EXPECT_EQ(gremlins[8], 4);
  EXPECT_EQ(gremlins[51], 8);
}

TEST(CargarNivel, UnByteQueNingunNivelContieneQuedaComoSuelo)
{
  std::vector<uint8_t> b = bytes_tablero({"E3 .. .. .. R1"});
  for (int c = 20; c < 30; ++c) {
    b[c] = 0;
  }
  b[30] = 7;
  b[31] = 9;
  b[32] = 15;
  b[33] = 118;
  b[34] = 255;
  cargar_tablero(b.data(), 0);
  for (int c = 20; c < 35; ++c) {
    EXPECT_EQ(nucleo.est_nivel[c].tipo, vacio) << c;
    EXPECT_GE(nucleo.est_nivel[c].grf, 80);
    EXPECT_LE(nucleo.est_nivel[c].grf, 91);
  }
  // A lone fibre-optic end leads back to itself rather than anywhere.
  b[40] = 82;
  cargar_tablero(b.data(), 0);
  EXPECT_EQ(nucleo.est_nivel[40].valor, 40);
}

TEST(CargarNivel, ElSueloSaleDelMismoGeneradorQueElRandDeGlibc)
{
  // Recordings of rules version 1 hashed the floor tiles glibc's rand chose
  // after srand(level): the core's own copy of it draws the same numbers.
  for (const uint32_t semilla : {0u, 1u, 2u, 59u, 62u, 12345u, 0x80000000u, 0xffffffffu}) {
    srand(semilla);
    generador_suelo g;
    sembrar_suelo(g, semilla);
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(sacar_suelo(g), rand()) << "seed " << semilla << ", draw " << i;
    }
  }
}

TEST(Elementos, CadaByteEsUnaFichaUnHuecoDeLaPaletaYUnaLoseta)
{
  // Every byte through the level text, the table's row (the editor's
  // palette slot), the loader and the pictures' tiles; no two rows share a
  // byte.
  int elementos = 0;
  for (int b = 0; b < 256; ++b) {
    const uint8_t byte = static_cast<uint8_t>(b);
    int v = -1;
    const int e = elemento_de_byte(byte, &v);
    std::vector<uint8_t> bytes = bytes_tablero({"E3 .. .. .. R1"});
    bytes[40] = byte;
    cargar_tablero(bytes.data(), 0);
    const celda &k = nucleo.est_nivel[40];
    uint8_t losetas[NUM_CELDAS];
    losetas_nivel(bytes.data(), 0, losetas);
    if (e < 0 || e == ELEMENTO_SUELO) {
      // The floor's pattern, the same in a picture.
      EXPECT_EQ(losetas[40], k.grf) << b;
    }
    if (e < 0) {
      EXPECT_EQ(ficha_de_byte(byte), "??") << b;
      EXPECT_EQ(describir_byte(byte, false), "?") << b;
      EXPECT_EQ(k.tipo, vacio) << b;
      EXPECT_GE(k.grf, ELEMENTOS[ELEMENTO_SUELO].loseta) << b;
      EXPECT_LT(k.grf, ELEMENTOS[ELEMENTO_SUELO].loseta + NUM_SUELOS) << b;
      continue;
    }
    ++elementos;
    const elemento_nivel &f = ELEMENTOS[e];
    for (int otro = 0; otro < NUM_ELEMENTOS; ++otro) {
      const int w = byte - ELEMENTOS[otro].primero;
      EXPECT_FALSE(otro != e && w >= ELEMENTOS[otro].minimo && w < ELEMENTOS[otro].variantes) << b;
    }
    EXPECT_EQ(byte_de_ficha(ficha_de_byte(byte)), b);
    EXPECT_EQ(ficha_de_byte(byte)[0], f.ficha[0]) << b;
    EXPECT_EQ(byte_de_elemento(e, v), byte);
    EXPECT_EQ(describir_byte(byte, false).rfind(f.nombre[1], 0), 0u) << b << " " << describir_byte(byte, false);
    EXPECT_EQ(k.tipo, f.tipo) << b;
    switch (e) {
    case ELEMENTO_SUELO:
      EXPECT_GE(k.grf, f.loseta) << b;
      EXPECT_LT(k.grf, f.loseta + NUM_SUELOS) << b;
      break;
    case ELEMENTO_ESPEJO:
      EXPECT_EQ(k.grf, f.loseta + k.valor) << b;
      EXPECT_EQ(losetas[40], f.loseta + v) << b;
      break;
    case ELEMENTO_MINA:
      EXPECT_GE(k.grf, f.loseta) << b;
      EXPECT_LT(k.grf, f.loseta + 4) << b;
      EXPECT_EQ(losetas[40], f.loseta) << b;
      break;
    default:
      EXPECT_EQ(k.grf, f.loseta + v) << b;
      EXPECT_EQ(losetas[40], k.grf) << b;
      if (e != ELEMENTO_DETONADOR && e != ELEMENTO_REEMISOR && e != ELEMENTO_FOPTICA) {
        EXPECT_EQ(k.valor, v) << b;
      }
      break;
    }
  }
  int variantes = 0;
  for (const elemento_nivel &f : ELEMENTOS) {
    variantes += f.variantes - f.minimo;
  }
  EXPECT_EQ(elementos, variantes);
  // 2-5, 10-13 and 16-117: what level files have always held.
  EXPECT_EQ(elementos, 4 + 4 + 102);
}

TEST(Elementos, LasLosetasQueNombraElJuegoSonLasQueDibujaElGenerador)
{
  // What the generator must have drawn at each tile a row names: the
  // element's picture, at the row's variant and the first frame.
  struct esperado {
    int elemento;
    dibujo_loseta dibujo;
    int losetas;  // tiles the loader may choose among at a variant
  };
  const esperado DIBUJOS[NUM_ELEMENTOS] = {
      {ELEMENTO_SUELO, D_SUELO, NUM_SUELOS},
      {ELEMENTO_DETONADOR, D_DIANA, 1},
      {ELEMENTO_EMISOR, D_EMISOR, 1},
      {ELEMENTO_RECEPTOR, D_RECEPTOR, 1},
      {ELEMENTO_ESPEJO, D_ESPEJO, 1},
      {ELEMENTO_ESPEJO_GIRATORIO, D_ESPEJO, 1},
      {ELEMENTO_MURO, D_MURO, 1},
      {ELEMENTO_MURO_REFLECTANTE, D_MURO_REFLECTANTE, 1},
      {ELEMENTO_POLARIZADOR_REFLECTANTE, D_POLARIZADOR_REFLECTANTE, 1},
      {ELEMENTO_POLARIZADOR_ABSORBENTE, D_POLARIZADOR_ABSORBENTE, 1},
      {ELEMENTO_POLARIZADOR_REFLECTANTE_GIRATORIO, D_POLARIZADOR_REFLECTANTE, 1},
      {ELEMENTO_POLARIZADOR_ABSORBENTE_GIRATORIO, D_POLARIZADOR_ABSORBENTE, 1},
      {ELEMENTO_REEMISOR, D_REEMISOR, 1},
      {ELEMENTO_FOPTICA, D_FIBRA, 1},
      {ELEMENTO_MINA, D_MINA, 4},
  };
  for (const esperado &x : DIBUJOS) {
    const elemento_nivel &f = ELEMENTOS[x.elemento];
    for (int v = f.minimo; v < f.variantes; ++v) {
      for (int j = 0; j < x.losetas; ++j) {
        const loseta_hoja l = loseta_de_hoja(f.loseta + v + j);
        EXPECT_EQ(l.dibujo, x.dibujo) << f.nombre[1] << " " << v;
        EXPECT_EQ(l.variante, v + j) << f.nombre[1] << " " << v;
        EXPECT_EQ(l.fase, 0) << f.nombre[1] << " " << v;
      }
    }
  }
  // The other tiles the rules name.
  EXPECT_EQ(loseta_de_hoja(primer_grf[GRF_ESPEJO_ILUMINADO]).dibujo, D_ESPEJO_ENCENDIDO);
  EXPECT_EQ(loseta_de_hoja(primer_grf[GRF_GREMLIN]).dibujo, D_DUENDE);
  EXPECT_EQ(loseta_de_hoja(primer_grf[GRF_PREMIO]).dibujo, D_TE);
  EXPECT_EQ(loseta_de_hoja(LOSETA_MARCA).dibujo, D_SELECCION);
  EXPECT_EQ(loseta_de_hoja(LOSETA_PUERTA_RECOMPUESTA).dibujo, D_SUELO_RECOMPUESTO);
  EXPECT_EQ(loseta_de_hoja(primer_grf[detonador] - 1).dibujo, D_QUEMADURA);
  EXPECT_EQ(loseta_de_hoja(primer_grf[detonador] + 1).dibujo, D_EXPLOSION_FUEGO);
  EXPECT_EQ(loseta_de_hoja(primer_grf[detonador] + 16).dibujo, D_EXPLOSION_ESQUIRLAS);
  for (const mitad_libre &m : MITADES_LIBRES) {
    const dibujo_loseta d = loseta_de_hoja(m.grf).dibujo;
    EXPECT_TRUE(d == D_MURO || d == D_MURO_REFLECTANTE) << int{m.grf};
  }
}

}  // namespace
