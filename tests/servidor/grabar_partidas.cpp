// grabar_partidas: recordings for the score server's tests and benchmarks,
// made with the game's own rules and recording calls, with no screen.
//
//   grabar_partidas partidas DIR N [--niveles K] [--semilla S] [--nombre NAME] [--pensar T] [--trampa]
//       N games of seeds S, S+1... (NAME's "{}" is each game's number),
//       each from level 0: the solver's plans complete K levels
//       (1 by default; 60 completes the game), the hand resting T logic
//       frames at each level's start as a player looks at the board, then
//       the hand rests until the last life is lost. With --trampa the cheat is switched on and
//       the arrows take the game to the last level, which the plan then
//       completes. Each game is written as DIR/CODE.frep (DIR/N-CODE.frep
//       when another game of this run had that code), its header holding
//       the name and the score code the game would give it, and listed as
//       "CODE<TAB>NAME<TAB>POINTS<TAB>LEVELS<TAB>FRAMES<TAB>FILE".
//   grabar_partidas editar IN OUT FIELD VALUE...
//       The recording with header fields changed (puntos, fases,
//       fotogramas, version, hash_niveles, nivel, banderas, nombre, codigo; codigo
//       "nuevo" makes a code for the header's points and levels), or the
//       input disguised without changing the game (disfraz vacio: a change
//       that sets nothing; movido: a change moved to the frame before, which
//       the rules do not read; ajeno: the arrow keys, which the rules read
//       only with the cheat on, held in every change), written again whole
//       with a right checksum; prints its code.
//   grabar_partidas bomba IN OUT
//       IN's header over a zlib stream that unpacks to 64 MB, eight times
//       the most a recording's input may be.
//   grabar_partidas codigo POINTS LEVELS
//       A score code as the game makes them.
//   grabar_partidas suelto LEVEL.txt OUT [--perder] [--semilla S]
//       The level of LEVEL.txt played alone (as a community level is), the
//       solver's plan winning it, or with --perder the hand resting until
//       the game is lost; prints the points.
//   grabar_partidas firmar PATH NAME FILE...
//       Signs an upload to PATH of the files' bytes, one after another, by
//       player NAME (ISO 8859-1, as the game keeps names) as the game does,
//       with the key in $XDG_DATA_HOME/fotonauta/claves (made on first
//       use); prints the key and the signature, in hex, on one line.
//       With --semilla HEX before PATH, the key of that 32-byte seed, no
//       key file (a flood's many names, one sender).
#include <sodium.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "codigo/codigo.h"
#include "fichero_nivel/fichero_nivel.h"
#include "identidad/identidad.h"
#include "repeticion/repeticion.h"
#include "resolver/resolver.h"

namespace {

constexpr int ANGULOS = 16;

// A player following the solver's plan for the level being played: holds
// each mirror with the button that turns it the shorter way until it
// shows the plan's angle, lets go for a logic frame, waits for the targets
// the plan waits for, and puts back any mirror set before that has been
// turned since (the gremlins turn them).
struct mano_plan {
  plan_nivel plan;
  size_t paso = 0;
  std::map<uint8_t, uint8_t> fijados;
  int sostenido = -1;
  uint8_t angulo = 0;
  bool soltar = false;

  void empezar(const plan_nivel &p)
  {
    *this = {};
    plan = p;
  }

  void sostener(uint8_t c, uint8_t a, entrada_juego &e)
  {
    sostenido = c;
    angulo = a;
    e.celda = c;
    e.botones = (a - nucleo.est_nivel[c].valor + ANGULOS) % ANGULOS <= ANGULOS / 2 ? 2 : 1;
  }

