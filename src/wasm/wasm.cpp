// The WebAssembly module's C interface over the rules, the recordings and
// the game's drawing: one recording watched or one level played at a time,
// as the rules play one game at a time.
#include "wasm/wasm.h"

#include <allegro.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "audio/audio.h"
#include "cargador/cargador.h"
#include "dlg/dlg.h"
#include "juego/juego.h"
#include "pantalla/pantalla.h"
#include "repeticion/repeticion.h"
#include "tiempo/tiempo.h"
#include "wasm/web.h"

#define EXPORTA(nombre) __attribute__((export_name(#nombre)))

namespace {

// What the host wrote, never more than
// what it may be: a recording's file or its unpacked input, a level's
// text, a data file of the game's.
constexpr uint32_t MAX_MEMORIA = 8u << 20;
static_assert(MAX_BYTES_REPETICION <= MAX_MEMORIA && MAX_BYTES_EVENTOS_REPETICION <= MAX_MEMORIA);
std::unique_ptr<uint8_t[]> memoria;
uint32_t largo_memoria = 0;

repeticion grabada;
entrada_empaquetada entrada;
bool abierta = false;  // the header read
bool leida = false;    // and the input
lector_repeticion lector;
std::string error;

uint32_t jugada_fotogramas();

int32_t fallo(const std::string &motivo)
{
  error = motivo;
  return 0;
}

bool cabe(uint32_t n)
{
  return memoria != nullptr && n <= largo_memoria;
}

}  // namespace

EXPORTA(fotonauta_memoria) uint8_t *fotonauta_memoria(uint32_t n)
{
  memoria.reset();
  largo_memoria = 0;
  if (n > MAX_MEMORIA) {
    return nullptr;
  }
  memoria.reset(new (std::nothrow) uint8_t[n == 0 ? 1 : n]);
  largo_memoria = memoria != nullptr ? n : 0;
  return memoria.get();
}

EXPORTA(fotonauta_abrir) int32_t fotonauta_abrir(uint32_t n)
{
  abierta = leida = false;
  lector = {};
  grabada = {};
  if (!cabe(n)) {
    return fallo("more bytes than were asked room for");
  }
  std::string motivo;
  if (!leer_cabecera_repeticion(memoria.get(), n, grabada.cabecera, entrada, motivo)) {
    return fallo(motivo);
  }
  abierta = true;
  return 1;
}

EXPORTA(fotonauta_inicio_entrada) uint32_t fotonauta_inicio_entrada()
{
  return abierta ? static_cast<uint32_t>(entrada.inicio) : 0;
}

EXPORTA(fotonauta_largo_entrada) uint32_t fotonauta_largo_entrada()
{
  return abierta ? static_cast<uint32_t>(entrada.largo) : 0;
}

EXPORTA(fotonauta_largo_eventos) uint32_t fotonauta_largo_eventos()
{
  return abierta ? static_cast<uint32_t>(entrada.largo_eventos) : 0;
}

EXPORTA(fotonauta_eventos) int32_t fotonauta_eventos(uint32_t n)
{
  leida = false;
  if (!abierta) {
    return fallo("no recording's header has been read");
  }
  if (!cabe(n)) {
    return fallo("more bytes than were asked room for");
  }
  std::string motivo;
  if (!leer_eventos_repeticion(memoria.get(), n, entrada, grabada, motivo)) {
    return fallo(motivo);
  }
  leida = true;
  return 1;
}

EXPORTA(fotonauta_empezar) int32_t fotonauta_empezar()
{
  if (!leida) {
    return fallo("no recording has been read");
  }
  ver_dejar();
  std::string motivo;
  if (!empezar_reproduccion(lector, grabada, nullptr, motivo)) {
    return fallo(motivo);
  }
  return 1;
}

EXPORTA(fotonauta_fotograma) int32_t fotonauta_fotograma()
{
  if (lector.r == nullptr || !reproduccion_en_curso(lector)) {
    return 0;
  }
  reproducir_fotograma(lector, nullptr);
  return reproduccion_en_curso(lector) ? 1 : 0;
}

