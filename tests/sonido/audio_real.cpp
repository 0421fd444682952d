// audio_real <datos> <informe>: drives the audio module through Allegro's
// real sound output while parec records it from a PulseAudio null sink,
// then checks the recording. Run by ventana/audio_real.sh, which provides
// the X display (Allegro's sound needs one), the sound server and the
// environment that points both Allegro and parec at it.
//
// Every check compares the recording, at the moment an action was taken,
// with what should be heard: silence, the piece decoded on its own from
// the right place, the effect's own samples, or a set of tones.
#include <allegro.h>
#include <libopenmpt/libopenmpt.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/audio.h"
#include "audio/musica.h"

namespace {

constexpr int HZ = 44100;
using reloj = std::chrono::steady_clock;

// ---------------------------------------------------------------------------
// Recording
// ---------------------------------------------------------------------------

struct grabacion {
  std::vector<float> izquierda, derecha;
  // Start of the recording on the steady clock: the earliest moment its
  // first sample can have been captured.
  double inicio = 1e300;
  std::mutex cerrojo;
};

grabacion rec;
pid_t pid_parec = -1;
std::thread lector;
std::atomic<bool> leyendo{false};

double ahora()
{
  return std::chrono::duration<double>(reloj::now().time_since_epoch()).count();
}

bool empezar_grabacion()
{
  int tubo[2];
  if (pipe(tubo) != 0) {
    return false;
  }
  pid_parec = fork();
  if (pid_parec == 0) {
    dup2(tubo[1], 1);
    close(tubo[0]);
    close(tubo[1]);
    execlp("parec", "parec", "-d", "nul.monitor", "--raw", "--format=s16le", "--rate=44100", "--channels=2",
           "--latency-msec=10", static_cast<char *>(nullptr));
    _exit(127);
  }
  close(tubo[1]);
  if (pid_parec < 0) {
    return false;
  }
  leyendo = true;
  const int fd = tubo[0];
  lector = std::thread([fd] {
    std::vector<int16_t> buf(4096);
    size_t frames = 0;
    std::vector<uint8_t> resto;
    for (;;) {
      const ssize_t n = read(fd, buf.data(), buf.size() * 2);
      if (n <= 0) {
        break;
      }
      const double t = ahora();
      std::lock_guard<std::mutex> g(rec.cerrojo);
      resto.insert(resto.end(), reinterpret_cast<uint8_t *>(buf.data()), reinterpret_cast<uint8_t *>(buf.data()) + n);
      const size_t completos = resto.size() / 4;
      for (size_t i = 0; i < completos; ++i) {
        const int16_t l = int16_t(resto[4 * i] | (resto[4 * i + 1] << 8));
        const int16_t r = int16_t(resto[4 * i + 2] | (resto[4 * i + 3] << 8));
        rec.izquierda.push_back(float(l) / 32768.0f);
        rec.derecha.push_back(float(r) / 32768.0f);
      }
      resto.erase(resto.begin(), resto.begin() + long(completos * 4));
      frames += completos;
      rec.inicio = std::min(rec.inicio, t - double(frames) / HZ);
    }
    close(fd);
    leyendo = false;
  });
  return true;
}

void parar_grabacion()
{
  if (pid_parec > 0) {
    kill(pid_parec, SIGTERM);
    waitpid(pid_parec, nullptr, 0);
    pid_parec = -1;
  }
  if (lector.joinable()) {
    lector.join();
  }
}

// The recording as it came, for a look when a check fails.
void guardar_grabacion(const std::string &ruta)
{
  std::FILE *f = std::fopen(ruta.c_str(), "wb");
  if (!f) {
    return;
  }
  for (size_t i = 0; i < rec.izquierda.size(); ++i) {
    const int16_t m[2] = {int16_t(std::lround(rec.izquierda[i] * 32768.0f)),
                          int16_t(std::lround(rec.derecha[i] * 32768.0f))};
    std::fwrite(m, sizeof m, 1, f);
  }
  std::fclose(f);
}

size_t frame_de(double t)
{
  return size_t(std::max(0.0, (t - rec.inicio) * HZ));
}

// ---------------------------------------------------------------------------
// Measures
// ---------------------------------------------------------------------------

double rms(const std::vector<float> &s, size_t desde, size_t n)
{
  if (desde + n > s.size()) {
    return -1;
  }
  double suma = 0;
  for (size_t i = desde; i < desde + n; ++i) {
    suma += double(s[i]) * s[i];
  }
  return std::sqrt(suma / double(n));
}

// Normalised correlation of a[ia..] with b[ib..] over n samples.
double correlacion(const std::vector<float> &a, size_t ia, const std::vector<float> &b, size_t ib, size_t n,
                   size_t paso = 1)
{
  if (ia + n > a.size() || ib + n > b.size()) {
    return 0;
  }
  double ab = 0, aa = 0, bb = 0;
  for (size_t i = 0; i < n; i += paso) {
    ab += double(a[ia + i]) * b[ib + i];
    aa += double(a[ia + i]) * a[ia + i];
    bb += double(b[ib + i]) * b[ib + i];
  }
  return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0;
}

// Where in `grab` (searching from `desde`, up to `margen` frames on) the
// first `n` frames of `ref` are found; coarse on every 4th frame, then
// exact. Returns the frame and leaves the correlation in `mejor`.
size_t alinear(const std::vector<float> &grab, size_t desde, size_t margen, const std::vector<float> &ref, size_t n,
               double &mejor)
{
  mejor = -1;
  size_t donde = desde;
  for (size_t k = desde; k < desde + margen; k += 4) {
    const double c = correlacion(grab, k, ref, 0, n, 4);
    if (c > mejor) {
      mejor = c;
      donde = k;
    }
  }
  const size_t centro = donde;
  mejor = -1;
  for (size_t k = centro > 8 ? centro - 8 : 0; k < centro + 8; ++k) {
    const double c = correlacion(grab, k, ref, 0, n);
    if (c > mejor) {
      mejor = c;
      donde = k;
    }
  }
  return donde;
}

// The worst correlation of 50 ms windows, every 25 ms, of `ref` against
// `grab` from `en` on: any gap, repeat or click shows up as a bad window.
double peor_ventana(const std::vector<float> &grab, size_t en, const std::vector<float> &ref, double &donde)
{
  double peor = 1;
  donde = 0;
  for (size_t i = 0; i + HZ / 20 <= ref.size(); i += HZ / 40) {
    const double c = correlacion(grab, en + i, ref, i, HZ / 20);
    if (c < peor) {
      peor = c;
      donde = double(i) / HZ;
    }
  }
  return peor;
}

// Amplitude of the sine at `f` Hz in s[desde..desde+n).
double tono(const std::vector<float> &s, size_t desde, size_t n, double f)
{
  double re = 0, im = 0;
  for (size_t i = 0; i < n; ++i) {
    const double a = 2 * M_PI * f * double(i) / HZ;
    re += s[desde + i] * std::cos(a);
    im += s[desde + i] * std::sin(a);
  }
  return 2 * std::sqrt(re * re + im * im) / double(n);
}

// The left channel of piece `n` decoded from `segundos` on, as the music
// layer decodes it (stereo interleaved is read, the left kept).
std::vector<float> referencia(int n, double segundos, double largo)
{
  const DATAFILE &o = f_msc[n];
  openmpt_module *m = openmpt_module_create_from_memory2(o.dat, size_t(o.size), openmpt_log_func_silent, nullptr,
                                                         openmpt_error_func_ignore, nullptr, nullptr, nullptr,
                                                         nullptr);
  openmpt_module_set_repeat_count(m, -1);
  openmpt_module_set_position_seconds(m, segundos);
  std::vector<int16_t> estereo(2 * size_t(largo * HZ));
  openmpt_module_read_interleaved_stereo(m, HZ, estereo.size() / 2, estereo.data());
  openmpt_module_destroy(m);
  std::vector<float> izquierda(estereo.size() / 2);
  for (size_t i = 0; i < izquierda.size(); ++i) {
    izquierda[i] = float(estereo[2 * i]) / 32768.0f;
  }
  return izquierda;
}

double duracion(int n)
{
  const DATAFILE &o = f_msc[n];
  openmpt_module *m = openmpt_module_create_from_memory2(o.dat, size_t(o.size), openmpt_log_func_silent, nullptr,
                                                         openmpt_error_func_ignore, nullptr, nullptr, nullptr,
                                                         nullptr);
  const double d = openmpt_module_get_duration_seconds(m);
  openmpt_module_destroy(m);
  return d;
}

// ---------------------------------------------------------------------------
// The script of actions
// ---------------------------------------------------------------------------

// Runs `segundos` of 40 Hz frames, asking for `musica` each frame as every
// screen of the game does (-2: no call at all).
void fotogramas(double segundos, int8_t musica)
{
  const auto fin = reloj::now() + std::chrono::duration<double>(segundos);
  auto siguiente = reloj::now();
  while (reloj::now() < fin) {
    if (musica != -2) {
      reproducir_musica(musica);
    }
    siguiente += std::chrono::milliseconds(25);
    std::this_thread::sleep_until(siguiente);
  }
}

int fallos = 0;
std::FILE *informe = stdout;

void comprobar(bool ok, const std::string &que, const std::string &cifras)
{
  std::fprintf(informe, "%s %s: %s\n", ok ? "ok   " : "FALLO", que.c_str(), cifras.c_str());
  std::fflush(informe);
  if (!ok) {
    std::fprintf(stderr, "FALLO %s: %s\n", que.c_str(), cifras.c_str());
    ++fallos;
  }
}

__attribute__((format(printf, 1, 2))) std::string cifras(const char *formato, ...)
{
  char texto[256];
  va_list args;
  va_start(args, formato);
  std::vsnprintf(texto, sizeof texto, formato, args);
  va_end(args);
  return texto;
}

}  // namespace

