// The recordings of the games played, kept in repeticiones/ beside the
// high-score table: a game whose score entered the table under the code of
// its row, any other under the time it ended; and no more of the others
// than the last few, so the folder grows with the table.
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "fotonauta/fotonauta.h"
#include "juego/juego.h"
#include "repeticion/repeticion.h"

namespace {

// Recordings linked to no row that the folder keeps.
constexpr size_t REPETICIONES_SUELTAS = 10;

// The recordings the table's rows link to.
std::vector<std::string> repeticiones_enlazadas()
{
  std::vector<std::string> nombres;
  for (int fila = 0; fila < MAX_PUNTUACIONES && max_pnt[fila] != 0; ++fila) {
    const std::string nombre = nombre_repeticion_fila(max_cod[fila]);
    if (!nombre.empty()) {
      nombres.push_back(nombre);
    }
  }
  return nombres;
}

// A recording that cannot be written costs the player nothing else: the
// game and the table go on as they are.
void escribir(const std::string &nombre, int64_t fecha)
{
  partida_grabada.cabecera.fecha = fecha;
  std::string error;
  if (!guardar_en_carpeta(CARPETA_REPETICIONES, nombre, partida_grabada, error)) {
    fprintf(stderr, "fotonauta: the game's recording was not saved: %s\n", error.c_str());
    return;
  }
  podar_repeticiones(CARPETA_REPETICIONES, repeticiones_enlazadas(), REPETICIONES_SUELTAS);
}

// A game of the stored levels that ended: one a replay can play again.
bool hay_partida_grabada()
{
  const cabecera_repeticion &c = partida_grabada.cabecera;
  return c.fotogramas != 0 && c.motivo_fin != jugando && (c.banderas & REPETICION_SUELTO) == 0 &&
         !hay_niveles_sustitutos();
}

}  // namespace

void guardar_repeticion_fila(int fila, int32_t puntos, int8_t fases)
{
  cabecera_repeticion &c = partida_grabada.cabecera;
  const std::string nombre = nombre_repeticion_fila(max_cod[fila]);
  // Only the game that scored the row proves it.
  if (nombre.empty() || !hay_partida_grabada() || c.banderas != 0 || c.puntos != puntos || c.fases != fases ||
      (c.motivo_fin != fin_sin_vidas && c.motivo_fin != fin_completado)) {
    return;
  }
  size_t largo = LONG_NOMBRE;
  while (largo > 0 && max_txt[fila][largo - 1] == ' ') {
    --largo;
  }
  memcpy(c.nombre, max_txt[fila], largo);
  c.nombre[largo] = '\0';
  memcpy(c.codigo, max_cod[fila], LONG_COD);
  c.codigo[LONG_COD] = '\0';
  escribir(nombre, static_cast<int64_t>(time(nullptr)));
}

void guardar_repeticion_partida()
{
  if (hay_partida_grabada() && partida_grabada.cabecera.codigo[0] == '\0') {
    const int64_t fecha = static_cast<int64_t>(time(nullptr));
    escribir(nombre_repeticion_suelta(CARPETA_REPETICIONES, fecha), fecha);
  }
}

bool nombre_ultima_fila(char *nombre)
{
  if (max_pnt[0] == 0) {
    return false;
  }
  // The rows keep no date; their recordings do.
  int ultima = 0;
  int64_t fecha_ultima = -1;
  for (int fila = 0; fila < MAX_PUNTUACIONES && max_pnt[fila] != 0; ++fila) {
    const std::string archivo = nombre_repeticion_fila(max_cod[fila]);
    repeticion r;
    std::string error;
    if (!archivo.empty() && leer_repeticion(std::string(CARPETA_REPETICIONES) + "/" + archivo, r, error) &&
        r.cabecera.fecha > fecha_ultima) {
      ultima = fila;
      fecha_ultima = r.cabecera.fecha;
    }
  }
  size_t largo = LONG_NOMBRE;
  while (largo > 0 && max_txt[ultima][largo - 1] == ' ') {
    --largo;
  }
  memcpy(nombre, max_txt[ultima], largo);
  nombre[largo] = '\0';
  return largo > 0;
}