EXPORTA(fotonauta_hash_estado) uint64_t fotonauta_hash_estado()
{
  return hash_estado();
}

EXPORTA(fotonauta_fotogramas) uint32_t fotonauta_fotogramas()
{
  return ver_total() > 0 ? ver_fotogramas() : lector.r != nullptr ? lector.fotograma : jugada_fotogramas();
}

EXPORTA(fotonauta_puntos) int32_t fotonauta_puntos()
{
  return nucleo.dt_partida.puntos;
}

EXPORTA(fotonauta_motivo_fin) int32_t fotonauta_motivo_fin()
{
  return nucleo.dt_bucle.motivo_fin;
}

EXPORTA(fotonauta_nivel) int32_t fotonauta_nivel()
{
  return nucleo.dt_bucle.nivel;
}

EXPORTA(fotonauta_fases) int32_t fotonauta_fases()
{
  return nucleo.dt_partida.fases_superadas;
}

EXPORTA(fotonauta_verificar) int32_t fotonauta_verificar()
{
  if (!leida) {
    return fallo("no recording has been read");
  }
  ver_dejar();
  lector = {};
  const verificacion v = verificar_repeticion(grabada);
  // The reader stands where the verifier stopped, past every change, so
  // that fotonauta_fotogramas tells the frames verified and
  // fotonauta_fotograma has nothing more to play.
  lector.r = &grabada;
  lector.siguiente = grabada.cambios.size();
  lector.fotograma = v.fotogramas;
  return v.valida ? 1 : fallo(v.motivo);
}

EXPORTA(fotonauta_error) const char *fotonauta_error()
{
  return error.c_str();
}

EXPORTA(fotonauta_largo_error) uint32_t fotonauta_largo_error()
{
  return static_cast<uint32_t>(error.size());
}

EXPORTA(fotonauta_fotogramas_por_segundo) int32_t fotonauta_fotogramas_por_segundo()
{
  return FOTOGRAMAS_POR_SEGUNDO;
}

// ---------------------------------------------------------------------------
// What a recording read says of itself
// ---------------------------------------------------------------------------

EXPORTA(fotonauta_grabacion_nombre) const char *fotonauta_grabacion_nombre()
{
  return grabada.cabecera.nombre;
}

EXPORTA(fotonauta_grabacion_largo_nombre) uint32_t fotonauta_grabacion_largo_nombre()
{
  return static_cast<uint32_t>(strnlen(grabada.cabecera.nombre, sizeof grabada.cabecera.nombre));
}

EXPORTA(fotonauta_grabacion_fecha) int64_t fotonauta_grabacion_fecha()
{
  return grabada.cabecera.fecha;
}

EXPORTA(fotonauta_grabacion_puntos) int32_t fotonauta_grabacion_puntos()
{
  return grabada.cabecera.puntos;
}

EXPORTA(fotonauta_grabacion_nivel) int32_t fotonauta_grabacion_nivel()
{
  return grabada.cabecera.nivel;
}

EXPORTA(fotonauta_grabacion_fotogramas) uint32_t fotonauta_grabacion_fotogramas()
{
  return grabada.cabecera.fotogramas;
}

EXPORTA(fotonauta_grabacion_suelto) int32_t fotonauta_grabacion_suelto()
{
  return (grabada.cabecera.banderas & REPETICION_SUELTO) != 0 ? 1 : 0;
}


// ---------------------------------------------------------------------------
// The art and the picture
// ---------------------------------------------------------------------------

namespace {

DATAFILE *datos[3] = {};  // grf.dat, fuentes.dat, snd.dat as loaded
bool graficos_tomados = false;

// The RGBA picture, and each 16-bit pixel's RGBA value as the game's window
// on a 24-bit display shows it: each component widened as the library
// widens it.
std::unique_ptr<uint32_t[]> imagen;
std::unique_ptr<uint32_t[]> colores;

void soltar_graficos()
{
  if (graficos_tomados) {
    for (int i = 0; i < NUM_LOSETAS; ++i) {
      destroy_bitmap(loseta[i]);
      loseta[i] = nullptr;
    }
    graficos_tomados = false;
  }
}

// What a game drawn here stands on, once both graphic files are in.
bool graficos_listos()
{
  return graficos_tomados && buffer != nullptr && imagen != nullptr;
}

}  // namespace

