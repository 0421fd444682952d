// Recordings: games played through the game's own loop with a random hand
// (and, for some levels, the solver's plans with a shaky one) are recorded,
// written, read back and played again to the same end state; and every kind
// of bad recording is refused with its reason.
#include <gtest/gtest.h>

#include <fnmatch.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "arnes/arnes.h"
#include "arnes/programa.h"
#include "arnes/tablero.h"
#include "dlg/dlg.h"
#include "jugador_plan.h"
#include "juego/juego.h"
#include "repeticion/repeticion.h"
#include "resolver/resolver.h"

namespace {

// The hand of one game: the solver's plan for the first `a_ganar` levels,
// with stray clicks and wheel turns now and then, then anything at all;
// with the cheat on for some games, which then end when the hand leaves.
struct mano_azar {
  std::mt19937 azar;
  int a_ganar = 0;
  int ganados = 0;
  bool trampea = false;
  int fotograma = 0;
  int nivel_plan = -1;
  int abandona = 0;  // the frame the hand leaves the game at; 0 never
  jugador_plan jugador;

  int tirar(int n) { return static_cast<int>(azar() % static_cast<unsigned>(n)); }

  void al_azar()
  {
    if (tirar(20) == 0) {
      mouse_x = ORIGEN_TABLERO + tirar(COLUMNAS * LADO_CELDA + 40) - 20;
      mouse_y = ORIGEN_TABLERO + tirar(FILAS * LADO_CELDA + 40) - 20;
    }
    if (tirar(12) == 0) {
      mouse_b = tirar(4);
    }
    if (tirar(60) == 0) {
      mouse_z = mouse_z + (tirar(2) == 0 ? 1 : -1);
    }
    key[KEY_ALT] = tirar(50) == 0;
    key[KEY_LEFT] = tirar(40) == 0;
    key[KEY_RIGHT] = tirar(40) == 0;
  }

  // Before the next frame; 1 to leave the game.
  uint8_t mover()
  {
    ++fotograma;
    ganados = nucleo.dt_partida.fases_superadas;
    key[KEY_Q] = trampea && fotograma > 300 && fotograma < 310;
    key[KEY_M] = key[KEY_Q];
    // Without energy to run out (the cheat, the trainer) a game ends when
    // the hand leaves it.
    if ((trampea && fotograma > 4000) || fotograma > 30000 || fotograma == abandona) {
      return 1;
    }
    if (ganados < a_ganar) {
      if (nivel_plan != nucleo.dt_bucle.nivel) {
        nivel_plan = nucleo.dt_bucle.nivel;
        plan_nivel plan;
        std::string error;
        buscar_plan(&objeto[nivel_plan * NUM_CELDAS], nivel_plan, plan, error);
        jugador_empezar(jugador, plan);
      }
      jugador_fotograma(jugador);
      if (tirar(400) == 0) {
        mouse_z = mouse_z + 1;  // a slip of the wheel
      }
      return 0;
    }
    al_azar();
    return 0;
  }
};

mano_azar *mano = nullptr;

uint8_t fotograma_mano(uint8_t)
{
  return mano->mover();
}

const ganchos_partida GANCHOS_MANO = {nullptr, fotograma_mano, nullptr};

class Repeticion : public ::testing::Test {
 protected:
  void SetUp() override
  {
    arnes_iniciar(16);
    dlg_inicializar();
  }
  void TearDown() override { arnes_terminar(); }

