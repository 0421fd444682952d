// The high-score file, name entry on the on-screen keyboard, and the score
// code.
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "puntuaciones_comun.h"

namespace {

void escribir_fichero(const std::string &contenido)
{
  std::ofstream("pnt.txt", std::ios::binary) << contenido;
}

std::string leer_fichero(const char *nombre = "pnt.txt")
{
  std::ifstream f(nombre, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), {}};
}

std::string registro(const std::string &nombre, const std::string &puntos, const std::string &codigo)
{
  std::string linea = nombre;
  linea.resize(LONG_TXT - puntos.size(), ' ');
  return "#" + linea + puntos + " " + codigo + "\r\n";
}

int filas_llenas()
{
  int n = 0;
  while (n < MAX_PUNTUACIONES && max_pnt[n] != 0) {
    ++n;
  }
  return n;
}

}  // namespace

TEST_F(Puntuaciones, ElLectorToleraFicherosRaros)
{
  escribir_fichero("");
  leer_pnt();
  EXPECT_EQ(filas_llenas(), 0);

  escribir_fichero("no records here\r\n");
  leer_pnt();
  EXPECT_EQ(filas_llenas(), 0);

  // Stray bytes between records, rows out of order, a truncated last one.
  escribir_fichero(registro("Ana", "300", "AAAAAAAAAAAA") + "\r\n\r\nxx" + registro("Bea", "900", "BBBBBBBBBBBB") +
                   registro("Caro", "50", "CCCCCCCCCCCC").substr(0, 34));
  leer_pnt();
  ASSERT_EQ(filas_llenas(), 3);
  EXPECT_EQ(max_pnt[0], 300);
  EXPECT_EQ(max_pnt[1], 900);
  EXPECT_EQ(std::string(max_cod[1]), "BBBBBBBBBBBB");
  EXPECT_EQ(max_pnt[2], 50);
  EXPECT_EQ(std::string(max_cod[2]), "CCCC");
  EXPECT_EQ(max_txt[2][LONG_TXT], '\0');

  // Ten records: the tenth is not read.
  std::string diez;
  for (int k = 0; k < 10; ++k) {
    diez += registro("N" + std::to_string(k), std::to_string(1000 - k), "ABCDEFGHIJKL");
  }
  escribir_fichero(diez);
  leer_pnt();
  EXPECT_EQ(filas_llenas(), 9);
  EXPECT_EQ(max_pnt[8], 992);

  // A table that was there is emptied when the file goes.
  std::filesystem::remove("pnt.txt");
  leer_pnt();
  EXPECT_EQ(filas_llenas(), 0);
}

TEST_F(Puntuaciones, ElEscritorDejaRegistrosDe44BytesYNuncaPierdeLaTabla)
{
  poner_fila(0, "Ana", 1234567, "Ab+@0123xyzQ");
  EXPECT_EQ(escribir_pnt(), 0);
  const std::string una = leer_fichero();
  EXPECT_EQ(una, registro("Ana", "234567", "Ab+@0123xyzQ"));
  EXPECT_EQ(una.size(), 44u);
  EXPECT_FALSE(std::filesystem::exists("pnt.txt.tmp"));

  // Read back, the points are what the line shows.
  leer_pnt();
  EXPECT_EQ(max_pnt[0], 234567);
  EXPECT_EQ(std::string(max_cod[0]), "Ab+@0123xyzQ");

  // When the new file cannot be made, the old one stays as it was.
  poner_fila(1, "Bea", 10);
  std::filesystem::create_directory("pnt.txt.tmp");
  EXPECT_NE(escribir_pnt(), 0);
  EXPECT_EQ(leer_fichero(), una);
  std::filesystem::remove("pnt.txt.tmp");
  EXPECT_EQ(escribir_pnt(), 0);
  EXPECT_EQ(leer_fichero().size(), 88u);
}

// Types keys on the name-entry keyboard, then closes the table shown after.
class Teclado : public Puntuaciones {
 protected:
  static int8_t tecla(char c)
  {
    if (c == ' ') {
      return 2;
    }
    for (int j = 0; j < NUM_LETRAS; ++j) {
      if (textoletras[2 * j] == c) {
        return static_cast<int8_t>(3 + j);
      }
    }
    ADD_FAILURE() << "no key for " << c;
    return -1;
  }
  static constexpr int8_t BORRAR = 0;
  static constexpr int8_t FIN = 1;

