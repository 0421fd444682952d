// The audio module's bookkeeping: the effect slots through their states,
// the volumes, and which music piece is playing, with the sound driver
// replaced by doubles. (Allegro's install_sound cannot run here: without a
// display it crashes; the real output is tested by ventana/audio_real.sh.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <vector>

#include "arnes/dobles.h"
#include "audio/audio.h"
#include "audio/musica.h"

namespace fs = std::filesystem;

namespace {

// A voice as the doubles keep it.
struct voz_doble {
  bool asignada = false;
  bool sonando = false;
  int posicion = 0;  // what voice_get_position answers; -1 = ended
  int volumen = -1;
  int modo = -1;
};

struct {
  std::vector<voz_doble> voces;
  int max_voces = 64;           // allocate_voice fails past this many
  std::vector<int> liberadas;   // deallocate_voice calls, in order
  int reservadas = -2, reservadas_midi = -2;
  int instalaciones = 0, driver_digital = 0, driver_midi = 0;
} sonido;

void reiniciar_sonido_doble()
{
  sonido.voces.clear();
  sonido.max_voces = 64;
  sonido.liberadas.clear();
  sonido.reservadas = sonido.reservadas_midi = -2;
  sonido.instalaciones = sonido.driver_digital = sonido.driver_midi = 0;
}

voz_doble &voz_de(int v)
{
  return sonido.voces.at(static_cast<size_t>(v));
}

}  // namespace

extern "C" {

void __wrap_reserve_voices(int digital, int midi)
{
  sonido.reservadas = digital;
  sonido.reservadas_midi = midi;
}

int __wrap_install_sound(int digital, int midi, const char *)
{
  ++sonido.instalaciones;
  sonido.driver_digital = digital;
  sonido.driver_midi = midi;
  return -1;  // no sound device here
}

int __wrap_allocate_voice(const SAMPLE *)
{
  for (size_t i = 0; i < sonido.voces.size(); ++i) {
    if (!sonido.voces[i].asignada) {
      sonido.voces[i] = {true};
      return static_cast<int>(i);
    }
  }
  if (static_cast<int>(sonido.voces.size()) >= sonido.max_voces) {
    return -1;
  }
  sonido.voces.push_back({true});
  return static_cast<int>(sonido.voces.size() - 1);
}

void __wrap_deallocate_voice(int v)
{
  sonido.liberadas.push_back(v);
  voz_de(v) = {};
}

void __wrap_voice_start(int v)
{
  voz_de(v).sonando = true;
}

void __wrap_voice_stop(int v)
{
  voz_de(v).sonando = false;
}

void __wrap_voice_set_volume(int v, int volumen)
{
  voz_de(v).volumen = volumen;
}

void __wrap_voice_set_playmode(int v, int modo)
{
  voz_de(v).modo = modo;
}

int __wrap_voice_get_position(int v)
{
  return voz_de(v).posicion;
}

void __wrap_voice_set_position(int v, int posicion)
{
  voz_de(v).posicion = posicion;
}

}  // extern "C"

namespace {

// Runs each test in a folder of its own, holding the data files it asks
// for, with ini_audio done and fin_audio to follow.
class Audio : public ::testing::Test {
 protected:
  fs::path carpeta, anterior;
  SAMPLE *muestra = nullptr;

  void SetUp() override
  {
    reiniciar_dobles();
    reiniciar_sonido_doble();
    ASSERT_EQ(install_allegro(SYSTEM_NONE, &errno, atexit), 0);
    anterior = fs::current_path();
    char plantilla[] = "/tmp/fotonauta-audio-XXXXXX";
    carpeta = mkdtemp(plantilla);
    fs::current_path(carpeta);
    muestra = create_sample(16, 0, 44100, 100);
  }

  void TearDown() override
  {
    fin_audio();
    modificar_volmus(0);
    modificar_volson(0, -1);
    destroy_sample(muestra);
    fs::current_path(anterior);
    fs::remove_all(carpeta);
    allegro_exit();
  }

  void arrancar(bool con_musica = true, bool con_efectos = true)
  {
    if (con_musica) {
      fs::copy_file(fs::path(FOTONAUTA_DATOS_DIR) / "msc.dat", carpeta / "msc.dat");
    }
    if (con_efectos) {
      fs::copy_file(fs::path(FOTONAUTA_DATOS_DIR) / "snd.dat", carpeta / "snd.dat");
    }
    ini_audio();
  }

