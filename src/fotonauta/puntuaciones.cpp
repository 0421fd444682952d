// The high-score table: its file pnt.txt, its screen, and the name entry
// that puts a finished game's score into it.
#include <cstdio>
#include <cstring>

#include "audio/audio.h"
#include "dlg/dlg.h"
#include "fotonauta/fotonauta.h"
#include "juego/juego.h"

char max_txt[MAX_PUNTUACIONES][LONG_TXT + 1];
int32_t max_pnt[MAX_PUNTUACIONES];
char max_cod[MAX_PUNTUACIONES][LONG_COD + 1];

namespace {

const char *const FICHERO_PNT = "pnt.txt";
const char *const FICHERO_PNT_TEMPORAL = "pnt.txt.tmp";

// One record of pnt.txt: "#", the line, a blank, the code, CR LF.
constexpr int LONG_REGISTRO = 1 + LONG_TXT + 1 + LONG_COD + 2;

// The name-entry keys type these: the blank, the digits, the small letters
// and, 32 places further on, the same letters as capitals.
const char CARACTERES[] =
    " 0123456789"
    "a\xE1"
    "bcde\xE9"
    "fghi\xED"
    "jklmn\xF1o\xF3pqrstu\xFAvwxyz"
    "A\xC1"
    "BCDE\xC9"
    "FGHI\xCD"
    "JKLMN\xD1O\xD3PQRSTU\xDAVWXYZ";
static_assert(sizeof CARACTERES == 76);
constexpr int DESPLAZAMIENTO_MAYUSCULAS = 32;
constexpr int PRIMERA_MAYUSCULA = 43;

constexpr int8_t TECLA_BORRAR = 0;
constexpr int8_t TECLA_FIN = 1;

constexpr int8_t BOTON_ENVIAR = 0;
constexpr int8_t RESALTE_MINIMO = 10;

// Blinking markers: 20 frames one way, 20 the other.
constexpr int8_t PERIODO_PARPADEO = 40;
constexpr int8_t MEDIO_PARPADEO = 20;
constexpr int8_t NOMBRE_TERMINADO = -1;

constexpr int X_CENTRO = ANCHO_PANTALLA / 2;
constexpr int Y_PRIMERA_FILA = 48;
constexpr int ALTO_FILA = 64;

// The last column of the points and the column left of their first digit.
constexpr int COLUMNA_UNIDADES = LONG_TXT - 1;
constexpr int COLUMNA_ANTES_PUNTOS = 21;

void texto_centrado(const char *texto, int y)
{
  textout_centre_ex(buffer, fuente_texto(), texto, X_CENTRO, y, -1, -1);
}

// Points of a display line: the digits right-aligned in columns 22 to 27,
// taken as they are.
int32_t puntos_de_linea(const char *linea)
{
  int32_t total = 0;
  int32_t peso = 1;
  for (int col = COLUMNA_UNIDADES; col > LONG_NOMBRE && linea[col] != ' '; --col) {
    total += (static_cast<uint8_t>(linea[col]) - '0') * peso;
    peso *= 10;
  }
  return total;
}

void leer_bytes(PACKFILE *f, char *destino, int n)
{
  // A short read at the end of the file leaves the rest as it was (zero).
  pack_fread(destino, n, f);
}

bool fila_vacia(int fila) { return max_pnt[fila] == 0; }

}  // namespace

void leer_pnt()
{
  PACKFILE *f = pack_fopen(FICHERO_PNT, F_READ);
  std::memset(max_txt, 0, sizeof max_txt);
  std::memset(max_pnt, 0, sizeof max_pnt);
  std::memset(max_cod, 0, sizeof max_cod);
  if (f == nullptr) {
    return;
  }
  int fila = 0;
  while (fila < MAX_PUNTUACIONES) {
    const int c = pack_getc(f);
    if (c == EOF) {
      break;
    }
    if (c != '#') {
      continue;
    }
    leer_bytes(f, max_txt[fila], LONG_TXT);
    max_pnt[fila] = puntos_de_linea(max_txt[fila]);
    pack_getc(f);
    leer_bytes(f, max_cod[fila], LONG_COD);
    ++fila;
  }
  pack_fclose(f);
}