void preparar_pantalla()
{
  if (marcador != nullptr) {
    destroy_bitmap(marcador);
  }
  crear_marcador_partida();
  buffer->oculto = false;
  set_clip_rect(buffer, 0, 0, ANCHO_PANTALLA - 1, ALTO_PANTALLA - 1);
  clear_bitmap(buffer);
  std::fill(imagen.get(), imagen.get() + ANCHO_PANTALLA * ALTO_PANTALLA, colores[0]);
}

void pintar_imagen()
{
  for (int y = 0; y < ALTO_PANTALLA; ++y) {
    const auto *o = reinterpret_cast<const uint16_t *>(buffer->line[y]);
    uint32_t *d = imagen.get() + y * ANCHO_PANTALLA;
    for (int x = 0; x < ANCHO_PANTALLA; ++x) {
      d[x] = colores[o[x]];
    }
  }
}

EXPORTA(fotonauta_cargar) int32_t fotonauta_cargar(int32_t cual, uint32_t n)
{
  if (cual < FOTONAUTA_GRF || cual > FOTONAUTA_SONIDOS) {
    return fallo("no such data file");
  }
  if (!cabe(n)) {
    return fallo("more bytes than were asked room for");
  }
  static const char *const NOMBRES[3] = {"grf.dat", "fuentes.dat", "snd.dat"};
  DATAFILE *d = leer_datafile_memoria(memoria.get(), n);
  if (d == nullptr) {
    return fallo(std::string(NOMBRES[cual]) + " is not a data file the game reads");
  }
  if (cual != FOTONAUTA_SONIDOS) {
    const std::string motivo = comprobar_graficos(d, cual == FOTONAUTA_FUENTES, NOMBRES[cual]);
    if (!motivo.empty()) {
      unload_datafile(d);
      return fallo(motivo);
    }
    ver_dejar();
    soltar_graficos();
  }
  unload_datafile(datos[cual]);
  datos[cual] = d;
  if (cual != FOTONAUTA_SONIDOS && datos[FOTONAUTA_GRF] != nullptr && datos[FOTONAUTA_FUENTES] != nullptr) {
    tomar_graficos(datos[FOTONAUTA_GRF], datos[FOTONAUTA_FUENTES]);
    graficos_tomados = true;
    if (buffer == nullptr) {
      buffer = create_bitmap(ANCHO_PANTALLA, ALTO_PANTALLA);
      imagen.reset(new (std::nothrow) uint32_t[ANCHO_PANTALLA * ALTO_PANTALLA]);
      colores.reset(new (std::nothrow) uint32_t[1 << 16]);
      if (buffer == nullptr || imagen == nullptr || colores == nullptr) {
        return fallo("no memory for the picture");
      }
      for (int c = 0; c < (1 << 16); ++c) {
        // RGBA bytes in memory order: red first.
        colores[c] = static_cast<uint32_t>(getr(c)) | static_cast<uint32_t>(getg(c)) << 8 |
                     static_cast<uint32_t>(getb(c)) << 16 | 0xFF000000u;
      }
    }
    crear_colores_juego();
    // The blender the game's window starts with.
    set_trans_blender(0, 0, 0, 240);
    preparar_pantalla();
  }
  return 1;
}

EXPORTA(fotonauta_graficos_listos) int32_t fotonauta_graficos_listos()
{
  return graficos_listos() ? 1 : 0;
}

EXPORTA(fotonauta_idioma) void fotonauta_idioma(int32_t i)
{
  idioma = i == FOTONAUTA_ESPANOL ? IDIOMA_ESPANOL : IDIOMA_INGLES;
}

