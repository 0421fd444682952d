// The music layer: libopenmpt decodes, an Allegro audio stream plays.
#include "audio/musica.h"

#include <libopenmpt/libopenmpt.h>

#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// One piece plays at a time; a second entry covers a stream created while
// the old one is still held.
constexpr int MAX_FLUJOS = 2;

t_flujo flujos[MAX_FLUJOS];
t_canal canales[MAX_FLUJOS];
bool sonido_instalado = false;
uint32_t ultimo_numero = 0;

int volumen_allegro(float v)
{
  if (v <= 0.0f) {
    return 0;
  }
  if (v >= 1.0f) {
    return 255;
  }
  return static_cast<int>(v * 255.0f + 0.5f);
}

// Decodes the next MUS_TROZO frames into one of the stream's buffers, in
// the unsigned 16-bit format Allegro's samples use.
void llenar(openmpt_module *modulo, void *destino)
{
  auto *muestras = static_cast<int16_t *>(destino);
  const size_t hechos = openmpt_module_read_interleaved_stereo(modulo, MUS_FRECUENCIA, MUS_TROZO, muestras);
  auto *salida = static_cast<uint16_t *>(destino);
  for (size_t i = 0; i < 2 * static_cast<size_t>(MUS_TROZO); ++i) {
    // A piece that cannot be decoded any further leaves silence.
    const uint16_t valor = i < 2 * hechos ? static_cast<uint16_t>(muestras[i]) : 0;
    salida[i] = static_cast<uint16_t>(valor ^ 0x8000u);
  }
}

// libopenmpt builds its resampling tables once per process, on the first
// piece it opens: some 16 ms that would otherwise fall on the menu's first
// frame. An empty module opened on a thread of its own while the game
// loads pays them early; the first real piece waits for it to finish, so
// the library is never used from two threads at once.
std::thread precalentamiento;

// The decoder over module data in memory, quiet about what it cannot read.
openmpt_module *abrir_modulo(const void *datos, size_t tam)
{
  return openmpt_module_create_from_memory2(datos, tam, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
                                            nullptr, nullptr, nullptr, nullptr);
}

void abrir_modulo_vacio()
{
  // Four channels, no samples, one empty pattern played once: the title,
  // 31 sample headers, the order list, the "M.K." tag, then the pattern.
  std::vector<uint8_t> modulo(1084 + 1024, 0);
  modulo[950] = 1;
  memcpy(&modulo[1080], "M.K.", 4);
  openmpt_module *m = abrir_modulo(modulo.data(), modulo.size());
  if (m != nullptr) {
    openmpt_module_destroy(m);
  }
}

void esperar_precalentamiento()
{
  if (precalentamiento.joinable()) {
    precalentamiento.join();
  }
}

void alimentar(t_canal *canal)
{
  if (canal->corriente == nullptr || canal->flujo == nullptr) {
    return;
  }
  while (void *buf = get_audio_stream_buffer(canal->corriente)) {
    llenar(canal->flujo->modulo, buf);
    free_audio_stream_buffer(canal->corriente);
  }
}

}  // namespace

void mus_precalentar()
{
  esperar_precalentamiento();
  // A signal can end the program while the thread still runs: exit must
  // wait for it before the libraries' own objects are torn down (and a
  // thread still joinable at exit would abort the program). Registered
  // here, after those objects were made, so it runs before they go.
  static const bool en_salida = atexit(esperar_precalentamiento) == 0;
  (void)en_salida;
  try {
    precalentamiento = std::thread(abrir_modulo_vacio);
  } catch (const std::system_error &) {
    // No thread to spare: the first piece pays for the tables itself.
  }
}

void mus_iniciar(bool hay_sonido)
{
  sonido_instalado = hay_sonido;
}

void mus_cerrar()
{
  esperar_precalentamiento();
  for (t_flujo &f : flujos) {
    if (f.modulo != nullptr) {
      mus_liberar(&f);
    }
  }
  sonido_instalado = false;
}

t_flujo *mus_crear_flujo(const void *datos, size_t tam)
{
  t_flujo *libre = nullptr;
  for (t_flujo &f : flujos) {
    if (f.modulo == nullptr) {
      libre = &f;
      break;
    }
  }
  if (libre == nullptr || datos == nullptr || tam == 0) {
    return nullptr;
  }
  esperar_precalentamiento();
  openmpt_module *m = abrir_modulo(datos, tam);
  if (m == nullptr) {
    return nullptr;
  }
  // Forever: the piece goes back to its loop point with no gap.
  openmpt_module_set_repeat_count(m, -1);
  *libre = {m, ++ultimo_numero, nullptr};
  return libre;
}

t_canal *mus_reproducir(t_flujo *flujo)
{
  if (flujo == nullptr || flujo->modulo == nullptr) {
    return nullptr;
  }
  if (flujo->canal != nullptr) {
    mus_parar(flujo->canal);
  }
  t_canal *canal = nullptr;
  for (t_canal &c : canales) {
    if (c.flujo == nullptr) {
      canal = &c;
      break;
    }
  }
  if (canal == nullptr) {
    return nullptr;
  }
  *canal = {flujo, nullptr, 1.0f, true};
  if (sonido_instalado) {
    canal->corriente = play_audio_stream(MUS_TROZO, 16, TRUE, MUS_FRECUENCIA, 255, 128);
    if (canal->corriente != nullptr) {
      // Silent until unpaused; the first music is in the buffers by then.
      voice_stop(canal->corriente->voice);
      alimentar(canal);
    }
  }
  flujo->canal = canal;
  return canal;
}

void mus_volumen(t_canal *canal, float volumen)
{
  if (canal == nullptr || canal->flujo == nullptr) {
    return;
  }
  canal->volumen = volumen;
  if (canal->corriente != nullptr) {
    voice_set_volume(canal->corriente->voice, volumen_allegro(volumen));
  }
}

void mus_pausar(t_canal *canal, bool pausado)
{
  if (canal == nullptr || canal->flujo == nullptr || canal->pausado == pausado) {
    return;
  }
  canal->pausado = pausado;
  if (canal->corriente != nullptr) {
    if (pausado) {
      voice_stop(canal->corriente->voice);
    } else {
      voice_start(canal->corriente->voice);
    }
  }
}

void mus_parar(t_canal *canal)
{
  if (canal == nullptr || canal->flujo == nullptr) {
    return;
  }
  if (canal->corriente != nullptr) {
    stop_audio_stream(canal->corriente);
  }
  canal->flujo->canal = nullptr;
  *canal = {nullptr, nullptr, 0.0f, false};
}

void mus_liberar(t_flujo *flujo)
{
  if (flujo == nullptr || flujo->modulo == nullptr) {
    return;
  }
  mus_parar(flujo->canal);
  openmpt_module_destroy(flujo->modulo);
  *flujo = {nullptr, 0, nullptr};
}

void mus_actualizar()
{
  for (t_canal &c : canales) {
    alimentar(&c);
  }
}

double mus_posicion(const t_flujo *flujo)
{
  if (flujo == nullptr || flujo->modulo == nullptr) {
    return 0.0;
  }
  return openmpt_module_get_position_seconds(flujo->modulo);
}

void mus_saltar(t_flujo *flujo, double segundos)
{
  if (flujo != nullptr && flujo->modulo != nullptr) {
    openmpt_module_set_position_seconds(flujo->modulo, segundos);
  }
}
