// The player's settings and their files: cfg.dat, four bytes, the language,
// the two volumes and the highest level unlocked; and beside it
// ajustes.cfg, a few lines of text for what came later (the scale, full
// screen, the Trainer's tip given), so cfg.dat keeps its layout.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>

#include "pantalla/pantalla.h"

int8_t idioma;
int8_t volson;
int8_t volmus;
int8_t ult_fase_completada;
int8_t escala_elegida = ESCALA_AUTO;
bool pantalla_completa = false;
bool entrenador_sugerido = false;

namespace {

const char FICHERO_CFG[] = "cfg.dat";
const char FICHERO_CFG_TEMPORAL[] = "cfg.dat.tmp";
const char FICHERO_AJUSTES[] = "ajustes.cfg";
const char FICHERO_AJUSTES_TEMPORAL[] = "ajustes.cfg.tmp";
// A longer file is no file of ours: only its start is read.
constexpr size_t MAX_AJUSTES = 4096;

// Writes `largo` bytes to `fichero` beside it and renames them over it only
// when whole, so a full disk cannot leave it empty. Without a writable
// folder the settings stay in memory and the game goes on; they are
// written again at the next chance.
void escribir_entero(const char *fichero, const char *temporal, const void *bytes, size_t largo)
{
  FILE *f = std::fopen(temporal, "wb");
  if (f == nullptr) {
    return;
  }
  bool bien = std::fwrite(bytes, 1, largo, f) == largo;
  bien = std::fflush(f) == 0 && bien;
  bien = std::fclose(f) == 0 && bien;
  if (!bien || std::rename(temporal, fichero) != 0) {
    std::remove(temporal);
  }
}

constexpr int VOLUMEN_MAXIMO = 100;

}  // namespace

void interpretar_cfg(const uint8_t *bytes, size_t largo)
{
  // A short file leaves the fields it does not reach at 0.
  int b[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < largo && i < 4; ++i) {
    b[i] = bytes[i];
  }
  // Bytes the game never writes are brought into range: the language picks
  // table entries, and the starting-level choice needs at least one level
  // to offer.
  idioma = b[0] == 0 ? IDIOMA_ESPANOL : IDIOMA_INGLES;
  volson = static_cast<int8_t>(std::clamp(b[1], 0, VOLUMEN_MAXIMO));
  volmus = static_cast<int8_t>(std::clamp(b[2], 0, VOLUMEN_MAXIMO));
  ult_fase_completada = static_cast<int8_t>(std::clamp<int>(static_cast<int8_t>(b[3]), 0, ULTIMA_FASE));
}

void escribir_cfg()
{
  const uint8_t bytes[4] = {static_cast<uint8_t>(idioma), static_cast<uint8_t>(volson),
                            static_cast<uint8_t>(volmus), static_cast<uint8_t>(ult_fase_completada)};
  escribir_entero(FICHERO_CFG, FICHERO_CFG_TEMPORAL, bytes, sizeof bytes);
}

void interpretar_ajustes(const char *texto, size_t largo)
{
  escala_elegida = ESCALA_AUTO;
  pantalla_completa = false;
  entrenador_sugerido = false;
  size_t i = 0;
  while (i < largo) {
    size_t fin = i;
    while (fin < largo && texto[fin] != '\n') {
      ++fin;
    }
    // A line ended by CR LF (the file edited on another system) reads the same.
    const size_t ultimo = fin > i && texto[fin - 1] == '\r' ? fin - 1 : fin;
    const std::string linea(texto + i, ultimo - i);
    i = fin + 1;
    const size_t blanco = linea.find(' ');
    if (blanco == std::string::npos) {
      continue;
    }
    const std::string clave = linea.substr(0, blanco), valor = linea.substr(blanco + 1);
    if (clave == "escala") {
      if (valor == "auto") {
        escala_elegida = ESCALA_AUTO;
      } else if (valor.size() == 1 && valor[0] >= '1' && valor[0] <= '0' + ESCALA_MAXIMA) {
        escala_elegida = static_cast<int8_t>(valor[0] - '0');
      }
    } else if (clave == "pantalla_completa" && (valor == "0" || valor == "1")) {
      pantalla_completa = valor == "1";
    } else if (clave == "entrenador_sugerido" && (valor == "0" || valor == "1")) {
      entrenador_sugerido = valor == "1";
    }
  }
}

void leer_ajustes()
{
  char texto[MAX_AJUSTES];
  size_t largo = 0;
  if (FILE *f = std::fopen(FICHERO_AJUSTES, "rb")) {
    largo = std::fread(texto, 1, sizeof texto, f);
    std::fclose(f);
  }
  interpretar_ajustes(texto, largo);
}

void escribir_ajustes()
{
  char texto[128];
  const int n = std::snprintf(texto, sizeof texto, "escala %s\npantalla_completa %d\nentrenador_sugerido %d\n",
                              escala_elegida == ESCALA_AUTO ? "auto" : std::to_string(escala_elegida).c_str(),
                              pantalla_completa ? 1 : 0, entrenador_sugerido ? 1 : 0);
  escribir_entero(FICHERO_AJUSTES, FICHERO_AJUSTES_TEMPORAL, texto, static_cast<size_t>(n));
}