EXPORTA(fotonauta_imagen) const uint8_t *fotonauta_imagen()
{
  return reinterpret_cast<const uint8_t *>(imagen.get());
}

// ---------------------------------------------------------------------------
// Sounds
// ---------------------------------------------------------------------------

namespace {

// snd.dat's samples as signed 16-bit PCM, made when first asked for.
std::vector<int16_t> pcm[NUM_SONIDOS];

const SAMPLE *muestra(int32_t i)
{
  const DATAFILE *d = datos[FOTONAUTA_SONIDOS];
  if (d == nullptr || i < 0 || i >= NUM_SONIDOS) {
    return nullptr;
  }
  for (int k = 0; k <= i; ++k) {
    if (d[k].type == DAT_END) {
      return nullptr;
    }
  }
  return d[i].type == DAT_SAMPLE ? static_cast<const SAMPLE *>(d[i].dat) : nullptr;
}

}  // namespace

EXPORTA(fotonauta_num_sonidos) uint32_t fotonauta_num_sonidos()
{
  return static_cast<uint32_t>(sonidos_contados().size() / 6);
}

EXPORTA(fotonauta_sonidos) const int32_t *fotonauta_sonidos()
{
  return sonidos_contados().data();
}

EXPORTA(fotonauta_volumen) void fotonauta_volumen(int32_t porcentaje)
{
  sonidos_volumen(porcentaje);
}

EXPORTA(fotonauta_muestra) const int16_t *fotonauta_muestra(int32_t i)
{
  const SAMPLE *s = muestra(i);
  if (s == nullptr) {
    return nullptr;
  }
  std::vector<int16_t> &v = pcm[i];
  if (v.empty()) {
    // Allegro keeps samples unsigned: 8-bit ones about 128, 16-bit ones
    // about 0x8000.
    const size_t n = s->len * (s->stereo ? 2u : 1u);
    v.resize(n);
    for (size_t k = 0; k < n; ++k) {
      v[k] = s->bits == 8 ? static_cast<int16_t>((static_cast<const uint8_t *>(s->data)[k] - 128) * 256)
                          : static_cast<int16_t>(static_cast<const uint16_t *>(s->data)[k] ^ 0x8000u);
    }
  }
  return v.data();
}

EXPORTA(fotonauta_muestra_largo) uint32_t fotonauta_muestra_largo(int32_t i)
{
  const SAMPLE *s = muestra(i);
  return s != nullptr ? static_cast<uint32_t>(s->len) : 0;
}

EXPORTA(fotonauta_muestra_canales) int32_t fotonauta_muestra_canales(int32_t i)
{
  const SAMPLE *s = muestra(i);
  return s == nullptr ? 0 : s->stereo ? 2 : 1;
}

EXPORTA(fotonauta_muestra_frecuencia) int32_t fotonauta_muestra_frecuencia(int32_t i)
{
  const SAMPLE *s = muestra(i);
  return s != nullptr ? s->freq : 0;
}

// ---------------------------------------------------------------------------
// Playing a level alone
// ---------------------------------------------------------------------------

