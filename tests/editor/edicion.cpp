// The level editor's edit operations, undo and its grouping, the modified
// mark, and the files it keeps: its library alone, with no Allegro and no
// display.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "editor/editor.h"

namespace {

// A level from rows of tokens, the rest floor.
nivel_texto nivel_de(std::initializer_list<const char *> filas)
{
  nivel_texto n = nivel_vacio();
  int f = 0;
  for (const char *fila : filas) {
    for (int c = 0; fila[3 * c] != '\0'; ++c) {
      n.bytes[f * COLUMNAS + c] = static_cast<uint8_t>(byte_de_ficha(std::string(fila + 3 * c, 2)));
      if (fila[3 * c + 2] == '\0') {
        break;
      }
    }
    ++f;
  }
  return n;
}

std::string fila(const nivel_texto &n, int f, int desde = 0, int cuantas = COLUMNAS)
{
  std::string t;
  for (int c = desde; c < desde + cuantas; ++c) {
    t += (t.empty() ? "" : " ") + ficha_de_byte(n.bytes[f * COLUMNAS + c]);
  }
  return t;
}

std::string deshecho(documento &d)
{
  frase que;
  return deshacer(d, que) ? que.en : "nothing";
}

TEST(Editor, GirarRecorreLasVariantesDeCadaElementoSinSalirDeEl)
{
  for (int b = 0; b < 256; ++b) {
    const uint8_t byte = static_cast<uint8_t>(b);
    int v = 0;
    const int e = elemento_de_byte(byte, &v);
    ASSERT_EQ(e < 0, ficha_de_byte(byte) == "??") << b;
    if (e < 0) {
      continue;
    }
    const int n = ELEMENTOS[e].variantes - ELEMENTOS[e].minimo;
    uint8_t g = byte;
    for (int k = 1; k <= n; ++k) {
      g = girar_byte(g, 1);
      ASSERT_EQ(elemento_de_byte(g), e) << b;
      ASSERT_EQ(g == byte, k == n) << b << " after " << k;
    }
    EXPECT_EQ(girar_byte(girar_byte(byte, -1), 1), byte);
    // A flip keeps the element, and twice the same flip is no flip.
    for (const bool h : {true, false}) {
      EXPECT_EQ(elemento_de_byte(voltear_byte(byte, h)), e) << b;
      EXPECT_EQ(voltear_byte(voltear_byte(byte, h), h), byte) << b;
    }
  }
  // The wall's masks run 1 to f: no empty wall.
  EXPECT_EQ(ficha_de_byte(girar_byte(static_cast<uint8_t>(byte_de_ficha("af")), 1)), "a1");
  EXPECT_EQ(ficha_de_byte(girar_byte(static_cast<uint8_t>(byte_de_ficha("E0")), -1)), "E3");
  // Only plain mirrors start at random.
  EXPECT_TRUE(al_azar_al_empezar(static_cast<uint8_t>(byte_de_ficha("m4"))));
  EXPECT_FALSE(al_azar_al_empezar(static_cast<uint8_t>(byte_de_ficha("g4"))));
  EXPECT_EQ(describir_byte(static_cast<uint8_t>(byte_de_ficha("a9")), false), "Absorbing wall: top left, bottom left");
  EXPECT_EQ(describir_byte(static_cast<uint8_t>(byte_de_ficha("R1")), false), "Receiver, opening left");
}

TEST(Editor, VoltearUnaRegionOElTableroConSusAngulos)
{
  documento d;
  const nivel_texto n = nivel_de({"E3 m1 a3 p2 R0 f1 .. g5 r9",
                                  ".. tt .. .. .. .. .. .. .."});
  empezar_documento(d, n, "", n);
  // Left to right within a region of the first row's first four cells:
  // the emitter now opens left, the mirror's and polariser's angles are
  // mirrored, the wall's top half stays on top.
  voltear(d, {0, 0, 4, 1}, true);
  EXPECT_EQ(fila(d.nivel, 0), "p6 a3 mf E1 R0 f1 .. g5 r9 .. .. .. .. .. ..");
  // Top to bottom over the whole board: the first row goes to the last,
  // the receiver opens up, a left-hand wall stays left-hand.
  voltear(d, TABLERO_ENTERO, false);
  EXPECT_EQ(fila(d.nivel, 8), "p2 ac m1 E1 R2 f1 .. gb r9 .. .. .. .. .. ..");
  EXPECT_EQ(fila(d.nivel, 7), ".. tt .. .. .. .. .. .. .. .. .. .. .. .. ..");
  EXPECT_EQ(fila(d.nivel, 0), ".. .. .. .. .. .. .. .. .. .. .. .. .. .. ..");
  // Each flip one step, named.
  EXPECT_EQ(deshecho(d), "flip top to bottom");
  EXPECT_EQ(deshecho(d), "flip left to right");
  EXPECT_TRUE(niveles_iguales(d.nivel, n));
  EXPECT_FALSE(modificado(d));
}

TEST(Editor, CortarCopiarPegarMoverYRellenarSonUnPasoCadaUno)
{
  documento d;
  const nivel_texto n = nivel_de({"E3 tt tt", ".. m4 xx"});
  empezar_documento(d, n, "", n);
  const rectangulo r = rectangulo_entre(1 + COLUMNAS * 1, 0);  // the two rows' first two cells
  EXPECT_EQ(r.columna, 0);
  EXPECT_EQ(r.ancho, 2);
  EXPECT_EQ(r.alto, 2);
  const recorte p = copiar(d.nivel, r);
  ASSERT_EQ(p.bytes.size(), 4u);
  // Pasted at the right edge: what falls off the board is left out.
  const rectangulo pegado = pegar(d, p, COLUMNAS - 1, 7);
  EXPECT_EQ(pegado.ancho, 1);
  EXPECT_EQ(pegado.alto, 2);
  EXPECT_EQ(fila(d.nivel, 7, 13, 2), ".. E3");
  EXPECT_EQ(fila(d.nivel, 8, 13, 2), ".. ..");
  // Cut: copied, then cleared.
  rellenar(d, r, ELEMENTOS[ELEMENTO_SUELO].primero, {"cortar", "cut"});
  EXPECT_EQ(fila(d.nivel, 0, 0, 3), ".. .. tt");
  // Fill a rectangle with targets.
  rellenar(d, {3, 3, 3, 2}, ELEMENTOS[ELEMENTO_DETONADOR].primero, {"rellenar", "fill"});
  EXPECT_EQ(fila(d.nivel, 4, 2, 5), ".. tt tt tt ..");
  // Moved by the arrow keys in a burst: one step; pushed against the
  // board's edge it stops there.
  rectangulo m = mover(d, {3, 3, 3, 2}, 1, 0, GRUPO_MOVER, 1000);
  m = mover(d, m, 20, 0, GRUPO_MOVER, 1200);
  EXPECT_EQ(m.columna, COLUMNAS - 3);
  EXPECT_EQ(fila(d.nivel, 3, 9, 6), ".. .. .. tt tt tt");
  m = mover(d, m, 0, 1, GRUPO_MOVER, 1000 + PLAZO_GIROS_MS + 500);
  EXPECT_EQ(fila(d.nivel, 5, 12, 3), "tt tt tt");
  EXPECT_EQ(deshecho(d), "move");
  EXPECT_EQ(fila(d.nivel, 3, 12, 3), "tt tt tt");
  EXPECT_EQ(deshecho(d), "move");
  EXPECT_EQ(deshecho(d), "fill");
  EXPECT_EQ(deshecho(d), "cut");
  EXPECT_EQ(deshecho(d), "paste");
  EXPECT_TRUE(niveles_iguales(d.nivel, n));
  EXPECT_EQ(deshecho(d), "nothing");
}

TEST(Editor, UnTrazoYUnaRafagaDeGirosSonUnPasoCadaUno)
{
  documento d;
  empezar_documento(d, nivel_vacio(), "", nivel_vacio());
  const uint8_t blanco = ELEMENTOS[ELEMENTO_DETONADOR].primero;
  // A stroke over three frames, the last a quick drag crossing four cells.
  const uint32_t trazo = nuevo_grupo(d);
  pintar_linea(d, 16, 16, blanco, trazo);
  pintar_linea(d, 16, 17, blanco, trazo);
  pintar_linea(d, 17, 21, blanco, trazo);
  EXPECT_EQ(fila(d.nivel, 1, 0, 7), ".. tt tt tt tt tt tt");
  // Another stroke is another step.
  pintar_linea(d, 30, 30, blanco, nuevo_grupo(d));
  // Turns of one cell in a burst, then one after a pause.
  const uint8_t espejo = byte_de_elemento(ELEMENTO_ESPEJO, 0);
  pintar_linea(d, 40, 40, espejo, nuevo_grupo(d));
  for (int k = 0; k < 5; ++k) {
    girar_celda(d, 40, 1, 100 * k);
  }
  EXPECT_EQ(ficha_de_byte(d.nivel.bytes[40]), "m5");
  girar_celda(d, 40, 1, 400 + PLAZO_GIROS_MS + 1);
  // A later burst that turns it all the way round leaves no step at all.
  for (int k = 0; k < 16; ++k) {
    girar_celda(d, 40, 1, 5000 + 10 * k);
  }
  EXPECT_EQ(ficha_de_byte(d.nivel.bytes[40]), "m6");
  EXPECT_EQ(d.deshacer.size(), 5u);

  EXPECT_EQ(deshecho(d), "turn Mirror");
  EXPECT_EQ(ficha_de_byte(d.nivel.bytes[40]), "m5");
  EXPECT_EQ(deshecho(d), "turn Mirror");
  EXPECT_EQ(ficha_de_byte(d.nivel.bytes[40]), "m0");
  EXPECT_EQ(deshecho(d), "paint Mirror");
  EXPECT_EQ(deshecho(d), "paint Target");
  EXPECT_EQ(d.nivel.bytes[30], ELEMENTOS[ELEMENTO_SUELO].primero);
  EXPECT_EQ(deshecho(d), "paint Target");
  EXPECT_TRUE(niveles_iguales(d.nivel, nivel_vacio()));
  // Redone, and a change after an undo is a step of its own, even of the
  // same group, and forgets what was undone.
  frase que;
  ASSERT_TRUE(rehacer(d, que));
  EXPECT_EQ(que.es, "pintar Detonador");
  pintar_linea(d, 16, 16, ELEMENTOS[ELEMENTO_SUELO].primero, trazo);
  EXPECT_FALSE(rehacer(d, que));
  EXPECT_EQ(deshecho(d), "clear");
  EXPECT_EQ(fila(d.nivel, 1, 0, 3), ".. tt tt");

  // Many steps, all undone and redone exactly.
  documento largo;
  empezar_documento(largo, nivel_vacio(), "", nivel_vacio());
  for (int k = 0; k < 300; ++k) {
    poner_celda(largo, k % NUM_CELDAS, static_cast<uint8_t>(47 + (k / NUM_CELDAS) * 33), SIN_GRUPO, {"", ""});
  }
  const nivel_texto lleno = largo.nivel;
  int pasos = 0;
  while (deshacer(largo, que)) {
    ++pasos;
  }
  EXPECT_EQ(pasos, 300);
  EXPECT_TRUE(niveles_iguales(largo.nivel, nivel_vacio()));
  while (rehacer(largo, que)) {
  }
  EXPECT_TRUE(niveles_iguales(largo.nivel, lleno));
}

TEST(Editor, LaMarcaDeModificadoComparaConElNivelGuardado)
{
  documento d;
  nivel_texto guardado = nivel_de({"E3 tt"});
  guardado.titulo = "A\xF1o";
  empezar_documento(d, guardado, "/x/00.txt", guardado);
  EXPECT_FALSE(modificado(d));
  girar_celda(d, 0, 1, 0);
  EXPECT_TRUE(modificado(d));
  frase que;
  ASSERT_TRUE(deshacer(d, que));
  EXPECT_FALSE(modificado(d));
  ASSERT_TRUE(rehacer(d, que));
  cambiar_textos(d, "Otro", "");
  marcar_guardado(d);
  EXPECT_FALSE(modificado(d));
  // Back past the save: modified again.
  ASSERT_TRUE(deshacer(d, que));
  EXPECT_EQ(que.en, "change the title and idea");
  EXPECT_TRUE(modificado(d));
  // A wall's quarter toggled away and back is where it began.
  documento m;
  const nivel_texto con_muro = nivel_de({"a9 r1"});
  empezar_documento(m, con_muro, "", con_muro);
  EXPECT_TRUE(alternar_cuarto(m, 0, ELEMENTO_MURO, CUARTO_ARRIBA_DERECHA));
  EXPECT_EQ(ficha_de_byte(m.nivel.bytes[0]), "ab");
  EXPECT_TRUE(alternar_cuarto(m, 0, ELEMENTO_MURO, cuarto_en(LADO_CELDA - 1, 0)));
  EXPECT_FALSE(modificado(m));
  // The last quarter taken leaves floor; another kind of wall is not
  // toggled.
  EXPECT_FALSE(alternar_cuarto(m, 1, ELEMENTO_MURO, CUARTO_ARRIBA_IZQUIERDA));
  EXPECT_TRUE(alternar_cuarto(m, 1, ELEMENTO_MURO_REFLECTANTE, CUARTO_ARRIBA_IZQUIERDA));
  EXPECT_EQ(ficha_de_byte(m.nivel.bytes[1]), "..");
  EXPECT_FALSE(alternar_cuarto(m, 1, ELEMENTO_MURO_REFLECTANTE, CUARTO_ARRIBA_IZQUIERDA));
  // A gremlin count out of range changes nothing.
  cambiar_gremlins(m, MAX_GREMLINS_NIVEL + 1);
  EXPECT_EQ(m.nivel.gremlins, 0);
}

// A folder of its own for one test, removed afterwards, standing in for
// every XDG folder.
struct carpeta_temporal {
  std::filesystem::path ruta;
  carpeta_temporal()
  {
    char plantilla[] = "/tmp/fotonauta-editor-XXXXXX";
    ruta = mkdtemp(plantilla);
    setenv("XDG_DATA_HOME", (ruta / "datos").c_str(), 1);
    setenv("XDG_STATE_HOME", (ruta / "estado").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (ruta / "ajustes").c_str(), 1);
  }
  ~carpeta_temporal() { std::filesystem::remove_all(ruta); }
};

TEST(Editor, NombresDeNivelesCopiaDeRecuperacionEIdioma)
{
  carpeta_temporal t;
  const std::string carpeta = carpeta_niveles_usuario();
  ASSERT_EQ(carpeta, (t.ruta / "datos" / "fotonauta" / "niveles").string());
  EXPECT_EQ(nombre_de_numero(1), "00.txt");
  EXPECT_EQ(numero_de_nombre("62.txt"), 63);
  EXPECT_EQ(numero_de_nombre("63.txt"), -1);
  EXPECT_EQ(numero_de_nombre("5.txt"), -1);
  std::ofstream(std::filesystem::path(carpeta) / "00.txt") << "titulo: roto\n";
  EXPECT_EQ(primer_nombre_libre(carpeta), "01.txt");
  const std::vector<fichero_nivel> lista = leer_ficheros_niveles(carpeta);
  ASSERT_EQ(lista.size(), 1u);
  EXPECT_FALSE(lista[0].legible);
  EXPECT_NE(lista[0].error.find("line 2"), std::string::npos) << lista[0].error;

  // A copy left by an editor still running (this process) is not offered;
  // one whose editor is gone is, the newest first.
  const std::string copias = carpeta_recuperacion();
  documento d;
  nivel_texto n = nivel_vacio();
  n.titulo = "Perdido";
  empezar_documento(d, n, carpeta + "/00.txt", nivel_vacio());
  ASSERT_TRUE(guardar_recuperacion(copias, getpid(), d));
  recuperacion r;
  EXPECT_FALSE(buscar_recuperacion(copias, r));
  // A process that has ended: its number is free for now.
  const pid_t hijo = fork();
  if (hijo == 0) {
    _exit(0);
  }
  ASSERT_GT(hijo, 0);
  int estado = 0;
  waitpid(hijo, &estado, 0);
  ASSERT_TRUE(guardar_recuperacion(copias, hijo, d));
  ASSERT_TRUE(buscar_recuperacion(copias, r));
  EXPECT_EQ(r.pid, hijo);
  EXPECT_EQ(r.ruta, carpeta + "/00.txt");
  EXPECT_EQ(r.nivel.titulo, "Perdido");
  borrar_recuperacion(copias, hijo);
  borrar_recuperacion(copias, getpid());
  EXPECT_FALSE(buscar_recuperacion(copias, r));
  EXPECT_TRUE(std::filesystem::is_empty(copias));

  EXPECT_EQ(leer_idioma_editor(), -1);
  ASSERT_TRUE(guardar_idioma_editor(1));
  EXPECT_EQ(leer_idioma_editor(), 1);
  ASSERT_TRUE(guardar_idioma_editor(0));
  EXPECT_EQ(leer_idioma_editor(), 0);
  // The author's name beside it: neither setting loses the other, and the
  // game's letters are UTF-8 in the file.
  EXPECT_EQ(leer_autor_editor(), "");
  ASSERT_TRUE(guardar_autor_editor("Ana Mu\xF1oz"));
  ASSERT_TRUE(guardar_idioma_editor(1));
  EXPECT_EQ(leer_autor_editor(), "Ana Mu\xF1oz");
  EXPECT_EQ(leer_idioma_editor(), 1);
  std::ifstream f(std::filesystem::path(getenv("XDG_CONFIG_HOME")) / "fotonauta" / "editor.cfg");
  std::string texto((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(texto, "firma Ana Mu\xC3\xB1oz\nidioma en\n");
}

TEST(Editor, MensajesEnEspanolYCuentas)
{
  EXPECT_EQ(en_idioma("another emitter (the first is at column 1, row 2)", true),
            "otro emisor (el primero est\xE1 en la columna 1, fila 2)");
  EXPECT_EQ(en_idioma("line 4, column 7: unknown cell \"zz\"", true), "l\xEDnea 4, columna 7: casilla desconocida \"zz\"");
  // Only whole words: "throw" keeps its "row".
  EXPECT_EQ(en_idioma("throw ", true), "throw ");
  EXPECT_EQ(contar(1, {"problema", "problem"}, {"problemas", "problems"}, true), "1 problema");
  EXPECT_EQ(contar(3, {"problema", "problem"}, {"problemas", "problems"}, false), "3 problems");
}

}  // namespace