  // A game played from `inicio` with the hand, recorded; its bytes.
  static std::vector<uint8_t> jugar(const inicio_partida &inicio, mano_azar &m)
  {
    mouse_x = 0;
    mouse_y = 0;
    mouse_b = 0;
    mouse_z = 0;
    mano = &m;
    jugar_sin_pantalla(inicio, &GANCHOS_MANO);
    mano = nullptr;
    return codificar_repeticion(partida_grabada);
  }
};

TEST_F(Repeticion, DoscientasPartidasAlAzarSeJueganOtraVezIguales)
{
  int ganados = 0, con_trampa = 0, fotogramas = 0;
  for (int g = 0; g < 200; ++g) {
    mano_azar m;
    m.azar.seed(static_cast<unsigned>(g));
    m.a_ganar = g % 3;
    m.trampea = g % 25 == 7;
    inicio_partida inicio{};
    inicio.semilla = 0x9e3779b97f4a7c15ULL * static_cast<uint64_t>(g + 1);
    inicio.entrenamiento = g % 20 == 3;
    inicio.nivel = static_cast<int8_t>(inicio.entrenamiento ? PRIMER_NIVEL_ENTRENAMIENTO : (g * 7) % 20);
    const std::vector<uint8_t> bytes = jugar(inicio, m);
    const uint64_t hash = hash_estado();

    repeticion r;
    std::string error;
    ASSERT_TRUE(decodificar_repeticion(bytes.data(), bytes.size(), r, error)) << "game " << g << ": " << error;
    const verificacion v = verificar_repeticion(r);
    ASSERT_TRUE(v.valida) << "game " << g << ": " << v.motivo;
    EXPECT_EQ(v.hash_final, hash) << "game " << g;
    EXPECT_EQ(v.puntos, partida_grabada.cabecera.puntos);
    ganados += v.fases;
    con_trampa += v.trampas ? 1 : 0;
    fotogramas += static_cast<int>(v.fotogramas);
  }
  // The games did reach what they were meant to: won levels, the cheat.
  EXPECT_GE(ganados, 100);
  EXPECT_EQ(con_trampa, 8);
  RecordProperty("fotogramas", fotogramas);
}

TEST_F(Repeticion, UnNivelSueltoVuelveDelEstadoTrasUnaVidaPerdida)
{
  // A level played alone whose beam rests on a mine: each life goes to the
  // overload, and the level comes back from the game's own state (its
  // bytes, not the stored level of its number) until the last. The
  // recording then plays again to the same end, given that level.
  nivel_texto suelto;
  suelto.gremlins = 0;
  const std::vector<uint8_t> b = bytes_tablero({"", "", "", "", "E3 .. xx .. tt"});
  std::copy(b.begin(), b.end(), suelto.bytes);
  inicio_partida inicio{};
  inicio.semilla = 5;
  inicio.suelto = 1;
  inicio.nivel_suelto = &suelto;
  const int celda_mina = 62, celda_emisor = 60;
  // Where the stored level 0 has its emitter.
  const int emisor_guardado = 108;
  int vueltas = 0;
  repeticion r;
  grabar_partida(r, inicio, [&](entrada_juego &) {
    // What the last frame's lost life, played to its end, started again.
    if ((nucleo.dt_sucesos.bits & suceso_vida_perdida) != 0) {
      ++vueltas;
      EXPECT_EQ(nucleo.est_nivel[celda_mina].tipo, mina) << "life " << vueltas;
      EXPECT_EQ(nucleo.est_nivel[celda_emisor].tipo, emisor) << "life " << vueltas;
      EXPECT_EQ(nucleo.est_nivel[emisor_guardado].tipo, vacio) << "life " << vueltas;
    }
    return r.cabecera.fotogramas < 5000;
  });
  EXPECT_EQ(vueltas, 2);
  EXPECT_EQ(nucleo.dt_bucle.motivo_fin, fin_sin_vidas);
  const verificacion v = verificar_repeticion(r, &suelto);
  EXPECT_TRUE(v.valida) << v.motivo;
  EXPECT_EQ(v.hash_final, r.cabecera.hash_final);

  // Its file carries the level: read back, it plays with nothing given.
  const std::vector<uint8_t> fichero = codificar_repeticion(r);
  repeticion leida;
  std::string error;
  ASSERT_TRUE(decodificar_repeticion(fichero.data(), fichero.size(), leida, error)) << error;
  ASSERT_TRUE(leida.nivel.has_value());
  EXPECT_EQ(hash_nivel(*leida.nivel), r.cabecera.hash_niveles);
  EXPECT_EQ(leida.controles, r.controles);
  const verificacion sola = verificar_repeticion(leida);
  EXPECT_TRUE(sola.valida) << sola.motivo;
  EXPECT_EQ(sola.hash_final, r.cabecera.hash_final);

  // A level carried that is not the one played is refused as the file is read.
  repeticion otra = leida;
  otra.nivel->gremlins = 3;
  const std::vector<uint8_t> mala = codificar_repeticion(otra);
  repeticion x;
  EXPECT_FALSE(decodificar_repeticion(mala.data(), mala.size(), x, error));
  EXPECT_NE(error.find("not the one it was played on"), std::string::npos) << error;
}

// Every way a recording can be bad is refused, with its reason; the good
// one it was made from is not.
TEST_F(Repeticion, LasMalasSeRechazanConSuMotivo)
{
  mano_azar m;
  m.azar.seed(5);
  m.a_ganar = 1;
  inicio_partida inicio{};
  inicio.semilla = 77;
  const std::vector<uint8_t> buena = jugar(inicio, m);
  repeticion r;
  std::string error;
  ASSERT_TRUE(decodificar_repeticion(buena.data(), buena.size(), r, error)) << error;
  ASSERT_TRUE(verificar_repeticion(r).valida);
  ASSERT_EQ(r.cabecera.fases, 1);

  const auto rechazada = [](const std::vector<uint8_t> &b, const char *que) {
    repeticion x;
    std::string e;
    EXPECT_FALSE(decodificar_repeticion(b.data(), b.size(), x, e)) << que;
    EXPECT_FALSE(e.empty()) << que;
  };
  // Cut short anywhere, or any one bit flipped.
  for (size_t n : {size_t{0}, size_t{50}, size_t{99}, size_t{100}, buena.size() - 1}) {
    rechazada(std::vector<uint8_t>(buena.begin(), buena.begin() + static_cast<long>(n)), "truncated");
  }
  for (size_t i = 0; i < buena.size(); i += 7) {
    std::vector<uint8_t> b = buena;
    b[i] ^= static_cast<uint8_t>(1u << (i % 8));
    rechazada(b, "bit flipped");
  }
  // Too big, or a stream that unpacks to far more than it claims.
  rechazada(std::vector<uint8_t>(MAX_BYTES_REPETICION + 1, 0), "oversized");
  repeticion bomba = r;
  bomba.cambios.assign(200000, bomba.cambios.front());
  for (uint32_t i = 0; i < bomba.cambios.size(); ++i) {
    bomba.cambios[i].fotograma = i;
  }
  bomba.cabecera.fotogramas = MAX_FOTOGRAMAS_REPETICION + 1;
  rechazada(codificar_repeticion(bomba), "frame cap");
  // A name or a code with bytes the game never writes there (a NUL would
  // cut the name short when it is written again).
  repeticion rara = r;
  strcpy(rara.cabecera.nombre, "Ana\x01");
  rechazada(codificar_repeticion(rara), "control character in the name");
  rara = r;
  strcpy(rara.cabecera.codigo, "ABC/DEF");
  rechazada(codificar_repeticion(rara), "a code's letter outside its alphabet");

  // Read well, but not playable here or not what it claims.
  const auto no_verifica = [](repeticion x, const char *que) {
    const std::vector<uint8_t> b = codificar_repeticion(x);
    repeticion y;
    std::string e;
    ASSERT_TRUE(decodificar_repeticion(b.data(), b.size(), y, e)) << que << ": " << e;
    const verificacion v = verificar_repeticion(y);
    EXPECT_FALSE(v.valida) << que;
    EXPECT_FALSE(v.motivo.empty()) << que;
  };
  repeticion otra = r;
  otra.cabecera.version_reglas = VERSION_REGLAS + 1;
  no_verifica(otra, "unknown rules version");
  // A check hash that the game does not reach says where the two part.
  ASSERT_GE(r.controles.size(), 2u);
  repeticion desviada = r;
  desviada.controles[1] ^= 1;
  const verificacion d = verificar_repeticion(desviada);
  EXPECT_FALSE(d.valida);
  EXPECT_EQ(d.fotograma_divergente, 2 * FOTOGRAMAS_CONTROL);
  EXPECT_NE(d.motivo.find("between frames 1000 and 2000"), std::string::npos) << d.motivo;
  otra = r;
  otra.cabecera.hash_niveles ^= 1;
  no_verifica(otra, "other levels");
  otra = r;
  otra.cabecera.puntos += 1000;
  no_verifica(otra, "more points than played");
  otra = r;
  otra.cabecera.fotogramas += 100;
  no_verifica(otra, "more frames than played");
  otra = r;
  otra.cabecera.semilla ^= 1;
  no_verifica(otra, "another seed");
}

}  // namespace