  // Starts `n` effects in `modo`, checking each got the next slot.
  void llenar(int n, int8_t modo)
  {
    for (int i = 0; i < n; ++i) {
      ASSERT_NE(reproducir_sonido(SND_TIC, modo), -1) << "effect " << i;
    }
  }

  int voces_sonando() const
  {
    int n = 0;
    for (const voz_doble &v : sonido.voces) {
      n += v.asignada && v.sonando;
    }
    return n;
  }
};

// ---------------------------------------------------------------------------
// Start-up and shutdown
// ---------------------------------------------------------------------------

TEST_F(Audio, ReservaUnaVozParaCadaEfectoYOtraParaLaMusica)
{
  arrancar();
  EXPECT_EQ(sonido.reservadas, MAX_VOCES + 1);
  EXPECT_EQ(sonido.reservadas_midi, 0);
  EXPECT_EQ(sonido.instalaciones, 1);
  EXPECT_EQ(sonido.driver_digital, DIGI_AUTODETECT);
  EXPECT_EQ(sonido.driver_midi, MIDI_NONE);
  EXPECT_NE(f_msc, nullptr);
  EXPECT_NE(f_audio, nullptr);
}

TEST_F(Audio, SinFicherosNoHayMusicaNiEfectosYNadaFalla)
{
  arrancar(false, false);
  modificar_volmus(100);
  modificar_volson(100, -1);
  EXPECT_EQ(f_msc, nullptr);
  EXPECT_EQ(f_audio, nullptr);

  reproducir_musica(MUSICA_MENU);
  reproducir_musica(MUSICA_MENU);
  EXPECT_EQ(sm, nullptr);
  // Remembered, so the missing piece is not looked for on every frame.
  EXPECT_EQ(musica_sonando, MUSICA_MENU);
  parar_musica();
  EXPECT_EQ(musica_sonando, -1);

  EXPECT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), -1);
  EXPECT_EQ(reproducir_sonido(SND_ALARMA_MINA, SONIDO_BUCLE), -1);
  EXPECT_TRUE(sonido.voces.empty());
  // A sample of its own (the intro's) still plays.
  EXPECT_EQ(reproducir_onda(muestra, SONIDO_UNA_VEZ), 0);
}

TEST_F(Audio, NumerosFueraDeLosFicherosNoSuenan)
{
  arrancar();
  modificar_volmus(100);
  modificar_volson(100, -1);
  EXPECT_EQ(reproducir_sonido(NUM_SONIDOS, SONIDO_UNA_VEZ), -1);
  EXPECT_EQ(reproducir_sonido(100, SONIDO_UNA_VEZ), -1);
  EXPECT_EQ(reproducir_onda(nullptr, SONIDO_UNA_VEZ), -1);
  EXPECT_TRUE(sonido.voces.empty());
  reproducir_musica(NUM_MUSICAS);
  EXPECT_EQ(sm, nullptr);
  // Every real piece is a module the decoder opens.
  for (int8_t n = 0; n < NUM_MUSICAS; ++n) {
    reproducir_musica(n);
    EXPECT_NE(sm, nullptr) << "piece " << int(n);
  }
}

TEST_F(Audio, AlTerminarNingunaVozSigueSonandoDeLosSamplesLiberados)
{
  arrancar();
  modificar_volmus(100);
  modificar_volson(100, -1);
  reproducir_musica(1);
  ASSERT_EQ(reproducir_sonido(SND_ALARMA_SOBRECARGA, SONIDO_BUCLE), 0);
  ASSERT_EQ(reproducir_sonido(SND_TIC, -1), 1);
  fin_audio();
  EXPECT_EQ(voces_sonando(), 0);
  EXPECT_EQ(sonido.liberadas.size(), 2u);
  EXPECT_EQ(musica_sonando, -1);
  EXPECT_EQ(sm, nullptr);
  EXPECT_EQ(f_msc, nullptr);
  EXPECT_EQ(f_audio, nullptr);
  for (const t_voz &v : voz) {
    EXPECT_EQ(v.estado, VOZ_LIBRE);
  }
}

// ---------------------------------------------------------------------------
// Volumes
// ---------------------------------------------------------------------------

