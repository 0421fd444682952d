// niveles resolver and niveles estadisticas: the solver's report on the
// stored levels, and what the levels hold.
#include "ordenes.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fichero_nivel/fichero_nivel.h"
#include "juego/juego.h"
#include "resolver/resolver.h"

namespace {

// A level to solve: its bytes and the index whose gremlins it has.
struct nivel_a_resolver {
  int nivel;
  uint8_t bytes[NUM_CELDAS];
};

bool leer_indice(const char *texto, int &n)
{
  char *fin = nullptr;
  const long v = strtol(texto, &fin, 10);
  if (*texto == '\0' || *fin != '\0' || v < 0 || v >= NUM_NIVELES) {
    return false;
  }
  n = static_cast<int>(v);
  return true;
}

// A level file's index is its name: NN.txt.
int indice_de_fichero(const std::string &ruta)
{
  const size_t barra = ruta.find_last_of('/');
  const std::string nombre = ruta.substr(barra == std::string::npos ? 0 : barra + 1);
  int n = -1;
  if (nombre.size() == 6 && nombre.compare(2, 4, ".txt") == 0 && leer_indice(nombre.substr(0, 2).c_str(), n)) {
    return n;
  }
  return -1;
}

void imprimir_informe(int nivel, const informe_nivel &inf, bool con_plan)
{
  if (!inf.encontrado) {
    printf("nivel %02d falla sin_plan giros %d\n", nivel, inf.giros);
  } else {
    printf("nivel %02d %s fotogramas %d (%.1f %%) giros %d pasos %d a_tiempo %d/%d%s\n", nivel,
           inf.pasa ? "pasa" : "falla", inf.fotogramas, 100.0 * inf.fotogramas / FOTOGRAMAS_ENERGIA, inf.giros,
           inf.pasos_giro, inf.a_tiempo, inf.partidas, inf.azar ? " azar" : "");
  }
  if (!inf.error.empty()) {
    printf("error %s\n", inf.error.c_str());
  }
  printf("peligro %d/%d mina %d rebote %d fotogramas %d\n", inf.arranques_peligrosos, inf.arranques, inf.arranques_mina,
         inf.arranques_rebote, inf.fotogramas_peligro);
  if (inf.partidas_gremlins > 0) {
    printf("gremlins %d a_tiempo %d/%d%s\n", inf.gremlins, inf.a_tiempo_gremlins, inf.partidas_gremlins,
           fragil_con_gremlins(inf) ? " fragil" : "");
  }
  if (con_plan) {
    fputs(escribir_plan(inf.plan).c_str(), stdout);
    printf("fin\n");
  }
}

constexpr const char *USO_RESOLVER =
    "usage: niveles resolver [N | FICHERO.txt] [--resumen] [--partidas K] [--desde X] [--registro R]\n";

// ---------------------------------------------------------------------------
// estadisticas
// ---------------------------------------------------------------------------

// The kinds counted, in the table's column order.
enum columna {
  col_suelo, col_blancos, col_espejos, col_muros_r, col_muros_a, col_minas, col_reemisores, col_espejos_g,
  col_polar_r, col_polar_a, col_polar_gr, col_polar_ga, col_foptica, NUM_COLUMNAS,
};

const char *const NOMBRES[NUM_COLUMNAS] = {
    "suelo", "blancos", "espejos", "muros_r", "muros_a", "minas", "reemis", "espejos_g",
    "polar_r", "polar_a", "polar_gr", "polar_ga", "foptica",
};

// What the whole table should come near, by column.
const int GUIA[NUM_COLUMNAS] = {2728, 2262, 1217, 1032, 310, 367, 116, 105, 50, 39, 67, 20, 66};

// Totals checked as groups: fixed and self-turning polarisers.
constexpr int GUIA_POLAR_FIJOS = 89;
constexpr int GUIA_POLAR_GIRATORIOS = 87;
constexpr int TOLERANCIA = 15;  // per cent

int columna_de_byte(uint8_t b)
{
  if (b == 63) return col_suelo;
  if (b == 47) return col_blancos;
  if (b >= 16 && b <= 31) return col_espejos;
  if (b >= 48 && b <= 62) return col_muros_r;
  if (b >= 32 && b <= 46) return col_muros_a;
  if (b == 85) return col_minas;
  if (b == 80) return col_reemisores;
  if (b >= 86 && b <= 101) return col_espejos_g;
  if (b >= 64 && b <= 71) return col_polar_r;
  if (b >= 72 && b <= 79) return col_polar_a;
  if (b >= 102 && b <= 109) return col_polar_gr;
  if (b >= 110 && b <= 117) return col_polar_ga;
  if (b >= 81 && b <= 84) return col_foptica;
  return -1;  // the emitter and the receiver
}

bool dentro(int total, int guia)
{
  return std::abs(total - guia) * 100 <= TOLERANCIA * guia;
}

void linea_guia(const char *nombre, int total, int guia)
{
  printf("%-14s %5d  guia %5d  %+6.1f %%  %s\n", nombre, total, guia, 100.0 * (total - guia) / guia,
         dentro(total, guia) ? "dentro" : "fuera");
}

}  // namespace

