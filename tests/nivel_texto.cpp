// Level files: the one reader and writer of the level text that the build,
// the level tool, the editor and `--niveles` share; the level rules.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "arnes/tablero.h"
#include "fichero_nivel/fichero_nivel.h"
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"

namespace {

std::string leer_todo(const std::filesystem::path &ruta)
{
  std::ifstream f(ruta, std::ios::binary);
  std::ostringstream t;
  t << f.rdbuf();
  return t.str();
}

void escribir_todo(const std::filesystem::path &ruta, const std::string &texto)
{
  std::ofstream(ruta, std::ios::binary) << texto;
}

// A folder of its own for one test, removed afterwards.
struct carpeta_temporal {
  std::filesystem::path ruta;
  carpeta_temporal()
  {
    char plantilla[] = "/tmp/fotonauta-niveles-XXXXXX";
    ruta = mkdtemp(plantilla);
  }
  ~carpeta_temporal() { std::filesystem::remove_all(ruta); }
};

// A small level that keeps every rule: a row of targets from the emitter to
// a mirror, down to another, and across the gate into the receiver.
std::string nivel_valido(const char *gremlins = "")
{
  std::string t = std::string("titulo: Fila\nidea: Nueve en fila.\n") + gremlins;
  t += ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..\n"
       "E3 tt tt tt tt tt tt tt tt tt m4 .. .. .. ..\n";
  for (int f = 2; f < 5; ++f) {
    t += ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..\n";
  }
  t += ".. .. .. .. .. .. .. .. .. .. mc a9 R1 .. ..\n";
  for (int f = 6; f < FILAS; ++f) {
    t += ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..\n";
  }
  return t;
}

TEST(NivelTexto, LosNivelesGuardadosSeLeenYSeReescribenIgual)
{
  for (int n = 0; n < NUM_NIVELES; ++n) {
    char nombre[8];
    snprintf(nombre, sizeof nombre, "%02d.txt", n);
    const std::filesystem::path ruta = std::filesystem::path(FOTONAUTA_FUENTES_DIR) / "datos" / "niveles" / nombre;
    nivel_texto nivel;
    std::string error;
    ASSERT_TRUE(leer_nivel_texto(ruta.string(), nivel, error)) << error;
    // What the game was built with, and the very text of the file.
    EXPECT_EQ(memcmp(nivel.bytes, &objeto[n * NUM_CELDAS], NUM_CELDAS), 0) << nombre;
    EXPECT_EQ(nivel.gremlins, -1) << nombre;
    EXPECT_EQ(escribir_nivel_texto(nivel), leer_todo(ruta)) << nombre;
  }
}

TEST(NivelTexto, UnNivelEscritoSeLeeIgualConSusGremlinsYSinSaltosDeLinea)
{
  nivel_texto nivel;
  std::string error;
  ASSERT_TRUE(interpretar_nivel_texto(nivel_valido("gremlins: 3\n"), nivel, error)) << error;
  EXPECT_EQ(nivel.gremlins, 3);
  EXPECT_EQ(nivel.titulo, "Fila");
  // Every element the format knows, once each, in a row-major sweep.
  for (int b = 0, c = 0; b < 256 && c < NUM_CELDAS; ++b) {
    if (ficha_de_byte(static_cast<uint8_t>(b)) != "??") {
      nivel.bytes[c++] = static_cast<uint8_t>(b);
    }
  }
  // A title typed with a line break in it cannot break the file.
  nivel.titulo = "dos\nl\xEDneas\r";
  nivel.idea = "  con blancos delante";
  nivel_texto leido;
  ASSERT_TRUE(interpretar_nivel_texto(escribir_nivel_texto(nivel), leido, error)) << error;
  EXPECT_EQ(leido.titulo, "dos l\xEDneas ");
  EXPECT_EQ(leido.idea, "con blancos delante");
  EXPECT_EQ(leido.gremlins, 3);
  EXPECT_EQ(memcmp(leido.bytes, nivel.bytes, NUM_CELDAS), 0);
}

TEST(NivelTexto, LosFicherosSonUtf8YLosAntiguosEnIso88591SeLeenAun)
{
  // "Año ñandú" in UTF-8, as a text editor writes it today: read into the
  // fonts' ISO 8859-1, and written back byte for byte.
  const std::string utf8 = "titulo: A\xC3\xB1o \xC3\xB1" "and\xC3\xBA\nidea: \xC2\xBF" "Qu\xC3\xA9" "?\n";
  const std::string filas = nivel_valido().substr(nivel_valido().find('\n', nivel_valido().find("idea:")) + 1);
  nivel_texto nivel;
  std::string error;
  ASSERT_TRUE(interpretar_nivel_texto(utf8 + filas, nivel, error)) << error;
  EXPECT_EQ(nivel.titulo, "A\xF1o \xF1" "and\xFA");
  EXPECT_EQ(nivel.idea, "\xBF" "Qu\xE9" "?");
  EXPECT_EQ(escribir_nivel_texto(nivel), utf8 + filas);
  // With a byte-order mark first, the same.
  ASSERT_TRUE(interpretar_nivel_texto("\xEF\xBB\xBF" + utf8 + filas, nivel, error)) << error;
  EXPECT_EQ(nivel.titulo, "A\xF1o \xF1" "and\xFA");

  // A file of before, in ISO 8859-1, still opens, and is saved as UTF-8.
  ASSERT_TRUE(interpretar_nivel_texto("titulo: A\xF1o\nidea: \xBF" "Qu\xE9" "?\n" + filas, nivel, error)) << error;
  EXPECT_EQ(nivel.titulo, "A\xF1o");
  EXPECT_EQ(escribir_nivel_texto(nivel).substr(0, 13), "titulo: A\xC3\xB1o\n");

  // A character the game's fonts cannot draw is refused where it stands.
  const struct {
    std::string cabecera;
    const char *error;
  } malos[] = {
      {"titulo: Nivel \xE4\xB8\xAD\nidea: x\n", "line 1, column 15: the character U+4E2D cannot be shown in the game's fonts"},
      {"titulo: x\nidea: 5 \xE2\x82\xAC\n", "line 2, column 9: the character U+20AC cannot be shown"},
      {"titulo: con\ttab\nidea: x\n", "line 1, column 12: the character U+0009 cannot be shown"},
  };
  for (const auto &m : malos) {
    EXPECT_FALSE(interpretar_nivel_texto(m.cabecera + filas, nivel, error)) << m.error;
    EXPECT_EQ(error.rfind(m.error, 0), 0u) << error;
  }
}

TEST(NivelTexto, UnFicheroMalFormadoDiceLineaYColumna)
{
  const std::string bueno = nivel_valido();
  auto con_linea = [&bueno](int linea, const std::string &texto) {
    std::istringstream f(bueno);
    std::string t, l;
    for (int n = 1; std::getline(f, l); ++n) {
      t += (n == linea ? texto : l) + "\n";
    }
    return t;
  };
  const struct {
    std::string texto;
    const char *donde;
  } casos[] = {
      {con_linea(4, "E3 tt zz tt tt tt tt tt tt tt m4 .. .. .. .."), "line 4, column 7: unknown cell \"zz\""},
      {con_linea(1, "title: Fila"), "line 1, column 1: expected"},
      {con_linea(2, "titulo: otra vez"), "line 2, column 1: expected"},
      {con_linea(5, ".. .. .."), "line 5, column 9: a row holds 15 cells, this one 3"},
      {con_linea(3, "gremlins: 9"), "line 3, column 11: the gremlin count"},
      {bueno + ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..\n", "line 12, column 1: more than 135 cells"},
      {bueno.substr(0, bueno.size() - 45), "line 11, column 1: 120 cells instead of 135"},
  };
  for (const auto &c : casos) {
    nivel_texto nivel;
    std::string error;
    EXPECT_FALSE(interpretar_nivel_texto(c.texto, nivel, error)) << c.donde;
    EXPECT_NE(error.find(c.donde), std::string::npos) << error;
  }
}

TEST(NivelTexto, GuardarSustituyeElFicheroEnteroONoLoToca)
{
  carpeta_temporal d;
  const std::filesystem::path ruta = d.ruta / "00.txt";
  escribir_todo(ruta, "lo de antes\n");
  nivel_texto nivel;
  std::string error;
  ASSERT_TRUE(interpretar_nivel_texto(nivel_valido(), nivel, error)) << error;
  ASSERT_TRUE(guardar_nivel_texto(ruta.string(), nivel, error)) << error;
  EXPECT_EQ(leer_todo(ruta), escribir_nivel_texto(nivel));
  // Where the new file cannot be made, the old one stays whole.
  std::filesystem::permissions(d.ruta, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  nivel.titulo = "otro";
  const bool guardado = guardar_nivel_texto(ruta.string(), nivel, error);
  std::filesystem::permissions(d.ruta, std::filesystem::perms::owner_all);
  if (geteuid() != 0) {
    EXPECT_FALSE(guardado);
    EXPECT_NE(leer_todo(ruta).find("titulo: Fila"), std::string::npos);
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(d.ruta), std::filesystem::directory_iterator()), 1);
}

// The problems of a board, as "cell: text" (cell -1 for the whole level).
std::vector<std::string> problemas(std::initializer_list<const char *> filas, int gremlins = 0)
{
  const std::vector<uint8_t> bytes = bytes_tablero(filas);
  std::vector<std::string> r;
  for (const problema_nivel &p : comprobar_nivel(bytes.data(), gremlins)) {
    r.push_back(std::to_string(p.celda) + ": " + p.texto);
  }
  return r;
}

TEST(ReglasNivel, CadaProblemaConSuCelda)
{
  const char *nueve = "tt tt tt tt tt tt tt tt tt";
  EXPECT_EQ(problemas({nueve, "E3 .. .. a9 R1"}), std::vector<std::string>{});
  // The gate must lie across the way in: a wall's half across a horizontal
  // beam is its left or right half; a top half does not stop it.
  EXPECT_EQ(problemas({nueve, "E3 .. .. a6 R1"}), std::vector<std::string>{});
  EXPECT_EQ(problemas({nueve, "E3 .. .. a3 R1"}),
            std::vector<std::string>{"18: the receiver's gate does not stop the beam: it needs a wall across the way in (a9 or a6)"});
  EXPECT_EQ(problemas({nueve, "E3 .. .. .. .. .. .. .. .. .. .. .. .. .. ..", "ac", "R2"}),
            std::vector<std::string>{});
  EXPECT_EQ(problemas({"R1 tt tt tt tt tt tt tt tt tt E3"}),
            std::vector<std::string>{"0: the receiver opens off the board"});
  // Every end of a broken fibre pair is marked; the count of targets and
  // the missing emitter concern the whole level.
  EXPECT_EQ(problemas({"tt tt tt", "f2 f2 f2 a9 R1"}),
            (std::vector<std::string>{
                "-1: no emitter",
                "15: fibre-optic pair 2 appears 3 times (at column 1, row 2; column 2, row 2; column 3, row 2)",
                "16: fibre-optic pair 2 appears 3 times (at column 1, row 2; column 2, row 2; column 3, row 2)",
                "17: fibre-optic pair 2 appears 3 times (at column 1, row 2; column 2, row 2; column 3, row 2)",
                "-1: 3 targets, at least 9 needed"}));
  EXPECT_EQ(problemas({nueve, "E3 .. .. a9 R1 E2"}),
            std::vector<std::string>{"20: another emitter (the first is at column 1, row 2)"});
}

TEST(ReglasNivel, UnaCarpetaDeNivelesSustituyeLosSuyosYNombraLosMalos)
{
  carpeta_temporal d;
  escribir_todo(d.ruta / "00.txt", nivel_valido("gremlins: 2\n"));
  escribir_todo(d.ruta / "07.txt", "titulo: roto\n");
  // Files an author may have meant as levels, but which are not played,
  // are each named; hidden files are nobody's levels.
  for (const char *otro : {"notas.txt", "5.txt", "75.txt", "mi_nivel.txt", ".00.txt.tmp"}) {
    escribir_todo(d.ruta / otro, nivel_valido());
  }
  std::vector<std::string> errores, ignorados;
  const auto niveles = leer_carpeta_niveles(d.ruta.string(), errores, ignorados);
  ASSERT_EQ(errores.size(), 1u);
  EXPECT_NE(errores[0].find("07.txt: line 2"), std::string::npos) << errores[0];
  EXPECT_EQ(ignorados, (std::vector<std::string>{(d.ruta / "5.txt").string(), (d.ruta / "75.txt").string(),
                                                 (d.ruta / "mi_nivel.txt").string(), (d.ruta / "notas.txt").string()}));
  ASSERT_EQ(niveles.size(), 1u);
  EXPECT_EQ(niveles[0].first, 0);

  // A game started with the folder's levels plays level 0 from the file,
  // with the file's gremlins; one started without plays the stored level.
  const nivel_texto *sustitutos[NUM_NIVELES] = {&niveles[0].second};
  inicio_partida inicio{};
  inicio.sustitutos = sustitutos;
  empezar_partida(inicio);
  EXPECT_EQ(nucleo.est_nivel[15].tipo, emisor);
  EXPECT_EQ(nucleo.est_nivel[87].tipo, receptor);
  EXPECT_EQ(nucleo.dt_gremlin[1].espera, 140);
  EXPECT_EQ(nucleo.dt_gremlin[2].espera, -1);
  inicio.sustitutos = nullptr;
  empezar_partida(inicio);
  EXPECT_EQ(nucleo.est_nivel[108].tipo, emisor);
  EXPECT_EQ(nucleo.dt_gremlin[0].espera, -1);
  EXPECT_EQ(gremlins[0], 0);
}

}  // namespace