TEST_F(Audio, VolumenDeEfectosRedondeaComoElJuegoEspera)
{
  arrancar();
  const struct {
    uint8_t porcentaje, esperado;
  } casos[] = {{0, 0}, {1, 2}, {2, 5}, {33, 84}, {50, 127}, {99, 252}, {100, 255}};
  for (const auto &c : casos) {
    modificar_volson(c.porcentaje, -1);
    EXPECT_EQ(vol_son, c.esperado) << int(c.porcentaje) << "%";
  }
  // Above 100 the setting is left alone rather than wrapping round.
  modificar_volson(101, -1);
  EXPECT_EQ(vol_son, 255);
  modificar_volson(255, -1);
  EXPECT_EQ(vol_son, 255);
}

TEST_F(Audio, VolumenDeEfectosSoloCambiaLaVozQueSeIndica)
{
  arrancar();
  modificar_volson(100, -1);
  const int8_t a = reproducir_sonido(SND_ALARMA_MINA, SONIDO_BUCLE);
  const int8_t b = reproducir_sonido(SND_ALARMA_SOBRECARGA, SONIDO_BUCLE);
  modificar_volson(50, -1);
  EXPECT_EQ(voz_de(voz[a].num_voz).volumen, 255);
  EXPECT_EQ(voz_de(voz[b].num_voz).volumen, 255);
  modificar_volson(20, b);
  EXPECT_EQ(voz_de(voz[a].num_voz).volumen, 255);
  EXPECT_EQ(voz_de(voz[b].num_voz).volumen, 51);
  // A free slot's old voice number is never touched.
  detener_sonido(a);
  const int antigua = voz[a].num_voz;
  modificar_volson(80, a);
  EXPECT_EQ(voz_de(antigua).volumen, -1);
  modificar_volson(80, MAX_VOCES);
  EXPECT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), a);
  EXPECT_EQ(voz_de(voz[a].num_voz).volumen, 204);
}

TEST_F(Audio, VolumenCeroNoArrancaNadaNiGastaSlots)
{
  arrancar();
  EXPECT_EQ(vol_son, 0);
  EXPECT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), -1);
  modificar_volson(100, -1);
  EXPECT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), 0);
  modificar_volson(0, -1);
  EXPECT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), -1);
  EXPECT_EQ(reproducir_onda(muestra, SONIDO_BUCLE), -1);
  EXPECT_EQ(sonido.voces.size(), 1u);
  EXPECT_EQ(voz[1].estado, VOZ_LIBRE);
}

// ---------------------------------------------------------------------------
// Effect slots
// ---------------------------------------------------------------------------

TEST_F(Audio, CadaModoDejaSuEstadoYSuModoDeReproduccion)
{
  arrancar();
  modificar_volson(60, -1);
  const struct {
    int8_t modo, estado;
    int modo_allegro;
  } casos[] = {{SONIDO_UNA_VEZ, VOZ_UNA_VEZ, PLAYMODE_PLAY},
               {SONIDO_BUCLE, VOZ_BUCLE, PLAYMODE_LOOP},
               {-1, VOZ_RETENIDA, PLAYMODE_PLAY}};
  int8_t slot = 0;
  for (const auto &c : casos) {
    ASSERT_EQ(reproducir_sonido(SND_PUERTA, c.modo), slot);
    EXPECT_EQ(voz[slot].estado, c.estado);
    const voz_doble &v = voz_de(voz[slot].num_voz);
    EXPECT_EQ(v.modo, c.modo_allegro);
    EXPECT_EQ(v.volumen, vol_son);
    EXPECT_TRUE(v.sonando);
    ++slot;
  }
}

TEST_F(Audio, ConDieciseisSonandoElDecimoseptimoSeDescartaSinCortarNada)
{
  arrancar();
  modificar_volson(100, -1);
  llenar(8, SONIDO_UNA_VEZ);
  llenar(6, SONIDO_BUCLE);
  llenar(2, -1);
  EXPECT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), -1);
  EXPECT_EQ(reproducir_sonido(SND_ALARMA_MINA, SONIDO_BUCLE), -1);
  EXPECT_EQ(reproducir_onda(muestra, SONIDO_UNA_VEZ), -1);
  EXPECT_EQ(voces_sonando(), MAX_VOCES);
  EXPECT_TRUE(sonido.liberadas.empty());
}

TEST_F(Audio, UnEfectoTerminadoDejaSuSlotAlSiguiente)
{
  arrancar();
  modificar_volson(100, -1);
  // One after another, each once the last has ended: always slot 0.
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), 0);
    voz_de(voz[0].num_voz).posicion = -1;
  }
  EXPECT_EQ(sonido.liberadas.size(), 4u);
  EXPECT_EQ(voces_sonando(), 1);
}