  entrada_juego decidir()
  {
    entrada_juego e;
    if (soltar) {
      soltar = false;
      return e;
    }
    if (sostenido >= 0) {
      const celda &x = nucleo.est_nivel[sostenido];
      if (!es_espejo(x.tipo) || x.valor == angulo) {
        sostenido = -1;
        soltar = true;
        return e;
      }
      sostener(static_cast<uint8_t>(sostenido), angulo, e);
      return e;
    }
    for (const auto &[c, a] : fijados) {
      if (es_espejo(nucleo.est_nivel[c].tipo) && nucleo.est_nivel[c].valor != a) {
        sostener(c, a, e);
        return e;
      }
    }
    while (paso < plan.size()) {
      const paso_plan &p = plan[paso];
      if (p.tipo == paso_espera) {
        for (uint8_t c : p.blancos) {
          if (nucleo.est_nivel[c].tipo == detonador && nucleo.est_nivel[c].valor == DETONADOR_EN_PIE) {
            return e;
          }
        }
        ++paso;
        continue;
      }
      ++paso;
      fijados[p.celda] = p.angulo;
      if (es_espejo(nucleo.est_nivel[p.celda].tipo) && nucleo.est_nivel[p.celda].valor != p.angulo) {
        sostener(p.celda, p.angulo, e);
        return e;
      }
    }
    return e;
  }
};

// The plans of the levels, searched once each.
std::map<int, plan_nivel> planes;

// A level played alone, in place of level 0.
nivel_texto nivel_suelto;
bool hay_suelto = false;

const plan_nivel &plan_de(int nivel)
{
  auto x = planes.find(nivel);
  if (x == planes.end()) {
    plan_nivel plan;
    std::string error;
    const uint8_t *bytes = hay_suelto ? nivel_suelto.bytes : &objeto[nivel * NUM_CELDAS];
    if (!buscar_plan(bytes, nivel, plan, error)) {
      std::fprintf(stderr, "grabar_partidas: no plan for level %d: %s\n", nivel, error.c_str());
    }
    x = planes.emplace(nivel, plan).first;
  }
  return x->second;
}

std::string hacer_codigo(int32_t puntos, int32_t fases)
{
  const int32_t valores[NUM_VALORES_PUNTUACION] = {puntos, fases};
  char c[48];
  uuencode_generic(c, ID_CODIGO_PUNTUACION, NUM_VALORES_PUNTUACION, valores, BYTES_PUNTUACION);
  return c;
}

void poner_texto(char *campo, size_t ancho, const std::string &s)
{
  std::memset(campo, 0, ancho + 1);
  std::memcpy(campo, s.data(), std::min(ancho, s.size()));
}

// One game as the game's loop records it, with the plan's hand.
repeticion jugar(uint64_t semilla, int niveles, int pensar, bool trampa)
{
  inicio_partida inicio{};
  inicio.semilla = semilla;
  if (hay_suelto) {
    inicio.suelto = 1;
    inicio.nivel_suelto = &nivel_suelto;
  }
  repeticion r;
  mano_plan mano;
  int nivel_mano = -1;
  int pensando = 0;
  grabar_partida(r, inicio, [&](entrada_juego &entrada) {
    // The level starts again after a lost life, and another comes after a
    // completed one: the plan is followed from its start.
    if ((nucleo.dt_sucesos.bits & (suceso_vida_perdida | suceso_nivel_completado)) != 0) {
      nivel_mano = -1;
    }
    if (r.cabecera.fotogramas >= MAX_FOTOGRAMAS_REPETICION - 1) {
      return false;
    }
    if (!fotograma_logico()) {
      return true;
    }
    if (trampa && nucleo.trampas == 0) {
      entrada.teclas = TECLA_Q | TECLA_M;
    } else if (trampa && nucleo.dt_bucle.nivel < ULTIMO_NIVEL) {
      // An arrow pressed on every other logic frame: one level each.
      entrada.teclas = nucleo.dt_bucle.flechas ? 0 : TECLA_DERECHA;
    } else if (nucleo.dt_partida.fases_superadas < niveles || trampa) {
      if (nivel_mano != nucleo.dt_bucle.nivel) {
        nivel_mano = nucleo.dt_bucle.nivel;
        mano.empezar(plan_de(nivel_mano));
        pensando = pensar;
      }
      if (pensando > 0) {
        --pensando;
      } else {
        entrada = mano.decidir();
      }
    }
    return true;
  });
  return r;
}

bool escribir(const std::string &ruta, const std::vector<uint8_t> &bytes)
{
  FILE *f = std::fopen(ruta.c_str(), "wb");
  const bool bien = f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return f != nullptr && std::fclose(f) == 0 && bien;
}

std::vector<uint8_t> leer(const std::string &ruta)
{
  std::vector<uint8_t> v;
  FILE *f = std::fopen(ruta.c_str(), "rb");
  if (f == nullptr) {
    return v;
  }
  int c;
  while ((c = std::fgetc(f)) != EOF) {
    v.push_back(static_cast<uint8_t>(c));
  }
  std::fclose(f);
  return v;
}

int fallar(const std::string &m)
{
  std::fprintf(stderr, "grabar_partidas: %s\n", m.c_str());
  return 1;
}

int partidas(int argc, char **argv)
{
  const std::string carpeta = argv[2];
  const int n = std::atoi(argv[3]);
  int niveles = 1;
  int pensar = 0;
  uint64_t semilla = 1;
  std::string nombre = "Prueba {}";
  bool trampa = false;
  for (int i = 4; i < argc; ++i) {
    const std::string o = argv[i];
    if (o == "--trampa") {
      trampa = true;
    } else if (i + 1 < argc && o == "--niveles") {
      niveles = std::atoi(argv[++i]);
    } else if (i + 1 < argc && o == "--pensar") {
      pensar = std::atoi(argv[++i]);
    } else if (i + 1 < argc && o == "--semilla") {
      semilla = std::strtoull(argv[++i], nullptr, 10);
    } else if (i + 1 < argc && o == "--nombre") {
      nombre = argv[++i];
    } else {
      return fallar("unknown option " + o);
    }
  }
  // A code carries the second it was made in: games of one name that
  // would share a code (and so a row) are left out for the next seed.
  std::map<std::string, int> hechos;
  for (int g = 0, hechas = 0; hechas < n && g < 50 * n; ++g) {
    repeticion r = jugar(semilla + static_cast<uint64_t>(g), niveles, pensar, trampa);
    cabecera_repeticion &c = r.cabecera;
    const std::string codigo = hacer_codigo(c.puntos, c.fases);
    std::string suyo = nombre;
    if (suyo.find("{}") != std::string::npos) {
      suyo.replace(suyo.find("{}"), 2, std::to_string(hechas));
    }
    if (hechos[suyo + "\t" + codigo]++ > 0) {
      continue;
    }
    const std::string fichero = (hechos[codigo]++ > 0 ? std::to_string(hechas) + "-" : std::string()) + codigo + ".frep";
    ++hechas;
    poner_texto(c.nombre, LONG_NOMBRE, suyo);
    poner_texto(c.codigo, LONG_COD, codigo);
    c.fecha = static_cast<int64_t>(std::time(nullptr));
    std::string error;
    if (!guardar_repeticion(carpeta + "/" + fichero, r, error)) {
      return fallar(error);
    }
    std::printf("%s\t%s\t%d\t%d\t%u\t%s\n", codigo.c_str(), suyo.c_str(), c.puntos, c.fases, c.fotogramas,
                fichero.c_str());
  }
  return 0;
}

// Changes the input's bytes and not the game (see "disfraz" above).
bool disfrazar(repeticion &r, const std::string &modo)
{
  std::vector<cambio_entrada> &v = r.cambios;
  for (size_t i = 0; i < v.size(); ++i) {
    const uint32_t antes = i == 0 ? 0 : v[i - 1].fotograma + 1;
    const uint32_t despues = i + 1 < v.size() ? v[i + 1].fotograma : r.cabecera.fotogramas;
    if (v[i].entrada.abandono) {
      continue;
    }
    if (modo == "vacio" && v[i].fotograma + 1 < despues) {
      v.insert(v.begin() + static_cast<std::ptrdiff_t>(i) + 1, {v[i].fotograma + 1, v[i].entrada});
      return true;
    }
    if (modo == "movido" && v[i].fotograma > antes && v[i].fotograma > 0) {
      --v[i].fotograma;
      return true;
    }
  }
  if (modo != "ajeno") {
    return false;
  }
  for (cambio_entrada &x : v) {
    x.entrada.teclas |= TECLA_DERECHA;
  }
  return !v.empty();
}

int editar(int argc, char **argv)
{
  const std::vector<uint8_t> bytes = leer(argv[2]);
  repeticion r;
  std::string error;
  if (!decodificar_repeticion(bytes.data(), bytes.size(), r, error)) {
    return fallar(std::string(argv[2]) + ": " + error);
  }
  cabecera_repeticion &c = r.cabecera;
  bool codigo_nuevo = false;
  for (int i = 4; i + 1 < argc; i += 2) {
    const std::string campo = argv[i], valor = argv[i + 1];
    const long long v = std::strtoll(valor.c_str(), nullptr, 0);
    if (campo == "puntos") {
      c.puntos = static_cast<int32_t>(v);
    } else if (campo == "fases") {
      c.fases = static_cast<int8_t>(v);
    } else if (campo == "fotogramas") {
      c.fotogramas = static_cast<uint32_t>(v);
    } else if (campo == "version") {
      c.version_reglas = static_cast<uint16_t>(v);
    } else if (campo == "hash_niveles") {
      c.hash_niveles = static_cast<uint64_t>(v);
    } else if (campo == "nivel") {
      c.nivel = static_cast<int8_t>(v);
    } else if (campo == "banderas") {
      c.banderas = static_cast<uint8_t>(v);
    } else if (campo == "nombre") {
      poner_texto(c.nombre, LONG_NOMBRE, valor);
    } else if (campo == "disfraz") {
      if (!disfrazar(r, valor)) {
        return fallar("cannot disguise the input as " + valor);
      }
    } else if (campo == "codigo" && valor == "nuevo") {
      codigo_nuevo = true;
    } else if (campo == "codigo") {
      poner_texto(c.codigo, LONG_COD, valor);
    } else {
      return fallar("no header field " + campo);
    }
  }
  if (codigo_nuevo) {
    poner_texto(c.codigo, LONG_COD, hacer_codigo(c.puntos, c.fases));
  }
  if (!escribir(argv[3], codificar_repeticion(r))) {
    return fallar(std::string(argv[3]) + ": cannot write");
  }
  std::printf("%s\n", c.codigo);
  return 0;
}

// The header's last fields (docs/repeticion.md): the changes, the packed
// and unpacked input's sizes, the checksum, then the packed input.
constexpr size_t POS_CAMBIOS = 84, POS_CRC = 96, LARGO_CABECERA = 100;

void poner32(std::vector<uint8_t> &v, size_t pos, uint32_t x)
{
  for (int i = 0; i < 4; ++i) {
    v[pos + static_cast<size_t>(i)] = static_cast<uint8_t>(x >> (8 * i));
  }
}

int bomba(char **argv)
{
  std::vector<uint8_t> v = leer(argv[2]);
  if (v.size() < LARGO_CABECERA) {
    return fallar(std::string(argv[2]) + ": not a recording");
  }
  v.resize(LARGO_CABECERA);
  const std::vector<uint8_t> ceros(size_t{64} << 20, 0);
  uLongf largo = compressBound(ceros.size());
  std::vector<uint8_t> comprimido(largo);
  compress2(comprimido.data(), &largo, ceros.data(), ceros.size(), Z_BEST_COMPRESSION);
  comprimido.resize(largo);
  const uint32_t fotogramas = v[32] | v[33] << 8 | v[34] << 16 | static_cast<uint32_t>(v[35]) << 24;
  poner32(v, POS_CAMBIOS, fotogramas);
  poner32(v, POS_CAMBIOS + 4, static_cast<uint32_t>(comprimido.size()));
  poner32(v, POS_CAMBIOS + 8, std::min<uint32_t>(fotogramas * 10, MAX_BYTES_EVENTOS_REPETICION));
  v.insert(v.end(), comprimido.begin(), comprimido.end());
  uLong crc = crc32(0, v.data(), POS_CRC);
  crc = crc32(crc, v.data() + LARGO_CABECERA, static_cast<uInt>(comprimido.size()));
  poner32(v, POS_CRC, static_cast<uint32_t>(crc));
  return escribir(argv[3], v) ? 0 : fallar(std::string(argv[3]) + ": cannot write");
}

}  // namespace

