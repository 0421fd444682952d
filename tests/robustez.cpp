// Bad input, faults and limits: data files cut short or of the wrong kind,
// any cfg.dat of up to five bytes, odd and huge pnt.txt files, a full or
// read-only working folder, a display that is busy for a moment, and
// signals that ask the program to end.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "arnes/arnes.h"
#include "arnes/datafile_prueba.h"
#include "audio/audio.h"
#include "cargador/cargador.h"
#include "dlg/dlg.h"
#include "juego/juego.h"
#include "tiempo/tiempo.h"

namespace fs = std::filesystem;

namespace {

std::string leer(const fs::path &ruta)
{
  std::ifstream f(ruta, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

void escribir(const fs::path &ruta, const std::string &bytes)
{
  std::ofstream(ruta, std::ios::binary | std::ios::trunc) << bytes;
}

// The game's screens on the harness, in a scratch folder of their own
// (the harness loads the graphics from the build's data first).
class Robustez : public ::testing::Test {
 protected:
  void SetUp() override
  {
    arnes_iniciar(16);
    ini_juego();
    ini_dialogos();
    convertir_base();
    dlg_reiniciar_raton();
    arnes_raton(0, 0, 0);
    idioma = IDIOMA_INGLES;
    nucleo.trampeando[0] = 1;
    datos = fs::current_path();
    char plantilla[] = "/tmp/fotonauta-robustez-XXXXXX";
    carpeta = mkdtemp(plantilla);
    fs::current_path(carpeta);
  }
  void TearDown() override
  {
    fs::current_path(datos);
    if (montada) {
      umount2(carpeta.c_str(), MNT_DETACH);
    }
    fs::remove_all(carpeta);
    fin_audio();
    modificar_volmus(0);
    modificar_volson(0, -1);
    arnes_terminar();
  }

  void copiar(const char *nombre, const char *como = nullptr)
  {
    fs::copy_file(datos / nombre, carpeta / (como != nullptr ? como : nombre), fs::copy_options::overwrite_existing);
  }

  // Clicks on one button from frame `desde` on, then leaves the mouse free.
  static guion_fotogramas clic_en(int8_t dialogo, int8_t indice, int desde = 1)
  {
    return [=](int n) {
      if (arnes_dialogo_vivo() == dialogo && n >= desde && n < desde + 2) {
        arnes_clic(dialogo, indice, n - desde);
      } else {
        arnes_raton(0, 0, 0);
      }
    };
  }

  fs::path datos, carpeta;
  bool montada = false;
};

// ---------------------------------------------------------------------------
// Data files
// ---------------------------------------------------------------------------

// Every proper prefix of every data file is turned away before the
// library's loader sees it (the loader crashes on most of them), and the
// game goes on: the graphics report the file, music, effects and intro
// stay silent or absent.
TEST_F(Robustez, DatosCortadosEnCualquierPuntoNoSeCargan)
{
  for (const char *nombre : {"grf.dat", "fuentes.dat", "msc.dat", "snd.dat", "intro.dat"}) {
    const std::string entero = leer(datos / nombre);
    ASSERT_GT(entero.size(), 1000u) << nombre;
    std::vector<size_t> largos;
    for (size_t n = 0; n < 64; ++n) {
      largos.push_back(n);
    }
    for (size_t k = 1; k < 48; ++k) {
      largos.push_back(entero.size() * k / 48);
    }
    largos.push_back(entero.size() - 1);
    for (const size_t largo : largos) {
      escribir(nombre, entero.substr(0, largo));
      EXPECT_EQ(cargar_datafile(nombre), nullptr) << nombre << " cut to " << largo;
    }
    escribir(nombre, entero);
    DATAFILE *d = cargar_datafile(nombre);
    EXPECT_NE(d, nullptr) << nombre;
    if (d != nullptr) {
      unload_datafile(d);
    }
    escribir(nombre, entero.substr(0, entero.size() / 2));
  }

  // With all five cut in half: the graphics stop with a message...
  dobles.mensajes.clear();
  testing::internal::CaptureStderr();
  DATAFILE *grf = f_grf, *fnt = f_fnt;
  EXPECT_NE(cargar_graficos(), 0);
  testing::internal::GetCapturedStderr();
  ASSERT_EQ(dobles.mensajes.size(), 1u);
  EXPECT_NE(dobles.mensajes[0].find("\"grf.dat\""), std::string::npos);
  f_grf = grf;
  f_fnt = fnt;
  // ...and the rest plays silently.
  ini_audio();
  modificar_volmus(100);
  modificar_volson(100, -1);
  EXPECT_EQ(f_msc, nullptr);
  EXPECT_EQ(f_audio, nullptr);
  reproducir_musica(MUSICA_MENU);
  EXPECT_EQ(sm, nullptr);
  EXPECT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), -1);
  arnes_guion({}, 0);
  intro();
  EXPECT_EQ(arnes_fotogramas(), 0);
}

TEST_F(Robustez, DatosDeSonidoVaciosODeOtraClaseSeCallan)
{
  // Empty files.
  for (const char *nombre : {"msc.dat", "snd.dat", "intro.dat"}) {
    escribir(nombre, "");
  }
  ini_audio();
  EXPECT_EQ(f_msc, nullptr);
  EXPECT_EQ(f_audio, nullptr);
  arnes_guion({}, 0);
  intro();
  fin_audio();

  // Each file holding another one's objects: samples where music must be,
  // music where samples must be, the pictures where the intro must be.
  copiar("snd.dat", "msc.dat");
  copiar("msc.dat", "snd.dat");
  copiar("grf.dat", "intro.dat");
  ini_audio();
  modificar_volmus(100);
  modificar_volson(100, -1);
  for (int8_t n = 0; n < NUM_MUSICAS; ++n) {
    reproducir_musica(n);
    EXPECT_EQ(sm, nullptr) << int{n};
  }
  for (int8_t n = 0; n < NUM_SONIDOS; ++n) {
    EXPECT_EQ(reproducir_sonido(n, SONIDO_UNA_VEZ), -1) << int{n};
  }
  intro();
  EXPECT_EQ(arnes_fotogramas(), 0);
  fin_audio();

  // Fewer objects than the game asks for: what is there plays, the rest is
  // silence.
  DATAFILE *todos = load_datafile((datos / "snd.dat").c_str());
  ASSERT_NE(todos, nullptr);
  std::vector<objeto_prueba> tres;
  for (int i = 0; i < 3; ++i) {
    const auto *s = static_cast<const SAMPLE *>(todos[i].dat);
    objeto_prueba o;
    o.tipo = "SAMP";
    const uint32_t bytes = s->len * 2;
    o.datos = {0, 16, static_cast<uint8_t>(s->freq >> 8), static_cast<uint8_t>(s->freq),
               static_cast<uint8_t>(s->len >> 24), static_cast<uint8_t>(s->len >> 16),
               static_cast<uint8_t>(s->len >> 8), static_cast<uint8_t>(s->len)};
    const auto *p = static_cast<const uint8_t *>(s->data);
    o.datos.insert(o.datos.end(), p, p + bytes);
    tres.push_back(o);
  }
  unload_datafile(todos);
  ASSERT_TRUE(escribir_datafile_prueba("snd.dat", tres));
  ini_audio();
  modificar_volson(100, -1);
  for (int8_t n = 0; n < NUM_SONIDOS; ++n) {
    const int8_t slot = reproducir_sonido(n, SONIDO_BUCLE);
    EXPECT_EQ(slot >= 0, n < 3) << int{n};
    detener_sonido(slot);
  }
}

// ---------------------------------------------------------------------------
// cfg.dat
// ---------------------------------------------------------------------------

// Any file of up to five bytes, with any byte at any place: the settings
// come out usable (a language the tables have, volumes in percent, a level
// the starting-level choice can offer), and the file is not touched.
TEST_F(Robustez, CualquierCfgDeHastaCincoBytesDaAjustesUsables)
{
  const uint8_t valores[] = {0, 1, 2, 59, 60, 99, 100, 101, 127, 128, 200, 255};
  int casos = 0;
  for (size_t largo = 0; largo <= 5; ++largo) {
    for (size_t sitio = 0; sitio < std::max<size_t>(largo, 1); ++sitio) {
      for (const uint8_t v : valores) {
        std::string bytes(largo, '\x01');
        if (largo > 0) {
          bytes[sitio] = static_cast<char>(v);
        }
        escribir("cfg.dat", bytes);
        arnes_guion({}, 0);  // no question may be asked
        leer_cfg();
        const std::string caso = testing::PrintToString(std::vector<uint8_t>(bytes.begin(), bytes.end()));
        EXPECT_TRUE(idioma == IDIOMA_ESPANOL || idioma == IDIOMA_INGLES) << caso;
        EXPECT_TRUE(volson >= 0 && volson <= 100) << caso;
        EXPECT_TRUE(volmus >= 0 && volmus <= 100) << caso;
        EXPECT_TRUE(ult_fase_completada >= 0 && ult_fase_completada <= 59) << caso;
        EXPECT_EQ(leer("cfg.dat"), bytes) << caso;
        // The starting-level choice offers the last level unlocked.
        arnes_guion(clic_en(DLG_NIVELES, ult_fase_completada), 20);
        EXPECT_EQ(preguntar_nivel(), ult_fase_completada) << caso;
        ++casos;
      }
    }
  }
  EXPECT_EQ(casos, 16 * 12);
}

// ajustes.cfg, beside cfg.dat: whatever it holds, each setting is one the
// game offers, Auto and a window when it says nothing usable; what the
// game writes it reads back.
TEST_F(Robustez, CualquierAjustesCfgDaAjustesUsables)
{
  const struct {
    std::string texto;
    int8_t escala;
    bool completa;
  } casos[] = {
      {"", ESCALA_AUTO, false},
      {"escala 2\npantalla_completa 1\n", 2, true},
      {"escala 3\r\npantalla_completa 1\r\n", 3, true},
      {"escala 1", 1, false},
      // Out of range, malformed or unknown: left at the default.
      {"escala 0\nnueva 1\n", ESCALA_AUTO, false},
      {"escala 4\npantalla_completa 2\n", ESCALA_AUTO, false},
      {"escala 22\nescala -1\nescala\n escala 2\nESCALA 2\nescala  2\n", ESCALA_AUTO, false},
      {std::string("escala 2\0\npantalla_completa 1\n", 30), ESCALA_AUTO, true},
      // The last of two wins; a line past the first 4 KiB is not read.
      {"escala 2\nescala auto\n" + std::string(5000, '#') + "\nescala 3\n", ESCALA_AUTO, false},
  };
  for (const auto &c : casos) {
    escribir("ajustes.cfg", c.texto);
    escala_elegida = 3;
    pantalla_completa = true;
    leer_ajustes();
    EXPECT_EQ(escala_elegida, c.escala) << c.texto;
    EXPECT_EQ(pantalla_completa, c.completa) << c.texto;
    EXPECT_EQ(leer("ajustes.cfg"), c.texto);
    // Written and read back the same, cfg.dat left alone.
    escribir_ajustes();
    escala_elegida = 3;
    pantalla_completa = !c.completa;
    leer_ajustes();
    EXPECT_EQ(escala_elegida, c.escala) << c.texto;
    EXPECT_EQ(pantalla_completa, c.completa) << c.texto;
  }
  EXPECT_FALSE(fs::exists("cfg.dat"));
  // Without the file (a player from before the setting): Auto.
  fs::remove("ajustes.cfg");
  leer_ajustes();
  EXPECT_EQ(escala_elegida, ESCALA_AUTO);
  EXPECT_FALSE(pantalla_completa);
}

// ---------------------------------------------------------------------------
// pnt.txt
// ---------------------------------------------------------------------------

std::string registro(const std::string &nombre, const std::string &puntos, const std::string &codigo)
{
  std::string linea = nombre;
  linea.resize(LONG_TXT - puntos.size(), ' ');
  return "#" + linea + puntos + " " + codigo + "\r\n";
}

TEST_F(Robustez, UnPntDeMegasSeLeeDeprisaYSoloSusNueveFilas)
{
  std::string relleno(8 << 20, 'x');
  for (size_t i = 0; i < relleno.size(); i += 97) {
    relleno[i] = static_cast<char>(i % 251 == 0 ? '\n' : i % 256);
    if (relleno[i] == '#') {
      relleno[i] = '-';
    }
  }
  std::string filas;
  for (int k = 0; k < 12; ++k) {
    filas += registro("N" + std::to_string(k), std::to_string(900 - k), "ABCDEFGHIJKL");
  }
  // Megabytes before the rows, and after them.
  for (const std::string &fichero : {relleno + filas, filas + relleno}) {
    escribir("pnt.txt", fichero);
    const auto antes = std::chrono::steady_clock::now();
    leer_pnt();
    EXPECT_LT(std::chrono::steady_clock::now() - antes, std::chrono::seconds(2));
    EXPECT_EQ(max_pnt[0], 900);
    EXPECT_EQ(max_pnt[8], 892);
    EXPECT_EQ(std::string(max_cod[8]), "ABCDEFGHIJKL");
  }
  // A folder in the file's place: no table.
  fs::remove("pnt.txt");
  fs::create_directory("pnt.txt");
  leer_pnt();
  EXPECT_EQ(max_pnt[0], 0);
}

// Names of any bytes and points of any characters: read, shown and written
// back without a fault; the points are what the characters spell.
TEST_F(Robustez, BytesCualesquieraEnNombresYPuntos)
{
  std::string fichero;
  for (int fila = 0; fila < MAX_PUNTUACIONES; ++fila) {
    std::string nombre;
    for (int c = 0; c < LONG_NOMBRE; ++c) {
      const int b = 1 + (fila * LONG_NOMBRE + c) % 255;
      nombre += static_cast<char>(b == '#' ? '.' : b);
    }
    fichero += registro(nombre, fila == 0 ? "9x9" : fila == 1 ? "!" : std::to_string(800 - fila), "ABCDEFGHIJKL");
  }
  escribir("pnt.txt", fichero);
  leer_pnt();
  EXPECT_EQ(max_pnt[0], 9 + ('x' - '0') * 10 + 900);
  EXPECT_EQ(max_pnt[1], '!' - '0');
  EXPECT_EQ(max_pnt[2], 798);
  int frames = 0;
  arnes_guion(
      [&](int n) {
        frames = n;
        if (n < 30) {
          arnes_raton(0, 0, 0);
        } else {
          arnes_clic(DLG_RECORDS, 1, n - 30);
        }
      },
      40);
  puntuaciones(10);
  EXPECT_GE(frames, 30);
  EXPECT_EQ(escribir_pnt(), 0);
  EXPECT_EQ(leer("pnt.txt"), fichero);
}

// ---------------------------------------------------------------------------
// A full or read-only working folder
// ---------------------------------------------------------------------------

// The folder becomes a tiny file system of its own (root only, in a mount
// namespace of this test's process).
bool montar_tmpfs(const fs::path &carpeta)
{
  if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 ||
      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return false;
  }
  return mount("fotonauta", carpeta.c_str(), "tmpfs", 0, "size=64k") == 0;
}