namespace {

namespace fs = std::filesystem;

void escribir_fichero(const fs::path &ruta, const std::string &texto)
{
  std::ofstream(ruta, std::ios::binary) << texto;
}

}  // namespace

// The folder of recordings grows with the table, not with the games
// played: a game that scored is linked to its row, the others are kept
// under the time they ended, and of those only the last ten stay; a linked
// one is never deleted however old, nothing but recordings is touched, and
// a folder that cannot be written costs nothing but a message.
TEST_F(Repeticion, LaCarpetaCreceConLaTablaNoConLasPartidas)
{
  carpeta_partida carpeta;
  const fs::path dir = carpeta.ruta / CARPETA_REPETICIONES;
  fs::create_directory(dir);
  const auto hace = [](int segundos) { return fs::file_time_type::clock::now() - std::chrono::seconds(segundos); };
  // Twelve older games linked to nothing, an old row's recording older
  // than them all, and a file of the player's own.
  for (int i = 0; i < 12; ++i) {
    escribir_fichero(dir / ("vieja_" + std::to_string(i) + ".frep"), "x");
    fs::last_write_time(dir / ("vieja_" + std::to_string(i) + ".frep"), hace(1000 - i));
  }
  escribir_fichero(dir / "AAAAAAAAAAAA.frep", "x");
  fs::last_write_time(dir / "AAAAAAAAAAAA.frep", hace(5000));
  escribir_fichero(dir / "notas.txt", "mine");
  leer_pnt();
  strcpy(max_txt[0], "Vieja                 99999");
  max_pnt[0] = 99999;
  strcpy(max_cod[0], "AAAAAAAAAAAA");

  // A game lost with points enters row 1.
  mano_azar m;
  m.azar.seed(11);
  m.a_ganar = 1;
  inicio_partida inicio{};
  inicio.semilla = 5;
  jugar(inicio, m);
  ASSERT_EQ(nucleo.dt_bucle.motivo_fin, fin_sin_vidas);
  const int32_t puntos = nucleo.dt_partida.puntos;
  const int8_t fases = nucleo.dt_partida.fases_superadas;
  snprintf(max_txt[1], sizeof max_txt[1], "%-20s  %6d", "Ana Mu\xF1oz", puntos);
  max_pnt[1] = puntos;
  const int32_t valores[2] = {puntos, fases};
  uuencode_generic(max_cod[1], ID_CODIGO_PUNTUACION, NUM_VALORES_PUNTUACION, valores, BYTES_PUNTUACION);
  // Not this game's score: not linked.
  guardar_repeticion_fila(1, puntos + 10, fases);
  EXPECT_FALSE(fs::exists(dir / (std::string(max_cod[1]) + ".frep")));
  guardar_repeticion_fila(1, puntos, fases);
  repeticion r;
  std::string error;
  ASSERT_TRUE(leer_repeticion((dir / (std::string(max_cod[1]) + ".frep")).string(), r, error)) << error;
  EXPECT_STREQ(r.cabecera.nombre, "Ana Mu\xF1oz");
  EXPECT_STREQ(r.cabecera.codigo, max_cod[1]);
  EXPECT_TRUE(verificar_repeticion(r).valida);
  // Saved once: not again under a time.
  guardar_repeticion_partida();

  // Three games left early, one saved after the other within a second or
  // two: each keeps a file of its own.
  for (int g = 0; g < 3; ++g) {
    mano_azar sale;
    sale.abandona = 40;
    inicio.semilla = static_cast<uint64_t>(g);
    jugar(inicio, sale);
    ASSERT_EQ(nucleo.dt_bucle.motivo_fin, fin_abandono);
    guardar_repeticion_partida();
  }
  std::vector<std::string> quedan;
  for (const auto &f : fs::directory_iterator(dir)) {
    quedan.push_back(f.path().filename().string());
  }
  std::sort(quedan.begin(), quedan.end());
  ASSERT_EQ(quedan.size(), 2 + 10 + 1u);
  // Named by the time the game ended, with _N after it when two ended in
  // the same second.
  const auto fechada = [](const std::string &n) {
    const char *const hora = "[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]_[0-9][0-9]-[0-9][0-9]-[0-9][0-9]";
    return fnmatch((std::string(hora) + ".frep").c_str(), n.c_str(), 0) == 0 ||
           fnmatch((std::string(hora) + "_[0-9]*.frep").c_str(), n.c_str(), 0) == 0;
  };
  EXPECT_EQ(std::count_if(quedan.begin(), quedan.end(), fechada), 3);
  EXPECT_EQ(std::count_if(quedan.begin(), quedan.end(), [](const std::string &n) { return n.rfind("vieja_", 0) == 0; }), 7);
  for (int i = 0; i < 5; ++i) {
    EXPECT_FALSE(fs::exists(dir / ("vieja_" + std::to_string(i) + ".frep"))) << "the oldest went";
  }
  EXPECT_TRUE(fs::exists(dir / "AAAAAAAAAAAA.frep"));
  EXPECT_TRUE(fs::exists(dir / (std::string(max_cod[1]) + ".frep")));
  EXPECT_TRUE(fs::exists(dir / "notas.txt"));

  // No folder can be made there: said, and the table stands.
  fs::remove_all(dir);
  escribir_fichero(dir, "not a folder");
  char tabla[MAX_PUNTUACIONES][LONG_TXT + 1];
  memcpy(tabla, max_txt, sizeof tabla);
  mano_azar sale;
  sale.abandona = 40;
  jugar(inicio, sale);
  testing::internal::CaptureStderr();
  guardar_repeticion_partida();
  const std::string dicho = testing::internal::GetCapturedStderr();
  EXPECT_NE(dicho.find("recording was not saved"), std::string::npos) << dicho;
  EXPECT_EQ(memcmp(tabla, max_txt, sizeof tabla), 0);
  EXPECT_EQ(fs::file_size(dir), 12u);
}