int8_t escribir_pnt()
{
  // The new table goes to a file beside the old one, which is replaced only
  // once the new one is complete: a full disk or a crash mid-write must not
  // cost the player the scores already there.
  FILE *f = std::fopen(FICHERO_PNT_TEMPORAL, "wb");
  if (f == nullptr) {
    return -1;
  }
  bool bien = true;
  for (int fila = 0; fila < MAX_PUNTUACIONES && !fila_vacia(fila); ++fila) {
    char registro[LONG_REGISTRO];
    registro[0] = '#';
    std::memcpy(&registro[1], max_txt[fila], LONG_TXT);
    registro[1 + LONG_TXT] = ' ';
    std::memcpy(&registro[2 + LONG_TXT], max_cod[fila], LONG_COD);
    registro[LONG_REGISTRO - 2] = '\r';
    registro[LONG_REGISTRO - 1] = '\n';
    bien = bien && std::fwrite(registro, 1, LONG_REGISTRO, f) == LONG_REGISTRO;
  }
  bien = std::fflush(f) == 0 && bien;
  bien = std::fclose(f) == 0 && bien;
  if (!bien || std::rename(FICHERO_PNT_TEMPORAL, FICHERO_PNT) != 0) {
    std::remove(FICHERO_PNT_TEMPORAL);
    return -1;
  }
  return 0;
}

int8_t puntuaciones(int8_t resaltar)
{
  if (fila_vacia(0)) {
    dlg_ocultar_boton(DLG_RECORDS, BOTON_ENVIAR);
  } else {
    dlg_mostrar_boton(DLG_RECORDS, BOTON_ENVIAR);
  }
  dlg_apilar_dialogo(DLG_RECORDS);
  convertir_base();
  int8_t parpadeo = 0;
  int32_t r = DLG_NADA;
  while (r == DLG_NADA) {
    reproducir_musica(0);
    show_mouse(nullptr);
    mover_fondo(0);
    if (fila_vacia(0)) {
      texto_centrado(idioma == IDIOMA_ESPANOL ? "\xA1" "a\xFAn no hay puntuaciones!" : "no hiscores yet!", 160);
    } else {
      for (int fila = 0; fila < MAX_PUNTUACIONES && !fila_vacia(fila); ++fila) {
        texto_centrado(max_txt[fila], Y_PRIMERA_FILA + ALTO_FILA * fila);
      }
      if (resaltar >= RESALTE_MINIMO) {
        parpadeo = static_cast<int8_t>((parpadeo + 1) % PERIODO_PARPADEO);
        if (parpadeo >= MEDIO_PARPADEO) {
          textout_ex(buffer, fuente_texto(), ">", 32, Y_PRIMERA_FILA + ALTO_FILA * (resaltar - RESALTE_MINIMO),
                     -1, -1);
        }
      }
    }
    dibujar_suelo();
    r = dlg_comprobar(buffer);
    paso_fotograma_con_puntero();
  }
  dlg_desapilar_dialogo();
  return DLG_NADA;
}