TEST_F(Robustez, ConLaCarpetaLlenaOSoloDeLecturaNadaGuardadoSePierde)
{
  if (!montar_tmpfs(carpeta)) {
    GTEST_SKIP() << "needs root to mount a small tmpfs";
  }
  montada = true;
  fs::current_path(carpeta);
  escribir("cfg.dat", std::string("\x01\x32\x3c\x03", 4));
  escribir("pnt.txt", registro("Ana", "3000", "AAAAAAAAAAAA") + registro("Bea", "2000", "BBBBBBBBBBBB"));
  const std::string cfg = leer("cfg.dat"), pnt = leer("pnt.txt");
  arnes_guion({}, 0);
  leer_cfg();
  leer_pnt();
  // Fill every last byte.
  {
    std::ofstream relleno("relleno", std::ios::binary);
    const std::string bloque(1024, 'r');
    while (relleno.write(bloque.data(), bloque.size()) && relleno.flush()) {
    }
  }
  {
    std::ofstream relleno("relleno", std::ios::binary | std::ios::app);
    while (relleno.put('r') && relleno.flush()) {
    }
  }

  for (const char *fase : {"full", "read-only"}) {
    // The options screen closes and writes cfg.dat: it cannot, and the
    // old file stays whole.
    volson = 7;
    arnes_guion(clic_en(DLG_OPCIONES, 8), 20);
    EXPECT_EQ(opciones(0), DLG_NADA) << fase;
    EXPECT_EQ(volson, 7) << fase;
    escribir_cfg();
    EXPECT_EQ(leer("cfg.dat"), cfg) << fase;

    // A new high score: entered, shown, kept in memory; pnt.txt as it was.
    int paso = 0;
    arnes_guion(
        [&](int) {
          if (arnes_dialogo_vivo() == DLG_TECLADO) {
            arnes_clic(DLG_TECLADO, paso < 3 ? 3 + 10 : 1, paso % 3 == 1 ? 0 : 1);
          } else {
            arnes_clic(DLG_RECORDS, 1, paso % 2);
          }
          ++paso;
        },
        200);
    introducir_puntuacion(2500, 2);
    EXPECT_EQ(max_pnt[1], 2500) << fase;
    EXPECT_NE(escribir_pnt(), 0) << fase;
    EXPECT_EQ(leer("pnt.txt"), pnt) << fase;
    EXPECT_FALSE(fs::exists("cfg.dat.tmp")) << fase;
    EXPECT_FALSE(fs::exists("pnt.txt.tmp")) << fase;
    leer_pnt();

    ASSERT_EQ(mount(nullptr, carpeta.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, "size=64k"), 0);
  }
}