namespace {

// Games recorded by the game's own loop and committed under
// tests/repeticiones/: each must play again to the end it recorded at every
// later commit. A change of the rules that breaks one bumps VERSION_REGLAS
// and keeps the old rules for the old version (docs/repeticion.md).
// FOTONAUTA_GRABAR_DORADAS=FOLDER plays them afresh and writes them there.
struct dorada {
  const char *fichero;
  uint8_t motivo_fin;
  int8_t nivel;       // the first level
  int8_t a_ganar;     // levels won with the solver's plans
  int8_t fases;       // levels completed in all
  int abandona;       // the frame the hand leaves at, 0 never
  uint64_t semilla;
  uint8_t entrenamiento;
};
const dorada DORADAS[] = {
    {"ganada_y_perdida.frep", fin_sin_vidas, 0, 2, 2, 0, 0x5eed0001, 0},
    {"desde_el_21.frep", fin_sin_vidas, 20, 1, 1, 0, 0x5eed0021, 0},
    {"abandonada.frep", fin_abandono, 0, 0, 0, 600, 0x5eed0003, 0},
    {"entrenamiento.frep", fin_abandono, PRIMER_NIVEL_ENTRENAMIENTO, 1, 1, 2500, 0x5eed0060, 1},
};

}  // namespace