int orden_resolver(int num_argumentos, char **argumentos)
{
  bool resumen = false;
  int registro = 0;
  opciones_resolver opciones;
  std::vector<nivel_a_resolver> niveles;
  for (int i = 0; i < num_argumentos; ++i) {
    const std::string a = argumentos[i];
    int n = 0;
    if (a == "--resumen") {
      resumen = true;
    } else if (a == "--registro" && i + 1 < num_argumentos) {
      registro = atoi(argumentos[++i]);
      if (registro < 1) {
        fprintf(stderr, "niveles resolver: --registro takes a run number from 1\n");
        return 2;
      }
    } else if (a == "--partidas" && i + 1 < num_argumentos) {
      opciones.partidas = atoi(argumentos[++i]);
      opciones.partidas_azar = opciones.partidas;
      if (opciones.partidas < 1 || opciones.partidas > 10000) {
        fprintf(stderr, "niveles resolver: --partidas takes 1-10000\n");
        return 2;
      }
    } else if (a == "--desde" && i + 1 < num_argumentos) {
      char *fin = nullptr;
      const char *texto = argumentos[++i];
      const unsigned long long primera = strtoull(texto, &fin, 10);
      if (*texto < '0' || *texto > '9' || *fin != '\0' || primera < 1 || primera > 1000000000ULL) {
        fprintf(stderr, "niveles resolver: --desde takes a run number 1-1000000000\n");
        return 2;
      }
      opciones.primera_partida = primera;
    } else if (a.size() > 4 && a.compare(a.size() - 4, 4, ".txt") == 0) {
      nivel_texto t;
      std::string error;
      if (!leer_nivel_texto(a, t, error)) {
        fprintf(stderr, "niveles resolver: %s\n", error.c_str());
        return 2;
      }
      nivel_a_resolver r{indice_de_fichero(a), {}};
      memcpy(r.bytes, t.bytes, NUM_CELDAS);
      niveles.push_back(r);
    } else if (leer_indice(a.c_str(), n)) {
      nivel_a_resolver r{n, {}};
      memcpy(r.bytes, &objeto[n * NUM_CELDAS], NUM_CELDAS);
      niveles.push_back(r);
    } else {
      fprintf(stderr, "niveles resolver: '%s' is not a level 0-%d nor a level file\n%s", a.c_str(),
              NUM_NIVELES - 1, USO_RESOLVER);
      return 2;
    }
  }
  if (niveles.empty()) {
    for (int n = 0; n < NUM_NIVELES; ++n) {
      nivel_a_resolver r{n, {}};
      memcpy(r.bytes, &objeto[n * NUM_CELDAS], NUM_CELDAS);
      niveles.push_back(r);
    }
  }

  if (registro > 0) {
    // One run of the first level's plan, frame by frame.
    const nivel_a_resolver &r = niveles[0];
    plan_nivel plan;
    std::string error;
    if (!buscar_plan(r.bytes, r.nivel, plan, error)) {
      printf("error %s\n", error.c_str());
      return 1;
    }
    fputs(escribir_plan(plan).c_str(), stdout);
    opciones_simulacion o;
    o.semilla = semilla_partida(static_cast<uint64_t>(registro));
    o.registro = stdout;
    const partida_plan p = jugar_plan(r.bytes, r.nivel, plan, o);
    printf("%s at frame %d\n", p.resultado == sim_completado ? "completado" : "vida perdida", p.fotogramas);
    return p.resultado == sim_completado ? 0 : 1;
  }

  int fallan = 0;
  std::string fragiles;
  for (const nivel_a_resolver &r : niveles) {
    const informe_nivel inf = resolver_nivel(r.bytes, r.nivel, opciones);
    imprimir_informe(r.nivel, inf, !resumen);
    fflush(stdout);
    fallan += inf.pasa ? 0 : 1;
    if (fragil_con_gremlins(inf)) {
      fragiles += " " + std::to_string(r.nivel);
    }
  }
  if (niveles.size() > 1) {
    printf("%zu niveles: %zu pasan, %d fallan\n", niveles.size(), niveles.size() - fallan, fallan);
    printf("fragiles con gremlins:%s\n", fragiles.empty() ? " ninguno" : fragiles.c_str());
  }
  return fallan == 0 ? 0 : 1;
}

int orden_estadisticas(int num_argumentos, char **)
{
  if (num_argumentos != 0) {
    fprintf(stderr, "usage: niveles estadisticas\n");
    return 2;
  }
  int total[NUM_COLUMNAS] = {};
  printf("nivel");
  for (const char *nombre : NOMBRES) {
    printf(" %9s", nombre);
  }
  printf("\n");
  for (int n = 0; n < NUM_NIVELES; ++n) {
    int cuenta[NUM_COLUMNAS] = {};
    for (int c = 0; c < NUM_CELDAS; ++c) {
      const int k = columna_de_byte(objeto[n * NUM_CELDAS + c]);
      if (k >= 0) {
        ++cuenta[k];
      }
    }
    printf("%5.2d", n);
    for (int k = 0; k < NUM_COLUMNAS; ++k) {
      printf(" %9d", cuenta[k]);
      total[k] += cuenta[k];
    }
    printf("\n");
  }
  printf("total");
  for (int t : total) {
    printf(" %9d", t);
  }
  printf("\n\n");
  for (int k = 0; k < NUM_COLUMNAS; ++k) {
    linea_guia(NOMBRES[k], total[k], GUIA[k]);
  }
  linea_guia("polar_fijos", total[col_polar_r] + total[col_polar_a], GUIA_POLAR_FIJOS);
  linea_guia("polar_girat", total[col_polar_gr] + total[col_polar_ga], GUIA_POLAR_GIRATORIOS);
  return 0;
}