  void entrar(int32_t puntos, const std::vector<int8_t> &teclas, int8_t fases = 3)
  {
    std::vector<int8_t> cola = teclas;
    cola.push_back(FIN);
    size_t siguiente = 0;
    int paso = 0;
    tabla_vista = false;
    arnes_guion(
        [&](int) {
          if (dialogo_vivo() == DLG_RECORDS) {
            if (!tabla_vista) {
              paso = 0;
              tabla_vista = true;
            }
            clic(DLG_RECORDS, 1, paso++ % 2);
          } else if (dialogo_vivo() == DLG_TECLADO && siguiente < cola.size()) {
            // Over the key, pressed, released: a press that starts off the
            // key does not count.
            clic(DLG_TECLADO, cola[siguiente], paso % 3 == 1 ? 0 : 1);
            if (paso++ % 3 == 2) {
              ++siguiente;
            }
          }
        },
        2000);
    introducir_puntuacion(puntos, fases);
  }
  std::vector<int8_t> texto(const char *s)
  {
    std::vector<int8_t> v;
    for (; *s != '\0'; ++s) {
      v.push_back(tecla(*s));
    }
    return v;
  }

  bool tabla_vista = false;
};

TEST_F(Teclado, LasMayusculasVanAlPrincipioYTrasUnBlanco)
{
  entrar(700, texto("xy z"));
  EXPECT_TRUE(tabla_vista);
  EXPECT_EQ(std::string(max_txt[0]), "Xy Z                     700");
  EXPECT_EQ(max_pnt[0], 700);

  entrar(800, texto(" \xF1" "a7"));
  EXPECT_EQ(std::string(max_txt[0]).substr(0, 4), " \xD1" "a7");
  // Both rows are in the file, best first.
  leer_pnt();
  EXPECT_EQ(max_pnt[0], 800);
  EXPECT_EQ(max_pnt[1], 700);
}

TEST_F(Teclado, BorrarYElLimiteDeVeinte)
{
  std::vector<int8_t> teclas = {BORRAR, BORRAR};
  for (int k = 0; k < 21; ++k) {
    teclas.push_back(tecla('a'));
  }
  teclas.push_back(BORRAR);
  teclas.push_back(tecla('b'));
  entrar(1234567, teclas);
  EXPECT_EQ(std::string(max_txt[0]), "Aaaaaaaaaaaaaaaaaaab  234567");
  EXPECT_EQ(max_pnt[0], 1234567);
}

TEST_F(Teclado, UnNombreVacioNoGuardaNada)
{
  poner_fila(0, "Ana", 300);
  ASSERT_EQ(escribir_pnt(), 0);
  const std::string antes = leer_fichero();
  struct stat st_antes {};
  stat("pnt.txt", &st_antes);

  entrar(900, {tecla('q'), BORRAR});
  EXPECT_FALSE(tabla_vista);
  EXPECT_EQ(filas_llenas(), 1);
  EXPECT_EQ(leer_fichero(), antes);
  struct stat st_despues {};
  stat("pnt.txt", &st_despues);
  EXPECT_EQ(st_antes.st_ino, st_despues.st_ino);
}

TEST_F(Teclado, ElSitioEnLaTabla)
{
  for (int k = 0; k < MAX_PUNTUACIONES; ++k) {
    poner_fila(k, ("N" + std::to_string(k)).c_str(), 900 - 50 * k);
  }
  ASSERT_EQ(max_pnt[8], 500);
  // 500 does not beat the last row: no screen at all.
  entrar(500, texto("no"));
  EXPECT_EQ(arnes_fotogramas(), 0);
  EXPECT_EQ(std::string(max_txt[8]).substr(0, 2), "N8");

  entrar(501, texto("si"));
  EXPECT_EQ(std::string(max_txt[8]).substr(0, 2), "Si");
  EXPECT_EQ(max_pnt[8], 501);
  EXPECT_EQ(max_pnt[7], 550);

  // Equal points go below the older entry; the rows below move down.
  leer_pnt();
  poner_fila(0, "A", 900, "AAAAAAAAAAAA");
  poner_fila(1, "B", 800, "BBBBBBBBBBBB");
  for (int k = 2; k < MAX_PUNTUACIONES; ++k) {
    max_pnt[k] = 0;
  }
  poner_fila(2, "C", 100, "CCCCCCCCCCCC");
  entrar(800, texto("d"));
  EXPECT_EQ(max_txt[1][0], 'B');
  EXPECT_EQ(max_txt[2][0], 'D');
  EXPECT_EQ(max_pnt[3], 100);
  EXPECT_EQ(std::string(max_cod[3]), "CCCCCCCCCCCC");
}

