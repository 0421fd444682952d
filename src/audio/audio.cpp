// Music and sound effects: the piece selected frame by frame, the effect
// slots, and both volumes.
#include "audio/audio.h"

#include "audio/musica.h"
#include "cargador/cargador.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

DATAFILE *f_msc = nullptr;
DATAFILE *f_audio = nullptr;
t_flujo *sm = nullptr;
t_canal *canal_musica = nullptr;
int8_t musica_sonando = -1;
float vol_mus = 0.0f;
uint8_t vol_son = 0;
t_voz voz[MAX_VOCES] = {};

namespace {

// Object `n` of a datafile, or null when the file was not loaded or holds
// fewer objects: a missing msc.dat or snd.dat means no music or no effects.
DATAFILE *objeto(DATAFILE *fichero, int n)
{
  if (fichero == nullptr || n < 0) {
    return nullptr;
  }
  for (int i = 0; fichero[i].type != DAT_END; ++i) {
    if (i == n) {
      return &fichero[i];
    }
  }
  return nullptr;
}

SAMPLE *muestra_efecto(int8_t n)
{
  DATAFILE *o = objeto(f_audio, n);
  return o != nullptr && o->type == DAT_SAMPLE ? static_cast<SAMPLE *>(o->dat) : nullptr;
}

bool slot_en_uso(int8_t slot)
{
  return slot >= 0 && slot < MAX_VOCES && voz[slot].estado != VOZ_LIBRE;
}

void liberar_slot(int i)
{
  deallocate_voice(voz[i].num_voz);
  voz[i].estado = VOZ_LIBRE;
}

void soltar_musica()
{
  mus_liberar(sm);
  sm = nullptr;
  canal_musica = nullptr;
}

// Allegro tries each sound system in turn, and the ones that find no
// device (ALSA with no card, for one) complain on standard error on their
// own; a machine without sound is not an error for the game, so their
// complaints are dropped while the driver is chosen.
bool instalar_sonido()
{
  std::fflush(stderr);
  const int guardado = dup(STDERR_FILENO);
  const int nulo = open("/dev/null", O_WRONLY);
  if (guardado >= 0 && nulo >= 0) {
    dup2(nulo, STDERR_FILENO);
  }
  const bool ok = install_sound(DIGI_AUTODETECT, MIDI_NONE, nullptr) == 0;
  if (guardado >= 0 && nulo >= 0) {
    dup2(guardado, STDERR_FILENO);
  }
  if (nulo >= 0) {
    close(nulo);
  }
  if (guardado >= 0) {
    close(guardado);
  }
  return ok;
}

}  // namespace

void adelantar_audio()
{
  static const char *const FICHEROS[] = {"msc.dat", "snd.dat"};
  mus_precalentar();
  adelantar_datafiles(FICHEROS, 2, true);
}

void ini_audio()
{
  // A missing, cut-off or foreign file means no music or no effects.
  // Taken before the sound starts, so no thread still reads while it does.
  f_msc = cargar_datafile("msc.dat");
  f_audio = cargar_datafile("snd.dat");
  reserve_voices(VOCES_RESERVADAS, 0);
  // Without a sound device this fails and the game runs silently.
  mus_iniciar(instalar_sonido());
}

void fin_audio()
{
  if (musica_sonando >= 0) {
    soltar_musica();
    musica_sonando = -1;
  }
  mus_cerrar();
  // The voices play straight from snd.dat's samples: none may outlive it.
  detener_sonidos(1);
  if (f_msc != nullptr) {
    unload_datafile(f_msc);
    f_msc = nullptr;
  }
  if (f_audio != nullptr) {
    unload_datafile(f_audio);
    f_audio = nullptr;
  }
}

void reproducir_musica(int8_t n)
{
  if (vol_mus == 0.0f) {
    return;
  }
  mus_actualizar();
  if (n == musica_sonando || n < 0) {
    return;
  }
  if (musica_sonando >= 0) {
    soltar_musica();
  }
  // Remembered even when the piece cannot be played, so it is not tried
  // again on every frame.
  musica_sonando = n;
  // Only raw data can be a piece: any other object's size is not that of
  // what its pointer holds, and the decoder would read past its end.
  DATAFILE *o = objeto(f_msc, n);
  if (o != nullptr && o->type == DAT_DATA) {
    sm = mus_crear_flujo(o->dat, static_cast<size_t>(o->size));
  }
  canal_musica = mus_reproducir(sm);
  mus_volumen(canal_musica, vol_mus);
  mus_pausar(canal_musica, false);
}