namespace {

nivel_texto nivel_leido;
bool hay_nivel = false;
repeticion jugada;         // the game being played, recorded
bool jugando_nivel = false;
bool nivel_terminado = false;
uint8_t secuencia_antes = secuencia_ninguna;
uint8_t abandono_pedido = 0;
uint8_t alt = 0;

// The pointer's presses as the host reports them, counted, and the frames
// shown: what the game's press latch reads (dlg_ver_botones).
uint32_t pulsaciones[BOTONES_RATON];
uint32_t mostrados = 0;
t_vista_raton vista_juego, vista_clic;
uint8_t boton_visto = 0;

void olvidar(t_vista_raton &v)
{
  v = {};
  std::copy(pulsaciones, pulsaciones + BOTONES_RATON, v.pulsaciones);
  v.fotograma = mostrados;
  v.miro = true;
}

// A look at the buttons, as dlg_botones looks.
int botones(t_vista_raton &v)
{
  if (!dlg_mirando(v.miro, v.fotograma, mostrados)) {
    olvidar(v);
  }
  v.fotograma = mostrados;
  dlg_ver_botones(v, pulsaciones, mouse_b);
  return v.botones;
}

// The game's leer_entrada_juego, from the pointer the host gave.
entrada_juego leer_entrada()
{
  const int b = botones(vista_juego);
  const entrada_juego e = entrada_puntero(b, mouse_x, mouse_y, mouse_z, alt != 0);
  position_mouse_z(0);
  return e;
}

bool clic_tras_cuenta(bool empezar)
{
  if (empezar) {
    olvidar(vista_clic);
    boton_visto = static_cast<uint8_t>(mouse_b & 1);
    return false;
  }
  const uint8_t b = botones(vista_clic) & 1;
  const bool nuevo = b != 0 && boton_visto == 0;
  boton_visto = b;
  return nuevo;
}

std::vector<uint8_t> salida;

uint32_t jugada_fotogramas()
{
  return jugada.cabecera.fotogramas;
}

const uint8_t *dar_salida(std::vector<uint8_t> v)
{
  salida = std::move(v);
  return salida.data();
}

}  // namespace

EXPORTA(fotonauta_nivel_texto) int32_t fotonauta_nivel_texto(uint32_t n)
{
  hay_nivel = false;
  if (!cabe(n)) {
    return fallo("more bytes than were asked room for");
  }
  std::string motivo;
  if (!interpretar_nivel_texto(std::string(reinterpret_cast<const char *>(memoria.get()), n), nivel_leido, motivo)) {
    return fallo(motivo);
  }
  hay_nivel = true;
  return 1;
}

EXPORTA(fotonauta_nivel_titulo) const char *fotonauta_nivel_titulo()
{
  return nivel_leido.titulo.c_str();
}

EXPORTA(fotonauta_nivel_largo_titulo) uint32_t fotonauta_nivel_largo_titulo()
{
  return static_cast<uint32_t>(nivel_leido.titulo.size());
}

EXPORTA(fotonauta_jugar) int32_t fotonauta_jugar(uint64_t semilla)
{
  if (!hay_nivel) {
    return fallo("no level has been read");
  }
  if (!graficos_listos()) {
    return fallo("grf.dat and fuentes.dat are not loaded");
  }
  ver_dejar();
  lector = {};  // the rules are this game's now
  inicio_partida inicio{};
  inicio.suelto = 1;
  inicio.nivel_suelto = &nivel_leido;
  inicio.semilla = semilla;
  jugada = {};
  empezar_grabacion(jugada, inicio);
  empezar_partida(inicio);
  empezar_dibujo(semilla);
  detener_efectos();
  preparar_pantalla();
  rotular_partida(nivel_leido.titulo, {});
  empezar_rotulo();
  mouse_z = 0;
  olvidar(vista_juego);
  secuencia_antes = secuencia_ninguna;
  abandono_pedido = 0;
  jugando_nivel = true;
  nivel_terminado = false;
  return 1;
}

