// The rules every level keeps, which the level tool, the editor and the
// game's `--niveles` all check; and the levels that replace stored ones.
#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <filesystem>

#include "nucleo/nucleo.h"

// Levels read from files in place of the stored ones; null where the
// stored level plays.
const nivel_texto *nivel_sustituto[NUM_NIVELES];

namespace {

constexpr int NUM_PAREJAS_FOPTICA = 4;

// Level bytes, by range; everything outside these never occurs.
constexpr uint8_t B_EMISOR = 2, B_EMISOR_ULTIMO = 5;
constexpr uint8_t B_RECEPTOR = 10, B_RECEPTOR_ULTIMO = 13;
constexpr uint8_t B_ESPEJO = 16;
constexpr uint8_t B_MURO = 31, B_MURO_ULTIMO = 46;
constexpr uint8_t B_DETONADOR = 47;
constexpr uint8_t B_MURO_REFLECTANTE = 47, B_MURO_REFLECTANTE_ULTIMO = 62;
constexpr uint8_t B_FOPTICA = 81, B_FOPTICA_ULTIMO = 84;
constexpr uint8_t B_MAXIMO = 117;

// Quarters of a wall's mask: the halves that lie across a beam going up
// or down (top, bottom) and across one going left or right (left, right).
constexpr uint8_t MITAD_ARRIBA = 0x3, MITAD_ABAJO = 0xc, MITAD_IZQUIERDA = 0x9, MITAD_DERECHA = 0x6;

std::string formato(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

std::string formato(const char *fmt, ...)
{
  char texto[256];
  va_list args;
  va_start(args, fmt);
  vsnprintf(texto, sizeof texto, fmt, args);
  va_end(args);
  return texto;
}

bool byte_valido(uint8_t b)
{
  return (b >= B_EMISOR && b <= B_EMISOR_ULTIMO) || (b >= B_RECEPTOR && b <= B_RECEPTOR_ULTIMO) ||
         (b >= B_ESPEJO && b <= B_MAXIMO);
}

// Whether a gremlin has a free 2 x 2 square of blocks to enter by, on the
// board as the game loads it.
bool hay_entrada_gremlin(const uint8_t *bytes)
{
  cargar_tablero(bytes, -1);
  auto libre = [](int bx, int by) {
    return obtener_optica(static_cast<uint8_t>(bx), static_cast<uint8_t>(by), MODO_GREMLIN) == optica_pasa;
  };
  for (int by = 0; by <= BLOQUES_Y - 2; ++by) {
    for (int bx = 0; bx <= BLOQUES_X - 2; ++bx) {
      if (libre(bx, by) && libre(bx + 1, by) && libre(bx, by + 1) && libre(bx + 1, by + 1)) {
        return true;
      }
    }
  }
  return false;
}

// The receiver's gate is the cell in front of its opening. Until every
// target is gone it must keep the beam out: a wall with a whole half
// across the way in.
void comprobar_puerta(const uint8_t *bytes, int receptor, std::vector<problema_nivel> &problemas)
{
  const int lado = bytes[receptor] - B_RECEPTOR;
  const int columna = receptor % COLUMNAS, fila = receptor / COLUMNAS;
  const int dx[4] = {0, -1, 0, 1}, dy[4] = {1, 0, -1, 0};
  const int x = columna + dx[lado], y = fila + dy[lado];
  if (x < 0 || x >= COLUMNAS || y < 0 || y >= FILAS) {
    problemas.push_back({receptor, "the receiver opens off the board", true});
    return;
  }
  const int puerta = y * COLUMNAS + x;
  const uint8_t b = bytes[puerta];
  int mascara = 0;
  if (b > B_MURO && b <= B_MURO_ULTIMO) {
    mascara = b - B_MURO;
  } else if (b > B_MURO_REFLECTANTE && b <= B_MURO_REFLECTANTE_ULTIMO) {
    mascara = b - B_MURO_REFLECTANTE;
  }
  const bool vertical = lado == 0 || lado == 2;
  const uint8_t a = vertical ? MITAD_ARRIBA : MITAD_IZQUIERDA;
  const uint8_t z = vertical ? MITAD_ABAJO : MITAD_DERECHA;
  if ((mascara & a) != a && (mascara & z) != z) {
    problemas.push_back({puerta, formato("the receiver's gate does not stop the beam: it needs a wall across "
                                         "the way in (%s)", vertical ? "a3 or ac" : "a9 or a6"),
                          true});
  }
}

}  // namespace

std::vector<problema_nivel> comprobar_nivel(const uint8_t *bytes, int n_gremlins)
{
  std::vector<problema_nivel> problemas;
  std::vector<int> emisores, receptores, parejas[NUM_PAREJAS_FOPTICA];
  int detonadores = 0;

  for (int c = 0; c < NUM_CELDAS; ++c) {
    const uint8_t b = bytes[c];
    if (!byte_valido(b)) {
      problemas.push_back({c, formato("byte %d is not a level element", b)});
    } else if (b <= B_EMISOR_ULTIMO) {
      emisores.push_back(c);
    } else if (b <= B_RECEPTOR_ULTIMO) {
      receptores.push_back(c);
    } else if (b == B_DETONADOR) {
      ++detonadores;
    } else if (b >= B_FOPTICA && b <= B_FOPTICA_ULTIMO) {
      parejas[b - B_FOPTICA].push_back(c);
      // The loader marks a pair's first end by its cell, and 0 means none.
      if (c == 0) {
        problemas.push_back({c, "a fibre-optic end at " + nombre_celda(0) + ", which cannot hold one"});
      }
    }
  }

  auto uno_solo = [&problemas](const std::vector<int> &celdas, const char *nombre) {
    if (celdas.empty()) {
      problemas.push_back({-1, formato("no %s", nombre)});
    }
    for (size_t i = 1; i < celdas.size(); ++i) {
      problemas.push_back(
          {celdas[i], formato("another %s (the first is at %s)", nombre, nombre_celda(celdas[0]).c_str())});
    }
  };
  uno_solo(emisores, "emitter");
  uno_solo(receptores, "receiver");
  if (!receptores.empty()) {
    comprobar_puerta(bytes, receptores[0], problemas);
  }

  for (int p = 0; p < NUM_PAREJAS_FOPTICA; ++p) {
    const std::vector<int> &celdas = parejas[p];
    if (!celdas.empty() && celdas.size() != 2) {
      std::string donde;
      for (int c : celdas) {
        donde += (donde.empty() ? "" : "; ") + nombre_celda(c);
      }
      // Every end is marked, so the editor shows each one.
      for (int c : celdas) {
        problemas.push_back({c, formato("fibre-optic pair %d appears %zu %s (at %s)", p, celdas.size(),
                                        celdas.size() == 1 ? "time" : "times", donde.c_str())});
      }
    }
  }

  if (detonadores < MIN_DETONADORES) {
    problemas.push_back({-1, formato("%d targets, at least %d needed", detonadores, MIN_DETONADORES)});
  }

  if (n_gremlins > 0 && !hay_entrada_gremlin(bytes)) {
    problemas.push_back({-1, formato("no free 2 x 2 block square for its %d gremlins to enter", n_gremlins)});
  }
  return problemas;
}

bool hay_niveles_sustitutos()
{
  for (const nivel_texto *n : nivel_sustituto) {
    if (n != nullptr) {
      return true;
    }
  }
  return false;
}

int gremlins_nivel(int nivel)
{
  if (nivel < 0 || nivel >= NUM_NIVELES) {
    return 0;
  }
  const nivel_texto *n = nivel_sustituto[nivel];
  return n != nullptr && n->gremlins >= 0 ? n->gremlins : gremlins[nivel];
}

std::vector<std::pair<int, nivel_texto>> leer_carpeta_niveles(const std::string &carpeta,
                                                              std::vector<std::string> &errores,
                                                              std::vector<std::string> &ignorados)
{
  std::vector<std::pair<int, nivel_texto>> niveles;
  std::error_code ec;
  if (!std::filesystem::is_directory(carpeta, ec)) {
    errores.push_back(carpeta + ": not a folder");
    return niveles;
  }
  // A file the author meant as a level but named otherwise ("5.txt",
  // "75.txt") would quietly not play: every file left out is named.
  for (std::filesystem::directory_iterator i(carpeta, ec), fin; !ec && i != fin; i.increment(ec)) {
    const std::string nombre = i->path().filename().string();
    const bool jugado = nombre.size() == 6 && nombre.compare(2, 4, ".txt") == 0 && isdigit(static_cast<unsigned char>(nombre[0])) &&
                        isdigit(static_cast<unsigned char>(nombre[1])) && std::stoi(nombre.substr(0, 2)) < NUM_NIVELES;
    if (!jugado && nombre[0] != '.' && !i->is_directory(ec)) {
      ignorados.push_back(i->path().string());
    }
  }
  std::sort(ignorados.begin(), ignorados.end());
  for (int n = 0; n < NUM_NIVELES; ++n) {
    char nombre[8];
    snprintf(nombre, sizeof nombre, "%02d.txt", n);
    const std::string ruta = (std::filesystem::path(carpeta) / nombre).string();
    if (!std::filesystem::exists(ruta, ec)) {
      continue;
    }
    nivel_texto nivel;
    std::string error;
    if (!leer_nivel_texto(ruta, nivel, error)) {
      errores.push_back(error);
      continue;
    }
    const int g = nivel.gremlins >= 0 ? nivel.gremlins : gremlins[n];
    const std::vector<problema_nivel> problemas = comprobar_nivel(nivel.bytes, g);
    for (const problema_nivel &p : problemas) {
      errores.push_back(p.celda < 0 ? ruta + ": " + p.texto : ruta + ": " + nombre_celda(p.celda) + ": " + p.texto);
    }
    if (problemas.empty()) {
      niveles.emplace_back(n, nivel);
    }
  }
  return niveles;
}