// ---------------------------------------------------------------------------
// Signals
// ---------------------------------------------------------------------------

// A program started as the game starts, in a scratch folder with the two
// graphic data files.
void arrancar_como_el_juego()
{
  char plantilla[] = "/tmp/fotonauta-senal-XXXXXX";
  const fs::path carpeta = mkdtemp(plantilla);
  fs::current_path(carpeta);
  fs::copy_file(fs::path(FOTONAUTA_DATOS_DIR) / "grf.dat", "grf.dat");
  fs::copy_file(fs::path(FOTONAUTA_DATOS_DIR) / "fuentes.dat", "fuentes.dat");
  reiniciar_dobles();
  dobles.sistema_sin_pantalla = true;
  dobles.simular_gfx = true;
  if (ini_allegro() != 0) {
    std::_Exit(90);
  }
}

class Senales : public ::testing::TestWithParam<int> {};

// The handler only notes the signal (the library's own would shut the
// library down inside the handler and end the process by the signal); the
// next frame step ends the program with 128 + the signal's number.
TEST_P(Senales, SeAnotaYElSiguienteFotogramaTermina)
{
  const int senal = GetParam();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        arrancar_como_el_juego();
        raise(senal);
        if (senal_fin != senal) {
          std::_Exit(91);
        }
        fprintf(stderr, "noted, going on\n");
        paso_fotograma();
        std::_Exit(92);
      },
      ::testing::ExitedWithCode(128 + senal), "noted, going on");
}