TEST_F(Teclado, ElCodigoGuardaPuntosYFasesOMarcaLaTrampa)
{
  entrar(0x123456, texto("ana"), 17);
  const std::string codigo = max_cod[0];
  ASSERT_EQ(codigo.size(), 12u);
  const codigo_abierto c = leer_codigo(codigo);
  ASSERT_EQ(c.bytes.size(), 8u);
  EXPECT_TRUE(c.suma_correcta);
  EXPECT_EQ((c.bytes[2] << 8) | c.bytes[3], 81);
  EXPECT_EQ((c.bytes[4] << 16) | (c.bytes[5] << 8) | c.bytes[6], 0x123456);
  EXPECT_EQ(c.bytes[7], 17);
  // The time stamp is now's low 16 bits (give or take a second).
  const int ahora = static_cast<int>(time(nullptr) & 0xFFFF);
  EXPECT_LE(((ahora - ((c.bytes[0] << 8) | c.bytes[1])) & 0xFFFF), 2);

  nucleo.trampeando[0] = 0;
  entrar(0x123457, texto("eva"), 17);
  EXPECT_EQ(std::string(max_cod[0]), " q7zupamo3ex");
  leer_pnt();
  EXPECT_EQ(std::string(max_cod[0]), " q7zupamo3ex");
  EXPECT_EQ(std::string(max_cod[1]), codigo);
}

TEST_F(Puntuaciones, LaTablaMarcaLaFilaNuevaYEsconderEnviarSiEstaVacia)
{
  int ocultos = 0;
  int marcas = 0;
  auto contar = [&](int n) {
    if (n == 0) {
      for (int i = 0; i < botones_usados; ++i) {
        ocultos += boton[i].dialogo == DLG_RECORDS && boton[i].indice == 0 && boton[i].estado == BOTON_OCULTO;
      }
      arnes_captura(max_pnt[0] == 0 ? "puntuaciones_vacia" : "puntuaciones_tabla");
    }
    // The marker of row 1 is hidden for the first 19 frames, then shown.
    if (n == 5 || n == 25) {
      int tinta = 0;
      for (int y = 112; y < 150; ++y) {
        for (int x = 32; x < 60; ++x) {
          tinta += getpixel(buffer, x, y) != 0;
        }
      }
      marcas += (n == 25) == (tinta > 10);
    }
    if (n == 25 && max_pnt[0] != 0) {
      arnes_captura("puntuaciones_marca");
    }
    if (n < 30) {
      arnes_raton(0, 0, 0);
    } else {
      clic(DLG_RECORDS, 1, n % 3 == 1 ? 0 : 1);
    }
  };
  arnes_guion(contar, 200);
  puntuaciones(1);
  EXPECT_EQ(ocultos, 1);
  EXPECT_EQ(marcas, 1);  // no marker below highlight 10

  poner_fila(0, "Ana", 300);
  poner_fila(1, "Bea", 200);
  ocultos = 0;
  arnes_guion(contar, 200);
  marcas = 0;
  puntuaciones(11);
  EXPECT_EQ(ocultos, 0);
  EXPECT_EQ(marcas, 2);
  EXPECT_GT(arnes_fotogramas(), 30);
}

TEST(CodigoPuntuacion, LargosYLecturaDeVuelta)
{
  char salida[41];
  const int32_t tres_uno[] = {3, 1};
  const int32_t valores[] = {-1, 300};
  uuencode_generic(salida, 81, 2, valores, tres_uno);
  EXPECT_EQ(std::string(salida).size(), 12u);
  codigo_abierto c = leer_codigo(salida);
  ASSERT_EQ(c.bytes.size(), 8u);
  EXPECT_TRUE(c.suma_correcta);
  // The low bytes of each value, most significant first.
  EXPECT_EQ(c.bytes[4], 0xFF);
  EXPECT_EQ(c.bytes[6], 0xFF);
  EXPECT_EQ(c.bytes[7], 300 & 0xFF);

  const int32_t uno[] = {1};
  const int32_t v1[] = {0xAB};
  uuencode_generic(salida, 0x1234, 1, v1, uno);
  EXPECT_EQ(std::string(salida).size(), 8u);
  c = leer_codigo(salida);
  ASSERT_EQ(c.bytes.size(), 5u);
  EXPECT_TRUE(c.suma_correcta);
  EXPECT_EQ(c.bytes[2], 0x12);
  EXPECT_EQ(c.bytes[3], 0x34);
  EXPECT_EQ(c.bytes[4], 0xAB);

  const int32_t dos[] = {2};
  const int32_t v2[] = {0xBEEF};
  uuencode_generic(salida, 7, 1, v2, dos);
  EXPECT_EQ(std::string(salida).size(), 10u);
  c = leer_codigo(salida);
  ASSERT_EQ(c.bytes.size(), 6u);
  EXPECT_TRUE(c.suma_correcta);
  EXPECT_EQ(c.bytes[4], 0xBE);
  EXPECT_EQ(c.bytes[5], 0xEF);
  EXPECT_TRUE(std::string(salida).find_first_not_of(
                  "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+@") == std::string::npos);
}