void parar_musica()
{
  if (musica_sonando >= 0) {
    soltar_musica();
    musica_sonando = -1;
  }
}

void modificar_volmus(uint8_t porcentaje)
{
  if (porcentaje > 100) {
    return;
  }
  vol_mus = static_cast<float>(porcentaje) / 100.0f;
  if (musica_sonando < 0) {
    return;
  }
  if (vol_mus == 0.0f) {
    // Off until the volume comes back; then the screen's next
    // reproducir_musica starts its piece from the beginning.
    mus_parar(canal_musica);
    soltar_musica();
    musica_sonando = -1;
  } else {
    mus_volumen(canal_musica, vol_mus);
  }
}

void modificar_volson(uint8_t porcentaje, int8_t slot)
{
  if (porcentaje > 100) {
    return;
  }
  // Through single precision on purpose: 100 x 2.55 is 254.99... in double
  // and must come out as 255.
  vol_son = static_cast<uint8_t>(static_cast<float>(porcentaje * 2.55));
  if (slot_en_uso(slot)) {
    voice_set_volume(voz[slot].num_voz, vol_son);
  }
}

int32_t rep_snd_onda(SAMPLE *sample, int8_t n, int8_t modo)
{
  if (vol_son == 0) {
    return -1;
  }
  // The first free slot, reclaiming finished one-shots on the way.
  int i = 0;
  for (; i < MAX_VOCES; ++i) {
    if (voz[i].estado == VOZ_UNA_VEZ && voice_get_position(voz[i].num_voz) == -1) {
      liberar_slot(i);
    }
    if (voz[i].estado == VOZ_LIBRE) {
      break;
    }
  }
  if (i == MAX_VOCES) {
    return -1;
  }
  SAMPLE *s = sample != nullptr ? sample : muestra_efecto(n);
  if (s == nullptr) {
    return -1;
  }
  const int v = allocate_voice(s);
  if (v == -1) {
    return -1;
  }
  voz[i].num_voz = v;
  voice_set_volume(v, vol_son);
  voice_set_playmode(v, modo >= 0 ? modo : PLAYMODE_PLAY);
  voice_start(v);
  voz[i].estado = modo < 0 ? VOZ_RETENIDA : (modo == 0 ? VOZ_UNA_VEZ : VOZ_BUCLE);
  return i;
}

int8_t reproducir_sonido(int8_t n, int8_t modo)
{
  return static_cast<int8_t>(rep_snd_onda(nullptr, n, modo));
}

int8_t reproducir_onda(SAMPLE *sample, int8_t modo)
{
  // A missing sample is no sound, not effect 0.
  if (sample == nullptr) {
    return -1;
  }
  return static_cast<int8_t>(rep_snd_onda(sample, 0, modo));
}

void detener_sonido(int8_t slot)
{
  if (slot_en_uso(slot)) {
    liberar_slot(slot);
  }
}

void detener_sonidos(uint8_t todos)
{
  for (int i = 0; i < MAX_VOCES; ++i) {
    const int8_t e = voz[i].estado;
    if (e == VOZ_UNA_VEZ || e == VOZ_BUCLE || (e == VOZ_RETENIDA && todos != 0)) {
      liberar_slot(i);
    }
  }
}

void pausar_sonidos()
{
  for (int i = 0; i < MAX_VOCES; ++i) {
    if (voz[i].estado == VOZ_UNA_VEZ || voz[i].estado == VOZ_RETENIDA) {
      liberar_slot(i);
    } else if (voz[i].estado == VOZ_BUCLE) {
      voice_stop(voz[i].num_voz);
    }
  }
}

void reanudar_sonidos()
{
  for (const t_voz &v : voz) {
    if (v.estado != VOZ_LIBRE) {
      voice_start(v.num_voz);
    }
  }
}

void reiniciar_sonido(int8_t slot)
{
  if (slot_en_uso(slot)) {
    voice_set_position(voz[slot].num_voz, 0);
  }
}