TEST_F(Audio, LaBusquedaReclamaHastaElPrimerHuecoYDejaLosDemas)
{
  arrancar();
  modificar_volson(100, -1);
  llenar(4, SONIDO_UNA_VEZ);
  voz_de(voz[1].num_voz).posicion = -1;
  voz_de(voz[3].num_voz).posicion = -1;
  EXPECT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), 1);
  // Slot 3 has ended but lies past the slot taken: kept for a later scan.
  EXPECT_EQ(voz[3].estado, VOZ_UNA_VEZ);
  EXPECT_EQ(sonido.liberadas.size(), 1u);
  EXPECT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), 3);
}

TEST_F(Audio, BuclesYRetenidosNoSeReclamanSolos)
{
  arrancar();
  modificar_volson(100, -1);
  llenar(8, SONIDO_BUCLE);
  llenar(8, -1);
  for (voz_doble &v : sonido.voces) {
    v.posicion = -1;  // a held one-shot really does end
  }
  EXPECT_EQ(reproducir_sonido(SND_TIC, SONIDO_UNA_VEZ), -1);
  EXPECT_TRUE(sonido.liberadas.empty());
}

TEST_F(Audio, SinVozLibreElEfectoSeDescartaYElSlotQuedaLibre)
{
  arrancar();
  modificar_volson(100, -1);
  sonido.max_voces = 1;
  EXPECT_EQ(reproducir_sonido(SND_ALARMA_SOBRECARGA, SONIDO_BUCLE), 0);
  EXPECT_EQ(reproducir_sonido(SND_ALARMA_MINA, SONIDO_BUCLE), -1);
  EXPECT_EQ(voz[1].estado, VOZ_LIBRE);
  sonido.max_voces = 2;
  EXPECT_EQ(reproducir_sonido(SND_ALARMA_MINA, SONIDO_BUCLE), 1);
}

TEST_F(Audio, DetenerUnoSoloLiberaEseSlot)
{
  arrancar();
  modificar_volson(100, -1);
  llenar(3, SONIDO_BUCLE);
  const int v1 = voz[1].num_voz;
  detener_sonido(-1);
  detener_sonido(MAX_VOCES);
  EXPECT_TRUE(sonido.liberadas.empty());
  detener_sonido(1);
  EXPECT_EQ(sonido.liberadas, std::vector<int>{v1});
  EXPECT_EQ(voz[1].estado, VOZ_LIBRE);
  // Twice is harmless: the slot is free already.
  detener_sonido(1);
  EXPECT_EQ(sonido.liberadas.size(), 1u);
  EXPECT_EQ(voz[0].estado, VOZ_BUCLE);
  EXPECT_EQ(voz[2].estado, VOZ_BUCLE);
}

TEST_F(Audio, DetenerTodosRespetaLosRetenidosSalvoQueSePidaTodo)
{
  arrancar();
  modificar_volson(100, -1);
  llenar(2, SONIDO_UNA_VEZ);
  llenar(2, SONIDO_BUCLE);
  llenar(2, -1);
  detener_sonidos(0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(voz[i].estado, VOZ_LIBRE) << i;
  }
  EXPECT_EQ(voz[4].estado, VOZ_RETENIDA);
  EXPECT_EQ(voz[5].estado, VOZ_RETENIDA);
  detener_sonidos(1);
  EXPECT_EQ(voz[4].estado, VOZ_LIBRE);
  EXPECT_EQ(voz[5].estado, VOZ_LIBRE);
  EXPECT_EQ(sonido.liberadas.size(), 6u);
  EXPECT_EQ(voces_sonando(), 0);
}

TEST_F(Audio, PausarSueltaLosSimplesYDetieneLosBuclesQueLuegoSiguen)
{
  arrancar();
  modificar_volson(100, -1);
  llenar(1, SONIDO_UNA_VEZ);
  llenar(1, SONIDO_BUCLE);
  llenar(1, -1);
  const int bucle = voz[1].num_voz;
  pausar_sonidos();
  EXPECT_EQ(voz[0].estado, VOZ_LIBRE);
  EXPECT_EQ(voz[1].estado, VOZ_BUCLE);
  EXPECT_EQ(voz[2].estado, VOZ_LIBRE);
  EXPECT_FALSE(voz_de(bucle).sonando);
  EXPECT_EQ(voces_sonando(), 0);
  reanudar_sonidos();
  EXPECT_TRUE(voz_de(bucle).sonando);
  EXPECT_EQ(voces_sonando(), 1);
}