TEST_F(Repeticion, LasGrabacionesGuardadasSiguenJugandoseIgual)
{
  const char *nuevas = getenv("FOTONAUTA_GRABAR_DORADAS");
  for (const dorada &d : DORADAS) {
    const std::string ruta = std::string(nuevas != nullptr ? nuevas : FOTONAUTA_FUENTES_DIR "/tests/repeticiones") +
                             "/" + d.fichero;
    if (nuevas != nullptr) {
      mano_azar m;
      m.azar.seed(static_cast<unsigned>(d.semilla));
      m.a_ganar = d.a_ganar;
      m.abandona = d.abandona;
      inicio_partida inicio{};
      inicio.semilla = d.semilla;
      inicio.nivel = d.nivel;
      inicio.entrenamiento = d.entrenamiento;
      jugar(inicio, m);
      cabecera_repeticion &c = partida_grabada.cabecera;
      c.fecha = static_cast<int64_t>(time(nullptr));
      if (c.motivo_fin == fin_sin_vidas) {
        // As name entry leaves a row's recording.
        strcpy(c.nombre, "Ana Mu\xF1oz");
        const int32_t valores[2] = {c.puntos, c.fases};
        uuencode_generic(c.codigo, ID_CODIGO_PUNTUACION, NUM_VALORES_PUNTUACION, valores, BYTES_PUNTUACION);
      }
      std::string error;
      ASSERT_TRUE(guardar_repeticion(ruta, partida_grabada, error)) << error;
    }
    repeticion r;
    std::string error;
    ASSERT_TRUE(leer_repeticion(ruta, r, error)) << error;
    const verificacion v = verificar_repeticion(r);
    EXPECT_TRUE(v.valida) << d.fichero << ": " << v.motivo;
    EXPECT_EQ(v.motivo_fin, d.motivo_fin) << d.fichero;
    EXPECT_EQ(r.cabecera.nivel, d.nivel) << d.fichero;
    EXPECT_EQ(v.fases, d.fases) << d.fichero;
    EXPECT_EQ(r.cabecera.banderas, d.entrenamiento ? REPETICION_ENTRENAMIENTO : 0) << d.fichero;
  }
}