EXPORTA(fotonauta_jugar_fotograma)
int32_t fotonauta_jugar_fotograma(int32_t x, int32_t y, int32_t b, int32_t pulsados, int32_t rueda, int32_t abandono)
{
  if (!jugando_nivel) {
    return 0;
  }
  mouse_x = x;
  mouse_y = y;
  mouse_b = b & (FOTONAUTA_IZQUIERDO | FOTONAUTA_DERECHO);
  alt = (b & FOTONAUTA_ALT) != 0 ? 1 : 0;
  mouse_z = mouse_z + std::clamp(rueda, -1000, 1000);
  for (int k = 0; k < 2; ++k) {
    if ((pulsados & (1 << k)) != 0) {
      ++pulsaciones[k];
    }
  }
  abandono_pedido |= abandono != 0 ? 1 : 0;
  ++mostrados;
  sonidos_olvidar();
  sonidos_contar(true);
  // The game's own loop for one frame shown: a click that ends the bonus
  // count ends the game there, and no frame is drawn.
  if (!cortar_cuenta(secuencia_antes, clic_tras_cuenta)) {
    secuencia_antes = nucleo.secuencia.tipo;
    entrada_juego e;
    if (!en_secuencia()) {
      // Leaving is taken on a frame of play, as the panel's Exit is.
      e.abandono = abandono_pedido;
      abandono_pedido = 0;
      dibujar_estado();
    }
    if (fotograma_logico()) {
      const uint8_t ab = e.abandono;
      e = leer_entrada();
      e.abandono = ab;
    }
    jugar_y_grabar(jugada, e, &ganchos_pantalla);
    presentar_con_rotulos(linea_rotulo(), {}, pintar_imagen);
  }
  if (nucleo.dt_bucle.motivo_fin == jugando) {
    return 1;
  }
  terminar_grabacion(jugada);
  detener_efectos();
  olvidar_rotulo();
  jugando_nivel = false;
  nivel_terminado = true;
  return 0;
}

EXPORTA(fotonauta_eventos_grabados) const uint8_t *fotonauta_eventos_grabados()
{
  if (!nivel_terminado) {
    fallo("no game has ended");
    salida.clear();
    return nullptr;
  }
  return dar_salida(eventos_repeticion(jugada));
}

EXPORTA(fotonauta_nombre) int32_t fotonauta_nombre(uint32_t n)
{
  if (!cabe(n) || n > LONG_NOMBRE) {
    return fallo("a name is at most 20 bytes");
  }
  char nombre[LONG_NOMBRE + 1] = {};
  for (uint32_t i = 0; i < n; ++i) {
    const uint8_t c = memoria[i];
    // Printable ISO 8859-1 only, as the game's name entry takes.
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
      return fallo("a name of printable characters only");
    }
    nombre[i] = static_cast<char>(c);
  }
  for (size_t k = n; k > 0 && nombre[k - 1] == ' '; --k) {
    nombre[k - 1] = '\0';
  }
  memcpy(jugada.cabecera.nombre, nombre, sizeof nombre);
  return 1;
}

EXPORTA(fotonauta_archivo) const uint8_t *fotonauta_archivo(uint32_t n, int64_t fecha)
{
  if (!nivel_terminado || !cabe(n)) {
    fallo(!nivel_terminado ? "no game has ended" : "more bytes than were asked room for");
    salida.clear();
    return nullptr;
  }
  jugada.cabecera.fecha = fecha;
  const size_t largo = eventos_repeticion(jugada).size();
  return dar_salida(montar_repeticion(jugada, std::vector<uint8_t>(memoria.get(), memoria.get() + n), largo));
}

EXPORTA(fotonauta_largo_salida) uint32_t fotonauta_largo_salida()
{
  return static_cast<uint32_t>(salida.size());
}

// ---------------------------------------------------------------------------
// Watching
// ---------------------------------------------------------------------------

EXPORTA(fotonauta_ver) int32_t fotonauta_ver()
{
  if (!leida) {
    return fallo("no recording has been read");
  }
  if (!graficos_listos()) {
    return fallo("grf.dat and fuentes.dat are not loaded");
  }
  lector = {};
  jugando_nivel = nivel_terminado = false;
  std::string motivo;
  return ver_preparar(grabada, motivo) ? 1 : fallo(motivo);
}

EXPORTA(fotonauta_ver_total) uint32_t fotonauta_ver_total()
{
  return ver_total();
}

EXPORTA(fotonauta_ver_actual) int32_t fotonauta_ver_actual()
{
  return ver_actual();
}

EXPORTA(fotonauta_siguiente) int32_t fotonauta_siguiente()
{
  return ver_siguiente() ? 1 : 0;
}

EXPORTA(fotonauta_buscar) int32_t fotonauta_buscar(uint32_t n)
{
  return ver_buscar(n) ? 1 : fallo("nothing is being watched");
}