TEST_F(Audio, ReiniciarVuelveAlPrimerSample)
{
  arrancar();
  modificar_volson(100, -1);
  llenar(1, SONIDO_BUCLE);
  voz_de(voz[0].num_voz).posicion = 5000;
  reiniciar_sonido(-1);
  reiniciar_sonido(1);
  EXPECT_EQ(voz_de(voz[0].num_voz).posicion, 5000);
  reiniciar_sonido(0);
  EXPECT_EQ(voz_de(voz[0].num_voz).posicion, 0);
}

// ---------------------------------------------------------------------------
// Music
// ---------------------------------------------------------------------------

TEST_F(Audio, LaMismaPiezaNoVuelveAEmpezarYOtraSustituyeALaAnterior)
{
  arrancar();
  modificar_volmus(100);
  reproducir_musica(2);
  ASSERT_NE(sm, nullptr);
  const uint32_t primera = sm->numero;
  for (int i = 0; i < 3; ++i) {
    reproducir_musica(2);
    reproducir_musica(-1);
  }
  EXPECT_EQ(musica_sonando, 2);
  EXPECT_EQ(sm->numero, primera);
  reproducir_musica(1);
  EXPECT_EQ(musica_sonando, 1);
  EXPECT_NE(sm->numero, primera);
  ASSERT_NE(canal_musica, nullptr);
  EXPECT_FALSE(canal_musica->pausado);
  EXPECT_FLOAT_EQ(canal_musica->volumen, 1.0f);
}

TEST_F(Audio, ConLaMusicaACeroNadaEmpiezaHastaQueSeSube)
{
  arrancar();
  reproducir_musica(MUSICA_MENU);
  EXPECT_EQ(musica_sonando, -1);
  EXPECT_EQ(sm, nullptr);
  modificar_volmus(40);
  EXPECT_EQ(sm, nullptr);  // starts with the screen's next frame...
  reproducir_musica(MUSICA_MENU);
  ASSERT_NE(sm, nullptr);  // ...from the beginning, at the new volume
  EXPECT_EQ(musica_sonando, MUSICA_MENU);
  EXPECT_DOUBLE_EQ(mus_posicion(sm), 0.0);
  EXPECT_FLOAT_EQ(canal_musica->volumen, 0.4f);
}

TEST_F(Audio, BajarLaMusicaACeroLaParaYSubirlaLaEmpiezaDeNuevo)
{
  arrancar();
  modificar_volmus(100);
  reproducir_musica(MUSICA_MENU);
  const uint32_t antes = sm->numero;
  mus_saltar(sm, 20.0);
  modificar_volmus(70);
  EXPECT_FLOAT_EQ(canal_musica->volumen, 0.7f);
  EXPECT_EQ(sm->numero, antes);
  modificar_volmus(0);
  EXPECT_EQ(musica_sonando, -1);
  EXPECT_EQ(sm, nullptr);
  EXPECT_EQ(canal_musica, nullptr);
  reproducir_musica(MUSICA_MENU);
  EXPECT_EQ(sm, nullptr);
  modificar_volmus(100);
  reproducir_musica(MUSICA_MENU);
  ASSERT_NE(sm, nullptr);
  EXPECT_NE(sm->numero, antes);
  EXPECT_DOUBLE_EQ(mus_posicion(sm), 0.0);
}

TEST_F(Audio, UnVolumenDeMasDeCienNoCambiaNada)
{
  arrancar();
  modificar_volmus(30);
  reproducir_musica(1);
  const uint32_t antes = sm->numero;
  modificar_volmus(101);
  modificar_volmus(255);
  EXPECT_FLOAT_EQ(vol_mus, 0.3f);
  EXPECT_FLOAT_EQ(canal_musica->volumen, 0.3f);
  EXPECT_EQ(musica_sonando, 1);
  EXPECT_EQ(sm->numero, antes);
}

TEST_F(Audio, PararLaMusicaHaceQueLaSiguientePeticionEmpieceDeCero)
{
  arrancar();
  modificar_volmus(100);
  reproducir_musica(2);
  mus_saltar(sm, 10.0);
  parar_musica();
  EXPECT_EQ(musica_sonando, -1);
  EXPECT_EQ(sm, nullptr);
  parar_musica();
  reproducir_musica(2);
  ASSERT_NE(sm, nullptr);
  EXPECT_DOUBLE_EQ(mus_posicion(sm), 0.0);
}

}  // namespace