int main(int argc, char **argv)
{
  const std::string orden = argc > 1 ? argv[1] : "";
  if (orden == "partidas" && argc >= 4) {
    return partidas(argc, argv);
  }
  if (orden == "editar" && argc >= 4) {
    return editar(argc, argv);
  }
  if (orden == "bomba" && argc == 4) {
    return bomba(argv);
  }
  if (orden == "suelto" && argc >= 4) {
    std::string error;
    if (!leer_nivel_texto(argv[2], nivel_suelto, error)) {
      return fallar(error);
    }
    hay_suelto = true;
    bool perder = false;
    uint64_t semilla = 1;
    for (int i = 4; i < argc; ++i) {
      const std::string o = argv[i];
      if (o == "--perder") {
        perder = true;
      } else if (o == "--semilla" && i + 1 < argc) {
        semilla = std::strtoull(argv[++i], nullptr, 10);
      } else {
        return fallar("unknown option " + o);
      }
    }
    repeticion r = jugar(semilla, perder ? 0 : 1, 0, false);
    if (!escribir(argv[3], codificar_repeticion(r))) {
      return fallar(std::string(argv[3]) + ": cannot write");
    }
    std::printf("%d\n", r.cabecera.puntos);
    return 0;
  }
  if (orden == "firmar" && argc >= 5) {
    const bool con_semilla = std::string(argv[2]) == "--semilla" && argc >= 7;
    const int primero = con_semilla ? 6 : 4;
    std::string cuerpo;
    for (int i = primero; i < argc; ++i) {
      FILE *f = std::fopen(argv[i], "rb");
      if (f == nullptr) {
        return fallar(std::string(argv[i]) + ": cannot read");
      }
      char b[65536];
      for (size_t n; (n = std::fread(b, 1, sizeof b, f)) > 0;) {
        cuerpo.append(b, n);
      }
      std::fclose(f);
    }
    std::string clave, firma, error;
    if (con_semilla) {
      unsigned char semilla[crypto_sign_SEEDBYTES] = {}, publica[crypto_sign_PUBLICKEYBYTES],
                    secreta[crypto_sign_SECRETKEYBYTES], f[crypto_sign_BYTES];
      const std::string hex = argv[3];
      for (size_t i = 0; i < sizeof semilla && 2 * i + 1 < hex.size(); ++i) {
        semilla[i] = static_cast<unsigned char>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
      }
      std::string nombre = argv[5];
      nombre.erase(nombre.find_last_not_of(' ') + 1);
      const std::string m = mensaje_firmado(argv[4], latin1_a_utf8(nombre), cuerpo);
      if (sodium_init() < 0 || crypto_sign_seed_keypair(publica, secreta, semilla) != 0) {
        return fallar("libsodium cannot start");
      }
      crypto_sign_detached(f, nullptr, reinterpret_cast<const unsigned char *>(m.data()), m.size(), secreta);
      char t[3];
      for (const unsigned char b : publica) {
        std::snprintf(t, sizeof t, "%02x", b);
        clave += t;
      }
      for (const unsigned char b : f) {
        std::snprintf(t, sizeof t, "%02x", b);
        firma += t;
      }
    } else if (!firmar_envio(argv[3], argv[2], cuerpo, clave, firma, error)) {
      return fallar(error);
    }
    std::printf("%s %s\n", clave.c_str(), firma.c_str());
    return 0;
  }
  if (orden == "codigo" && argc == 4) {
    std::printf("%s\n", hacer_codigo(std::atoi(argv[2]), std::atoi(argv[3])).c_str());
    return 0;
  }
  std::fputs("usage: grabar_partidas partidas DIR N [--niveles K] [--semilla S] [--nombre NAME] [--pensar T] [--trampa]\n"
             "       grabar_partidas editar IN OUT FIELD VALUE...\n"
             "       grabar_partidas bomba IN OUT\n"
             "       grabar_partidas codigo POINTS LEVELS\n"
             "       grabar_partidas suelto LEVEL.txt OUT [--perder] [--semilla S]\n"
             "       grabar_partidas firmar [--semilla HEX] PATH NAME FILE...\n",
             stderr);
  return 2;
}