int8_t pedir_nombre(const char *titulo, char *nombre)
{
  std::memset(nombre, 0, LONG_TXT + 1);
  int8_t n = 0;
  int8_t parpadeo = 0;
  const auto borrar = [&] {
    if (n > 0) {
      nombre[n] = '\0';
      --n;
    }
  };
  const auto escribir = [&](char c) {
    if (n < LONG_NOMBRE) {
      nombre[n] = c;
      ++n;
    }
  };
  show_mouse(nullptr);
  dlg_apilar_dialogo(DLG_TECLADO);
  convertir_base();
  dibujar_suelo();
  // Keys typed before this screen (in the game) are not part of the name.
  clear_keybuf();
  while (parpadeo != NOMBRE_TERMINADO) {
    reproducir_musica(0);
    show_mouse(nullptr);
    mover_fondo(0);
    texto_centrado(titulo, 64);
    const int32_t k = dlg_comprobar(buffer);
    if (k == TECLA_BORRAR) {
      borrar();
    } else if (k == TECLA_FIN) {
      parpadeo = NOMBRE_TERMINADO;
    } else if (k > TECLA_FIN && k < 2 + PRIMERA_MAYUSCULA) {
      int posicion = k - 2;
      const bool letra = posicion > 10;
      if (letra && (n == 0 || nombre[n - 1] == ' ')) {
        posicion += DESPLAZAMIENTO_MAYUSCULAS;
      }
      escribir(CARACTERES[posicion]);
    }
    // The keyboard types too: a character of the keys' alphabet as it is
    // typed (its case the player's), Backspace deletes, Enter finishes.
    while (keypressed() && parpadeo != NOMBRE_TERMINADO) {
      int tecla = 0;
      const int c = ureadkey(&tecla);
      if (tecla == KEY_BACKSPACE) {
        borrar();
      } else if (tecla == KEY_ENTER || tecla == KEY_ENTER_PAD) {
        parpadeo = NOMBRE_TERMINADO;
      } else if (c > 0 && c < 0x100 && std::strchr(CARACTERES, c) != nullptr) {
        escribir(static_cast<char>(c));
      }
    }
    if (n < LONG_NOMBRE && parpadeo != NOMBRE_TERMINADO) {
      parpadeo = static_cast<int8_t>((parpadeo + 1) % PERIODO_PARPADEO);
      nombre[n] = parpadeo < MEDIO_PARPADEO ? '_' : ' ';
    }
    texto_centrado(nombre, 512);
    paso_fotograma_con_puntero();
  }
  dlg_desapilar_dialogo();
  nombre[n] = '\0';
  return n;
}

void introducir_puntuacion(int32_t puntos, int8_t fases)
{
  int fila = 0;
  while (fila < MAX_PUNTUACIONES && max_pnt[fila] >= puntos) {
    ++fila;
  }
  if (fila == MAX_PUNTUACIONES) {
    return;
  }

  char nombre[LONG_TXT + 1] = {};
  const int8_t n = pedir_nombre(idioma == IDIOMA_ESPANOL ? "bien hecho, escribe tu nombre" : "well done, write your name!",
                                nombre);
  if (n == 0) {
    return;
  }

  for (int col = n; col < LONG_TXT; ++col) {
    nombre[col] = ' ';
  }
  nombre[LONG_TXT] = '\0';
  int32_t resto = puntos;
  for (int col = COLUMNA_UNIDADES; col > COLUMNA_ANTES_PUNTOS && resto > 0; --col) {
    nombre[col] = static_cast<char>('0' + resto % 10);
    resto /= 10;
  }

  char codigo[21] = {};
  for (int f = MAX_PUNTUACIONES - 1; f > fila; --f) {
    std::memcpy(max_txt[f], max_txt[f - 1], sizeof max_txt[f]);
    max_pnt[f] = max_pnt[f - 1];
    std::memcpy(max_cod[f], max_cod[f - 1], sizeof max_cod[f]);
  }
  std::memcpy(max_txt[fila], nombre, sizeof max_txt[fila]);
  max_pnt[fila] = puntos;
  if (nucleo.trampeando[0] == 0) {
    std::memcpy(codigo, CODIGO_TRAMPA, LONG_COD);
  } else {
    const int32_t valores[2] = {puntos, fases};
    uuencode_generic(codigo, ID_CODIGO_PUNTUACION, NUM_VALORES_PUNTUACION, valores, BYTES_PUNTUACION);
  }
  std::memcpy(max_cod[fila], codigo, LONG_COD);
  max_cod[fila][LONG_COD] = '\0';

  // A table that could not be saved stays in memory for this run.
  escribir_pnt();
  // Before the table shows, so an upload from there finds it.
  guardar_repeticion_fila(fila, puntos, fases);
  puntuaciones(static_cast<int8_t>(RESALTE_MINIMO + fila));
}