INSTANTIATE_TEST_SUITE_P(Cada, Senales, ::testing::Values(SIGTERM, SIGINT, SIGHUP, SIGQUIT),
                         [](const auto &p) { return std::string(sigabbrev_np(p.param)); });

// A main thread that never reaches a frame step (stuck in a name lookup, or
// in the library's shutdown) still ends within a second of the signal, with
// its status.
TEST(SenalesEnEsperas, UnHiloPrincipalAtascadoTerminaEnMenosDeUnSegundo)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const auto inicio = std::chrono::steady_clock::now();
  EXPECT_EXIT(
      {
        arrancar_como_el_juego();
        raise(SIGTERM);
        std::this_thread::sleep_for(std::chrono::seconds(10));
        std::_Exit(96);
      },
      ::testing::ExitedWithCode(128 + SIGTERM), "");
  // Half a second after the signal; the bound leaves room for the test's
  // own re-run of this program on a busy machine, far below the 10 s.
  EXPECT_LT(std::chrono::steady_clock::now() - inicio, std::chrono::seconds(4));

  // Stuck inside exit() with no signal (the library's shutdown, registered
  // before the watch, waiting on a lock): ended after five seconds, with
  // status 1.
  EXPECT_EXIT(
      {
        atexit([] { std::this_thread::sleep_for(std::chrono::seconds(30)); });
        arrancar_como_el_juego();
        std::exit(0);
      },
      ::testing::ExitedWithCode(1), "");
}

// Waits that no frame step ends: the clock standing still, and a fatal
// message about to wait for the player.
TEST(SenalesEnEsperas, ElRelojParadoYElMensajeFatalNoRetienen)
{
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        arrancar_como_el_juego();
        tic_reloj = 0;  // no clock was started: no tick will come
        raise(SIGTERM);
        esperar_tic();
        std::_Exit(92);
      },
      ::testing::ExitedWithCode(128 + SIGTERM), "");
  EXPECT_EXIT(
      {
        arrancar_como_el_juego();
        raise(SIGINT);
        mensaje_fatal("never shown");
        std::_Exit(dobles.mensajes.empty() ? 93 : 94);
      },
      ::testing::ExitedWithCode(128 + SIGINT), "");
  // Once the message box waits, a signal has its default effect.
  EXPECT_EXIT(
      {
        arrancar_como_el_juego();
        mensaje_fatal("shown");
        raise(SIGTERM);
        std::_Exit(95);
      },
      ::testing::KilledBySignal(SIGTERM), "");
}

}  // namespace