int main(int argc, char **argv)
{
  if (argc != 3) {
    std::fprintf(stderr, "usage: audio_real <data folder> <report file>\n");
    return 2;
  }
  if (chdir(argv[1]) != 0) {
    std::perror(argv[1]);
    return 2;
  }
  informe = std::fopen(argv[2], "w");
  if (!informe) {
    std::perror(argv[2]);
    return 2;
  }
  if (allegro_init() != 0) {
    std::fprintf(stderr, "no display for Allegro\n");
    return 2;
  }
  install_timer();
  ini_audio();
  if (digi_driver == nullptr || digi_driver->id == DIGI_NONE) {
    std::fprintf(stderr, "no sound output: %s\n", allegro_error);
    return 2;
  }
  comprobar(digi_driver->voices >= VOCES_RESERVADAS, "voices", cifras("%d of the driver", digi_driver->voices));
  if (f_msc == nullptr || f_audio == nullptr) {
    std::fprintf(stderr, "msc.dat or snd.dat missing from %s\n", argv[1]);
    return 2;
  }
  if (!empezar_grabacion()) {
    std::fprintf(stderr, "cannot start parec\n");
    return 2;
  }
  // Until the recording flows.
  for (int i = 0; i < 100 && rec.inicio > 1e299; ++i) {
    rest(20);
  }
  modificar_volson(100, -1);
  modificar_volmus(100);
  fotogramas(0.6, -2);

  // 1. Music 0 starts, from its beginning, within a second.
  const double t_musica = ahora();
  fotogramas(3.0, MUSICA_MENU);
  // 2. Jump to two seconds before the loop point and play across it.
  const double fin_pieza = duracion(MUSICA_MENU);
  mus_saltar(sm, fin_pieza - 2.0);
  const double t_salto = ahora();
  // The jump is heard once what is already buffered has played.
  fotogramas(7.0, MUSICA_MENU);
  // 3. Volume 0 silences it; raised again, it starts from the beginning.
  const double t_cero = ahora();
  modificar_volmus(0);
  fotogramas(1.5, MUSICA_MENU);
  const double t_sube = ahora();
  modificar_volmus(100);
  fotogramas(3.0, MUSICA_MENU);
  parar_musica();
  fotogramas(0.8, -2);
  // 4. An effect, on its own.
  const double t_efecto = ahora();
  const int8_t explosion = reproducir_sonido(SND_EXPLOSION, SONIDO_UNA_VEZ);
  fotogramas(2.2, -2);
  // 5. The overload alarm loops until it is stopped.
  const double t_alarma = ahora();
  const int8_t alarma = reproducir_sonido(SND_ALARMA_SOBRECARGA, SONIDO_BUCLE);
  fotogramas(3.0, -2);
  const double t_para_alarma = ahora();
  detener_sonido(alarma);
  fotogramas(1.2, -2);
  // 6. Sixteen effects at once over the music: sixteen steady tones, each
  // a whole number of cycles long so it loops cleanly; a seventeenth is
  // refused and nothing stops.
  constexpr int TONOS = MAX_VOCES;
  SAMPLE *tonos[TONOS + 1];
  double frecuencias[TONOS + 1];
  for (int k = 0; k <= TONOS; ++k) {
    frecuencias[k] = 420 + 100 * k;
    tonos[k] = create_sample(16, 0, HZ, HZ);
    auto *d = static_cast<uint16_t *>(tonos[k]->data);
    for (int i = 0; i < HZ; ++i) {
      d[i] = uint16_t(int(std::lround(0.06 * 32767 * std::sin(2 * M_PI * frecuencias[k] * i / HZ))) + 0x8000);
    }
  }
  fotogramas(1.0, 1);
  int8_t slots[TONOS];
  bool en_orden = true;
  for (int k = 0; k < TONOS; ++k) {
    slots[k] = reproducir_onda(tonos[k], SONIDO_BUCLE);
    en_orden = en_orden && slots[k] == k;
  }
  const int8_t decimoseptimo = reproducir_onda(tonos[TONOS], SONIDO_BUCLE);
  const double t_tonos = ahora();
  fotogramas(2.5, 1);
  const double t_sin_tonos = ahora();
  detener_sonidos(1);
  fotogramas(2.0, 1);
  parar_musica();
  fotogramas(0.3, -2);
  parar_grabacion();

  // ---- What was heard ----
  const std::vector<float> &g = rec.izquierda;
  std::fprintf(informe, "recorded %.1f s\n", double(g.size()) / HZ);
  const size_t diez_ms = HZ / 100;

  comprobar(rms(g, frame_de(t_musica) - HZ / 2, HZ / 2) < 0.001, "silence before the music",
            cifras("RMS %.5f", rms(g, frame_de(t_musica) - HZ / 2, HZ / 2)));

  // 1. Onset, and the piece's opening.
  double inicio = -1;
  for (size_t i = frame_de(t_musica); i < frame_de(t_musica + 2.0); i += diez_ms) {
    if (rms(g, i, diez_ms) > 0.01) {
      inicio = double(i) / HZ + rec.inicio - t_musica;
      break;
    }
  }
  comprobar(inicio >= 0 && inicio < 1.0, "music 0 audible within a second", cifras("after %.3f s", inicio));
  const std::vector<float> apertura = referencia(MUSICA_MENU, 0, 2.5);
  double c_apertura = 0, t_peor = 0;
  const size_t en_apertura = alinear(g, frame_de(t_musica), HZ, apertura, HZ, c_apertura);
  const double peor_apertura = peor_ventana(g, en_apertura, apertura, t_peor);
  comprobar(c_apertura > 0.9 && peor_apertura > 0.9, "music 0 from its beginning, unbroken",
            cifras("correlation %.3f at %.3f s, worst 50 ms window %.3f at %.3f s", c_apertura,
                   double(en_apertura) / HZ + rec.inicio - t_musica, peor_apertura, t_peor));
  // Nothing silent from the onset to the jump.
  double minimo = 1;
  for (size_t i = en_apertura; i + diez_ms < frame_de(t_salto); i += diez_ms) {
    minimo = std::min(minimo, rms(g, i, diez_ms));
  }
  comprobar(minimo > 0.003, "no gap while music 0 plays", cifras("quietest 10 ms RMS %.4f", minimo));

  // 2. Across the loop point: the recording matches the piece decoded on
  // its own across the same point, window by window.
  const std::vector<float> costura = referencia(MUSICA_MENU, fin_pieza - 2.0, 4.2);
  double c_costura = 0;
  const size_t en_costura = alinear(g, frame_de(t_salto), HZ * 2, costura, HZ / 2, c_costura);
  const double peor = peor_ventana(g, en_costura, costura, t_peor);
  comprobar(c_costura > 0.9 && peor > 0.9, "music 0 across its loop point, no gap or click",
            cifras("alignment %.3f, worst 50 ms window %.3f at %+.3f s from the loop point", c_costura, peor,
                   t_peor - 2.0));

  // 3. Volume 0 and back.
  const double silencio = rms(g, frame_de(t_cero + 0.5), frame_de(t_sube) - frame_de(t_cero + 0.5));
  comprobar(silencio < 0.0005, "silent at music volume 0", cifras("RMS %.5f", silencio));
  double c_vuelta = 0;
  const size_t en_vuelta = alinear(g, frame_de(t_sube), HZ, apertura, HZ, c_vuelta);
  const double retraso_vuelta = double(en_vuelta) / HZ + rec.inicio - t_sube;
  const double peor_vuelta = peor_ventana(g, en_vuelta, apertura, t_peor);
  comprobar(c_vuelta > 0.9 && peor_vuelta > 0.9 && retraso_vuelta < 1.0,
            "raised again, music 0 restarts from its beginning",
            cifras("correlation %.3f, %.3f s after the volume came back, worst 50 ms window %.3f", c_vuelta,
                   retraso_vuelta, peor_vuelta));

  // 4. The explosion, as it is in snd.dat (centred: half on each side).
  const auto *muestra = static_cast<const SAMPLE *>(f_audio[SND_EXPLOSION].dat);
  std::vector<float> exp_ref(muestra->len);
  for (size_t i = 0; i < exp_ref.size(); ++i) {
    exp_ref[i] = float(int(static_cast<const uint16_t *>(muestra->data)[i]) - 0x8000) / 32768.0f;
  }
  double c_efecto = 0;
  const size_t en_efecto = alinear(g, frame_de(t_efecto), HZ, exp_ref, HZ / 2, c_efecto);
  comprobar(explosion >= 0 && c_efecto > 0.9, "an effect is heard",
            cifras("slot %d, correlation %.3f, %.3f s after the call", int(explosion), c_efecto,
                   double(en_efecto) / HZ + rec.inicio - t_efecto));

  // 5. The alarm: sound in every tenth of a second until stopped, then none.
  double alarma_min = 1;
  for (size_t i = frame_de(t_alarma + 0.5); i + HZ / 10 < frame_de(t_para_alarma); i += HZ / 10) {
    alarma_min = std::min(alarma_min, rms(g, i, HZ / 10));
  }
  const double tras_alarma = rms(g, frame_de(t_para_alarma + 0.5), HZ / 2);
  comprobar(alarma >= 0 && alarma_min > 0.02 && tras_alarma < 0.0005, "the looping alarm sounds until stopped",
            cifras("quietest 100 ms RMS %.4f while on, RMS %.5f after", alarma_min, tras_alarma));

  // 6. Sixteen tones and the music together, the seventeenth refused.
  comprobar(en_orden && decimoseptimo == -1, "16 effects get slots 0 to 15 and a 17th gets -1",
            cifras("17th returned %d", int(decimoseptimo)));
  const size_t ventana_tonos = frame_de(t_tonos + 0.6);
  double tono_min = 1, tono_max = 0, resto_max = 0;
  for (int k = 0; k < TONOS; ++k) {
    const double a = tono(g, ventana_tonos, HZ, frecuencias[k]);
    tono_min = std::min(tono_min, a);
    tono_max = std::max(tono_max, a);
  }
  resto_max = tono(g, ventana_tonos, HZ, frecuencias[TONOS]);
  // Each tone is 0.06 of full scale, halved by the mixer's centre pan.
  comprobar(tono_min > 0.02 && tono_max < 0.045 && resto_max < 0.01, "16 effects sound together",
            cifras("tone amplitudes %.4f to %.4f; the refused 17th %.4f", tono_min, tono_max, resto_max));
  const double musica_tras = rms(g, frame_de(t_sin_tonos + 0.6), HZ);
  double tonos_tras = 0;
  for (int k = 0; k < TONOS; ++k) {
    tonos_tras = std::max(tonos_tras, tono(g, frame_de(t_sin_tonos + 0.6), HZ, frecuencias[k]));
  }
  comprobar(musica_tras > 0.01 && tonos_tras < 0.01, "the music played on beside them",
            cifras("music RMS %.4f once the tones stopped, largest tone left %.4f", musica_tras, tonos_tras));

  for (SAMPLE *s : tonos) {
    destroy_sample(s);
  }
  fin_audio();
  if (fallos > 0) {
    guardar_grabacion(std::string(argv[2]) + ".raw");
    std::fprintf(informe, "recording kept as %s.raw (s16le, stereo, 44100 Hz); actions at", argv[2]);
    for (const double t : {t_musica, t_salto, t_cero, t_sube, t_efecto, t_alarma, t_para_alarma, t_tonos, t_sin_tonos}) {
      std::fprintf(informe, " %.3f", t - rec.inicio);
    }
    std::fprintf(informe, " s\n");
  }
  std::fprintf(informe, "%d failed\n", fallos);
  std::fclose(informe);
  return fallos == 0 ? 0 : 1;
}
END_OF_MAIN()
